// libFuzzer target for the package reader. The first input byte picks what the rest is:
//   0-3  a decoded package stream, fed to the parser in pieces of 1 to 64 bytes (second
//        byte) or whole, entries written into a target folder
//   4-6  the bytes after the marker of a package file, decoded in pieces of 16 to 1024 bytes
//        in and 64 to 4096 out (second byte), entries written into the target folder
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
#include <ftw.h>
#include <iterator>
#include <map>
#include <string>
#include "platform/fs.h"
#include "platform/text.h"
#include "update/package.h"
#include "update/packbuild.h"
#include "update/signature.h"
#include <sodium.h>

namespace {

// The local provider over a folder in memory (/dev/shm), every change checked to lie below
// the target folder however Windows would resolve the path: no ':', and below the target
// at least one name and no part of only dots and blanks (Windows takes those as "..").
std::string gBox, gTarget, gPackage;
int gOpen;
bool gChanged = true;        // since the last reset
PackageKeys gKeys = {1, {}}; // the harness's own key pair, made from a fixed seed
uint8_t gSecret[PACKAGE_SECRET_BYTES];

const char* Inside(const char* path) {
    size_t n = gTarget.size();
    bool inside = strncmp(path, gTarget.c_str(), n) == 0 && !strchr(path, ':'), named = false;
    for (const char* p = path + n; inside && *p;) {
        size_t length = strcspn(++p, "/\\");
        std::string part(p, length);
        inside = p[-1] == '/' || p[-1] == '\\';
        if (part.find_first_not_of(". ") != std::string::npos)
            named = true;
        else if (!part.empty() && part != ".")
            inside = false;
        p += length;
    }
    if (!inside || !named) fprintf(stderr, "change outside the target folder: %s\n", path), abort();
    gChanged = true;
    return path;
}

FsProvider Guarded() {
    FsProvider p = *FsLocal();
    p.CreateFolder = [](const char* path) { return FsLocal()->CreateFolder(Inside(path)); };
    p.RemoveFolder = [](const char* path) { return FsLocal()->RemoveFolder(Inside(path)); };
    p.WriteWhole = [](const char* f, const void* d, size_t n) {
        return FsLocal()->WriteWhole(Inside(f), d, n);
    };
    p.Delete = [](const char* path) { return FsLocal()->Delete(Inside(path)); };
    p.SetAttributes = [](const char* path, uint32_t a) { return FsLocal()->SetAttributes(Inside(path), a); };
    p.Move = [](const char* from, const char* to) { return FsLocal()->Move(Inside(from), Inside(to)); };
    p.Open = [](const char* path, int mode, uint32_t attributes, FsFile** file) {
        int e = FsLocal()->Open(mode == FS_OPEN_READ ? path : Inside(path), mode, attributes, file);
        return gOpen += !e, e;
    };
    p.Close = [](FsFile* file) { return gOpen--, FsLocal()->Close(file); };
    p.CreateFolderNew = [](const char* path) { return FsLocal()->CreateFolderNew(Inside(path)); };
    p.Hold = [](const char* path, FsFile** held) {
        int e = FsLocal()->Hold(path, held);
        return gOpen += !e, e;
    };
    p.Replace = [](const char* from, const char* to) { return FsLocal()->Replace(Inside(from), Inside(to)); };
    p.MoveBelow = [](const char* folder, const char* from, const char* to, int flags) {
        Inside((std::string(folder) + "/" + from).c_str()), Inside((std::string(folder) + "/" + to).c_str());
        return FsLocal()->MoveBelow(folder, from, to, flags);
    };
    return p;
}
const FsProvider kGuarded = Guarded();

// A fresh target folder (a subfolder with a file, and a read-only file), and the key pair.
void Reset() {
    if (gBox.empty()) {
        char box[] = "/dev/shm/qx-package-fuzz-XXXXXX", other[] = "/tmp/qx-package-fuzz-XXXXXX";
        gBox = mkdtemp(box) ? box : mkdtemp(other);
        gTarget = gBox + "/target", gPackage = gBox + "/p.pkg";
        atexit([] { FsDeleteTree(FsLocal(), gBox.c_str()); });
        uint8_t seed[PACKAGE_SEED_BYTES] = {7};
        crypto_sign_seed_keypair(gKeys.key[0], gSecret, seed);
    }
    if (!gChanged) return;
    gChanged = false;
    FsDeleteTree(FsLocal(), gTarget.c_str());
    FsLocal()->CreateFolder((gTarget + "/sub").c_str());
    FsLocal()->WriteWhole((gTarget + "/sub/old.txt").c_str(), "old", 3);
    FsLocal()->WriteWhole((gTarget + "/ro.txt").c_str(), "read-only", 9);
    FsLocal()->SetAttributes((gTarget + "/ro.txt").c_str(), FILE_ATTR_READONLY);
}

int IntoTarget(char* path, const uint8_t* data, size_t, void*) {
    char joined[PACKAGE_PATH_SIZE];
    if (data) return 0;
    if (int e = JoinEntryPath(gTarget.c_str(), path, joined, sizeof joined)) return -e;
    CopyText(path, PACKAGE_PATH_SIZE, joined);
    return 1;
}

void FeedParser(const uint8_t* data, size_t size, size_t piece) {
    PackageReader* reader = PackageReaderCreate(&kGuarded, IntoTarget, NULL);
    std::string copy((const char*)data, size);
    for (size_t at = 0; at < size;) {
        size_t n = size - at < piece ? size - at : piece, accepted = 0;
        if (PackageReaderFeed(reader, (uint8_t*)&copy[at], n, &accepted) || accepted < n) break;
        at += n;
    }
    PackageHeader header;
    PackageReaderGetHeader(reader, &header);
    PackageReaderFree(reader);
}

// Every file below the target with its contents and mode, and every folder (ending in '/').
std::map<std::string, std::string>* gSeen;
int Seen(const char* path, const struct stat* st, int type, struct FTW*) {
    char* data = NULL;
    size_t size = 0;
    if (type == FTW_D) (*gSeen)[std::string(path) + "/"];
    if (type == FTW_F && !FsLocal()->ReadWhole(path, &data, &size))
        (*gSeen)[path].assign(data, size).append(std::to_string(st->st_mode)), free(data);
    return 0;
}
std::map<std::string, std::string> Look() {
    std::map<std::string, std::string> seen;
    gSeen = &seen;
    nftw(gTarget.c_str(), Seen, 8, FTW_PHYS);
    return seen;
}

// Writes the package file: a lead of zeros with 'block' at the signature block, the marker,
// the body, whose declared size, and so the dictionary, is kept below 64 KiB.
void PutPackage(const uint8_t* block, size_t blockSize, const uint8_t* data, size_t size) {
    std::string file(PACKAGE_LEAD_SIZE, 0);
    if (blockSize) file.replace(SIGNATURE_BLOCK_AT, blockSize, (const char*)block, blockSize);
    file.append((const char*)kPackageMarker, 4).append((const char*)data, size);
    if (size >= 9) file[PACKAGE_LEAD_SIZE + 9] = file[PACKAGE_LEAD_SIZE + 10] = 0;
    FsLocal()->WriteWhole(gPackage.c_str(), file.data(), file.size());
}

// Extracts the package file, through the signature check when 'checked'; returns the result.
int Update(bool checked) {
    auto before = Look();
    int result =
        checked ? ExtractCheckedUpdatePackage(gPackage.c_str(), gTarget.c_str(), "QXE", &gKeys, &kGuarded)
                : ExtractUpdatePackageWith(gPackage.c_str(), gTarget.c_str(), &kGuarded);
    auto after = Look();
    for (auto* seen : {&before, &after}) // after a success, only the folders must be as they were
        for (auto i = seen->begin(); result == 0 && i != seen->end();)
            i = i->first.back() == '/' ? std::next(i) : seen->erase(i);
    if (before != after)
        fprintf(stderr, result ? "a failed update left changes\n" : "a folder was left\n"), abort();
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    Reset();
    int mode = data[0] & 15;
    size_t piece = data[1] < 64 ? (size_t)data[1] + 1 : (size_t)-1;
    size_t n = size - 1 < SIGNATURE_BLOCK_SIZE ? size - 1 : SIGNATURE_BLOCK_SIZE;
    if (mode == 8) {
        PutPackage(data + 1, n, data + 1 + n, size - 1 - n);
        if (Update(true) == 0) fprintf(stderr, "a package no key signed was extracted\n"), abort();
    } else if (mode == 9) {
        PutPackage(NULL, 0, data + 1, size - 1);
        int e = SignPackage(gPackage.c_str(), gSecret, NULL), result = e ? e : Update(true);
        if (e || result == SIGNATURE_MISSING || result == SIGNATURE_INVALID)
            fprintf(stderr, "a signed package was refused: %d\n", result), abort();
    } else if ((mode &= 7) <= 3) {
        FeedParser(data + 2, size - 2, piece);
    } else if (mode <= 6) {
        PackageOptions options = {&kGuarded, (data[1] % 64 + 1) * 16u, (data[1] % 64 + 1) * 64u, NULL};
        PutPackage(NULL, 0, data + 2, size - 2);
        ExtractPackageWith(gPackage.c_str(), IntoTarget, NULL, &options);
    } else {
        PutPackage(NULL, 0, data + 1, size - 1);
        Update(false);
    }
    if (gOpen != 0) fprintf(stderr, "%d files left open\n", gOpen), abort();
    return 0;
}
