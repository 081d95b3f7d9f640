// libFuzzer target for the package reader. The first input byte picks what the rest is:
//   0-3  a decoded package stream, fed to the parser in pieces of 1 to 64 bytes (second
//        byte) or whole, entries written into a target folder
//   4-6  the bytes after the marker (properties, size, LZMA data), decoded in memory and
//        parsed, entries written into the target folder
//   7    the bytes after the marker of a package file, extracted by ExtractUpdatePackage
//   8    the signature block (80 bytes), then the bytes after the marker: a package no key
//        signed, which the checked extraction must refuse
//   9    the bytes after the marker of a package file that the harness signs, extracted
//        by the checked extraction (the product code "QXE" expected)
// Nothing may change outside the target folder, no file may stay open, and a failed update
// must leave the target folder exactly as it was, without a staging folder.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "update/package.h"
#include "update/signature.h"
#include <sodium.h>

// An open file of the in-memory provider below.
struct FsFile {
    std::string path;
    size_t at;
};

namespace {

// An in-memory file system behind the provider table, so that the fuzzer runs fast and
// sees every path the reader touches. Paths are resolved the way Windows would (either
// separator, "." and "..", a part of only dots and blanks taken as "..", trailing dots and
// blanks dropped, case ignored); a change to anything outside the target folder, or a ':'
// in a path, stops the fuzzer.
const std::string kTarget = "/box/target";
const std::string kPackage = "/p.pkg";
struct MemFile {
    std::string data;
    uint32_t attributes;
};
std::map<std::string, MemFile> gFiles;
std::set<std::string> gFolders;
int gOpen;

bool Resolve(const char* path, std::string* out) {
    std::vector<std::string> parts;
    std::string part;
    for (const char* p = path;; p++) {
        if (*p == ':') return false;
        if (*p && *p != '/' && *p != '\\') {
            part += (char)(*p >= 'A' && *p <= 'Z' ? *p - 'A' + 'a' : *p);
            continue;
        }
        size_t last = part.find_last_not_of(". ");
        if (last != std::string::npos) {
            parts.push_back(part.substr(0, last + 1));
        } else if (!part.empty() && part != ".") {
            if (parts.empty()) return false;
            parts.pop_back();
        }
        part.clear();
        if (!*p) break;
    }
    out->clear();
    for (const std::string& name : parts)
        *out += "/" + name;
    return true;
}

// The resolved path of something about to change, which must lie inside the target.
std::string Changing(const char* path) {
    std::string resolved;
    if (!Resolve(path, &resolved) || resolved.compare(0, kTarget.size() + 1, kTarget + "/") != 0)
        fprintf(stderr, "change outside the target folder: %s\n", path), abort();
    return resolved;
}

std::string Parent(const std::string& path) {
    return path.substr(0, path.find_last_of('/'));
}

bool ReadOnly(const std::string& p) {
    auto i = gFiles.find(p);
    return i != gFiles.end() && (i->second.attributes & FILE_ATTR_READONLY);
}

// 0 when a file's contents may be written at p.
int Writable(const std::string& p) {
    if (gFolders.count(p) || ReadOnly(p)) return ERR_ACCESS_DENIED;
    return gFolders.count(Parent(p)) ? 0 : ERR_PATH_NOT_FOUND;
}

int MemEnumerate(const char* folder, FsEntryProc proc, void* context) {
    std::string f;
    if (!Resolve(folder, &f) || !gFolders.count(f)) return ERR_PATH_NOT_FOUND;
    std::vector<std::pair<std::string, uint32_t>> entries;
    for (const std::string& d : gFolders)
        if (d != f && Parent(d) == f) entries.push_back({d.substr(f.size() + 1), FILE_ATTR_DIRECTORY});
    for (auto& file : gFiles)
        if (Parent(file.first) == f)
            entries.push_back({file.first.substr(f.size() + 1), file.second.attributes});
    for (auto& e : entries) {
        FsEntry entry = {e.first.c_str(), e.second};
        if (proc(&entry, context)) break;
    }
    return 0;
}

int MemCreateFolder(const char* path) {
    std::string p = Changing(path);
    if (gFiles.count(p)) return ERR_ALREADY_EXISTS;
    if (!gFolders.count(Parent(p))) return ERR_PATH_NOT_FOUND;
    gFolders.insert(p);
    return 0;
}

int MemRemoveFolder(const char* path) {
    std::string p = Changing(path);
    for (auto& file : gFiles)
        if (Parent(file.first) == p) return ERR_DIR_NOT_EMPTY;
    for (const std::string& d : gFolders)
        if (Parent(d) == p && d != p) return ERR_DIR_NOT_EMPTY;
    return gFolders.erase(p) ? 0 : ERR_FILE_NOT_FOUND;
}

int MemReadWhole(const char* path, char** data, size_t* size) {
    std::string p;
    if (!Resolve(path, &p) || !gFiles.count(p)) return ERR_FILE_NOT_FOUND;
    const std::string& file = gFiles[p].data;
    *data = (char*)calloc(file.size() + 2, 1);
    memcpy(*data, file.data(), *size = file.size());
    return 0;
}

int MemWriteWhole(const char* path, const void* data, size_t size) {
    std::string p = Changing(path);
    int e = Writable(p);
    if (!e) gFiles[p] = {std::string((const char*)data, size), 0};
    return e;
}

int MemDelete(const char* path) {
    std::string p = Changing(path);
    if (!gFiles.count(p)) return ERR_FILE_NOT_FOUND;
    return ReadOnly(p) ? ERR_ACCESS_DENIED : (gFiles.erase(p), 0);
}

int MemGetAttributes(const char* path, uint32_t* attributes) {
    std::string p;
    if (!Resolve(path, &p)) return ERR_INVALID_NAME;
    if (gFolders.count(p)) return *attributes = FILE_ATTR_DIRECTORY, 0;
    if (!gFiles.count(p)) return ERR_FILE_NOT_FOUND;
    return *attributes = gFiles[p].attributes, 0;
}

int MemSetAttributes(const char* path, uint32_t attributes) {
    std::string p = Changing(path);
    if (!gFiles.count(p)) return ERR_FILE_NOT_FOUND;
    return gFiles[p].attributes = attributes, 0;
}

int MemExists(const char* path) {
    uint32_t attributes;
    return MemGetAttributes(path, &attributes) == 0;
}

int MemMove(const char* from, const char* to) {
    std::string a = Changing(from), b = Changing(to);
    if (!gFiles.count(a)) return ERR_FILE_NOT_FOUND;
    if (Writable(b)) return ERR_ACCESS_DENIED;
    MemFile file = gFiles[a];
    gFiles.erase(a);
    gFiles[b] = file;
    return 0;
}

int MemOpen(const char* path, int mode, uint32_t attributes, FsFile** file) {
    *file = NULL;
    std::string p;
    if (mode == FS_OPEN_READ) {
        if (!Resolve(path, &p) || !gFiles.count(p)) return ERR_FILE_NOT_FOUND;
    } else {
        p = Changing(path);
        if (int e = Writable(p)) return e;
        gFiles[p] = {"", attributes & FILE_ATTR_READONLY};
    }
    *file = new FsFile{p, 0};
    gOpen++;
    return 0;
}

int MemRead(FsFile* file, void* buffer, size_t size, size_t* done) {
    const std::string& data = gFiles[file->path].data;
    *done = file->at < data.size() ? std::min(size, data.size() - file->at) : 0;
    memcpy(buffer, data.data() + file->at, *done);
    file->at += *done;
    return 0;
}

int MemWrite(FsFile* file, const void* data, size_t size, size_t* done) {
    gFiles[file->path].data.append((const char*)data, *done = size);
    return 0;
}

int MemSeek(FsFile* file, uint64_t offset) {
    return file->at = (size_t)offset, 0;
}
int MemSize(FsFile* file, uint64_t* size) {
    return *size = gFiles[file->path].data.size(), 0;
}
int MemSetTimes(FsFile*, uint64_t) {
    return 0;
}
int MemClose(FsFile* file) {
    delete file;
    return gOpen--, 0;
}

const FsProvider kMemory = {"memory",
                            NULL,
                            NULL,
                            MemEnumerate,
                            MemCreateFolder,
                            MemRemoveFolder,
                            MemReadWhole,
                            MemWriteWhole,
                            MemDelete,
                            MemGetAttributes,
                            MemSetAttributes,
                            MemExists,
                            MemMove,
                            MemOpen,
                            MemRead,
                            MemWrite,
                            MemSeek,
                            MemSize,
                            MemSetTimes,
                            MemClose,
                            NULL,
                            NULL,
                            NULL};

// Clears all but the package file, whose buffer is kept for the next input.
void Reset() {
    for (auto i = gFiles.begin(); i != gFiles.end();)
        i = i->first == kPackage ? std::next(i) : gFiles.erase(i);
    gFolders = {"", "/box", kTarget, kTarget + "/sub"};
    gFiles[kTarget + "/sub/old.txt"] = {"old", 0};
    gFiles[kTarget + "/ro.txt"] = {"read-only", FILE_ATTR_READONLY};
}

int IntoTarget(char* path, const uint8_t* data, size_t size, void* user) {
    (void)size, (void)user;
    if (data) return 0;
    char joined[PACKAGE_PATH_SIZE];
    int e = JoinEntryPath(kTarget.c_str(), path, joined, sizeof joined);
    if (e) return -e;
    CopyText(path, PACKAGE_PATH_SIZE, joined);
    return 1;
}

void FeedParser(const uint8_t* data, size_t size, size_t piece) {
    PackageReader* reader = PackageReaderCreate(&kMemory, IntoTarget, NULL);
    std::vector<uint8_t> copy(data, data + size);
    for (size_t at = 0; at < size;) {
        size_t n = size - at < piece ? size - at : piece, accepted = 0;
        if (PackageReaderFeed(reader, copy.data() + at, n, &accepted) || accepted < n) break;
        at += n;
    }
    PackageHeader header;
    PackageReaderGetHeader(reader, &header);
    PackageReaderFree(reader);
}

struct Memory {
    const uint8_t* data;
    size_t size, at;
    PackageReader* reader;
};

int ReadMemory(void* context, uint8_t* buffer, size_t size, size_t* got) {
    Memory* m = (Memory*)context;
    *got = m->size - m->at < size ? m->size - m->at : size;
    if (*got) memcpy(buffer, m->data + m->at, *got);
    m->at += *got;
    return 0;
}

int WriteParser(void* context, uint8_t* data, size_t size, size_t* accepted) {
    return PackageReaderFeed(((Memory*)context)->reader, data, size, accepted);
}

// Keeps the declared size, and so the dictionary, below 64 KiB.
std::vector<uint8_t> Bounded(const uint8_t* data, size_t size) {
    std::vector<uint8_t> body(data, data + size);
    if (body.size() >= 9) body[5] = 0, body[6] = 0;
    return body;
}

void Decode(const uint8_t* data, size_t size, size_t piece) {
    std::vector<uint8_t> body = Bounded(data, size);
    Memory m = {body.data(), body.size(), 0, PackageReaderCreate(&kMemory, IntoTarget, NULL)};
    PackageStreamIo io = {ReadMemory, WriteParser, &m};
    uint32_t unpacked;
    uint64_t produced;
    DecodePackageStream(&io, piece * 16, piece * 64, &unpacked, &produced);
    PackageReaderFree(m.reader);
}

// The files below the target folder.
std::map<std::string, std::string> TargetFiles() {
    std::map<std::string, std::string> files;
    for (auto i = gFiles.lower_bound(kTarget + "/");
         i != gFiles.end() && i->first.compare(0, kTarget.size() + 1, kTarget + "/") == 0; ++i)
        files[i->first] = i->second.data;
    return files;
}

// The package file: a lead of zeros with 'block' at the signature block, the marker, the body.
std::string& PutPackage(const uint8_t* block, size_t blockSize, const uint8_t* data, size_t size) {
    std::string& file = gFiles[kPackage].data;
    file.assign(PACKAGE_LEAD_SIZE, 0);
    if (blockSize) file.replace(SIGNATURE_BLOCK_AT, blockSize, (const char*)block, blockSize);
    file.append((const char*)kPackageMarker, 4);
    std::vector<uint8_t> body = Bounded(data, size);
    return file.append((const char*)body.data(), body.size());
}

// The harness's own key pair, made from a fixed seed.
struct FuzzKey {
    uint8_t secret[PACKAGE_SECRET_BYTES];
    PackageKeys keys = {};
    FuzzKey() {
        uint8_t seed[PACKAGE_SEED_BYTES] = {7};
        keys.count = 1;
        crypto_sign_seed_keypair(keys.key[0], secret, seed);
    }
};
const FuzzKey gKey;

// Extracts the package file, through the signature check when 'checked'; returns the result.
int Update(bool checked) {
    auto files = TargetFiles();
    auto folders = gFolders;
    int result =
        checked ? ExtractCheckedUpdatePackage(kPackage.c_str(), kTarget.c_str(), "QXE", &gKey.keys, &kMemory)
                : ExtractUpdatePackageWith(kPackage.c_str(), kTarget.c_str(), &kMemory);
    if (result != 0 && (files != TargetFiles() || folders != gFolders))
        fprintf(stderr, "a failed update left changes\n"), abort();
    if (result == 0 && gFolders != folders) fprintf(stderr, "a staging folder was left\n"), abort();
    return result;
}

void Forged(const uint8_t* data, size_t size) {
    size_t n = size < SIGNATURE_BLOCK_SIZE ? size : SIGNATURE_BLOCK_SIZE;
    PutPackage(data, n, data + n, size - n);
    if (Update(true) == 0) fprintf(stderr, "a package no key signed was extracted\n"), abort();
}

void Signed(const uint8_t* data, size_t size) {
    std::string& file = PutPackage(NULL, 0, data, size);
    SignatureBlock block = {};
    block.signedSize = file.size() - PACKAGE_LEAD_SIZE;
    uint8_t hash[SIGNATURE_HASH_BYTES], statement[SIGNATURE_STATEMENT_SIZE], raw[SIGNATURE_BLOCK_SIZE];
    crypto_hash_sha512(hash, (const uint8_t*)file.data() + PACKAGE_LEAD_SIZE, block.signedSize);
    SignatureStatement(block.signedSize, hash, statement);
    crypto_sign_detached(block.signature, NULL, statement, sizeof statement, gKey.secret);
    WriteSignatureBlock(&block, raw);
    file.replace(SIGNATURE_BLOCK_AT, sizeof raw, (const char*)raw, sizeof raw);
    int result = Update(true);
    if (result == SIGNATURE_MISSING || result == SIGNATURE_INVALID)
        fprintf(stderr, "a signed package was refused: %d\n", result), abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Reset();
    int mode = data[0] & 15;
    size_t piece = data[1] < 64 ? (size_t)data[1] + 1 : (size_t)-1;
    if (mode == 8)
        Forged(data + 1, size - 1);
    else if (mode == 9)
        Signed(data + 1, size - 1);
    else if ((mode &= 7) <= 3)
        FeedParser(data + 2, size - 2, piece);
    else if (mode <= 6)
        Decode(data + 2, size - 2, data[1] % 64 + 1);
    else
        PutPackage(NULL, 0, data + 1, size - 1), Update(false);
    if (gOpen != 0) fprintf(stderr, "%d files left open\n", gOpen), abort();
    return 0;
}
