// Checks the signature of an update package: the block at its fixed place in the leading
// part, the SHA-512 of every byte from the marker on, Ed25519 over libsodium, and the
// product code of the signed package header.
#include "update/signature.h"
#include <sodium.h>
#include <stdlib.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/text.h"

const uint8_t kSignatureTag[8] = {'Q', 'X', 'S', 'I', 'G', 'N', '0', '1'};
const uint8_t kBoundSignatureTag[8] = {'Q', 'X', 'S', 'I', 'G', 'N', '0', '2'};

static int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int ParseHex(const char* text, uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; i++) {
        int high = HexDigit(text[2 * i]);
        int low = high < 0 ? -1 : HexDigit(text[2 * i + 1]);
        if (low < 0) return ERR_INVALID_DATA;
        bytes[i] = (uint8_t)(high * 16 + low);
    }
    return text[2 * size] == 0 ? 0 : ERR_INVALID_DATA;
}

void FormatHex(const uint8_t* bytes, size_t size, char* out, size_t outSize) {
    static const char kDigits[] = "0123456789abcdef";
    if (outSize == 0) return;
    size_t n = 0;
    for (size_t i = 0; i < size && n + 2 < outSize; i++) {
        out[n++] = kDigits[bytes[i] >> 4];
        out[n++] = kDigits[bytes[i] & 15];
    }
    out[n] = 0;
}

static int ReadKeys(const char* p, PackageKeys* keys) {
    for (;;) {
        while (*p && strchr(" \t,;\r\n", *p))
            p++;
        if (!*p) return 0;
        size_t n = 0;
        while (HexDigit(p[n]) >= 0)
            n++;
        if (n != 2 * PACKAGE_KEY_BYTES || keys->count == PACKAGE_KEYS_MAX) return ERR_INVALID_DATA;
        char digits[PACKAGE_KEY_TEXT];
        CopyTextN(digits, sizeof digits, p, n);
        if (ParseHex(digits, keys->key[keys->count], PACKAGE_KEY_BYTES)) return ERR_INVALID_DATA;
        keys->count++;
        p += n;
        if (*p && !strchr(" \t,;\r\n", *p)) return ERR_INVALID_DATA;
    }
}

int ParsePackageKeys(const char* text, PackageKeys* keys) {
    memset(keys, 0, sizeof *keys);
    int e = ReadKeys(text, keys);
    if (e) keys->count = 0;
    return e;
}

static void PutLittle64(uint64_t value, uint8_t* out) {
    for (int i = 0; i < 8; i++)
        out[i] = (uint8_t)(value >> (8 * i));
}

static uint64_t GetLittle64(const uint8_t* in) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; i--)
        value = (value << 8) | in[i];
    return value;
}

// The binding part, before the tag: lead size (64-bit LE), then code, version and edition,
// each zero-padded to 4, 32 and 4 bytes (a field that fills its place is refused).
static const size_t kCodeAt = 8, kVersionAt = 12, kEditionAt = 44;

static void PutField(uint8_t* out, size_t size, const char* text) {
    memset(out, 0, size);
    memcpy(out, text, strnlen(text, size - 1));
}

static int GetField(const uint8_t* in, size_t size, char* out) {
    if (in[size - 1] != 0) return 0;
    memcpy(out, in, size);
    return 1;
}

int ParseSignatureBlock(const uint8_t* data, size_t size, SignatureBlock* block) {
    memset(block, 0, sizeof *block);
    if (size < SIGNATURE_BINDING_SIZE + SIGNATURE_BLOCK_SIZE) return SIGNATURE_MISSING;
    const uint8_t* tail = data + SIGNATURE_BINDING_SIZE;
    block->bound = memcmp(tail, kBoundSignatureTag, sizeof kBoundSignatureTag) == 0;
    if (!block->bound && memcmp(tail, kSignatureTag, sizeof kSignatureTag) != 0) return SIGNATURE_MISSING;
    block->signedSize = GetLittle64(tail + 8);
    memcpy(block->signature, tail + 16, PACKAGE_SIGNATURE_BYTES);
    if (!block->bound) return 0;
    block->leadSize = GetLittle64(data);
    if (!GetField(data + kCodeAt, sizeof block->code, block->code) ||
        !GetField(data + kVersionAt, sizeof block->version, block->version) ||
        !GetField(data + kEditionAt, sizeof block->edition, block->edition))
        return SIGNATURE_INVALID;
    return 0;
}

void WriteSignatureBlock(const SignatureBlock* block, uint8_t* out) {
    memset(out, 0, SIGNATURE_BINDING_SIZE);
    if (block->bound) {
        PutLittle64(block->leadSize, out);
        PutField(out + kCodeAt, sizeof block->code, block->code);
        PutField(out + kVersionAt, sizeof block->version, block->version);
        PutField(out + kEditionAt, sizeof block->edition, block->edition);
    }
    uint8_t* tail = out + SIGNATURE_BINDING_SIZE;
    memcpy(tail, block->bound ? kBoundSignatureTag : kSignatureTag, sizeof kSignatureTag);
    PutLittle64(block->signedSize, tail + 8);
    memcpy(tail + 16, block->signature, PACKAGE_SIGNATURE_BYTES);
}

size_t SignatureStatement(const SignatureBlock* block, const uint8_t* hash, uint8_t* out) {
    memcpy(out, block->bound ? kBoundSignatureTag : kSignatureTag, sizeof kSignatureTag);
    PutLittle64(block->signedSize, out + 8);
    memcpy(out + 16, hash, SIGNATURE_HASH_BYTES);
    if (!block->bound) return SIGNATURE_STATEMENT_SIZE;
    uint8_t stored[SIGNATURE_BINDING_SIZE + SIGNATURE_BLOCK_SIZE];
    WriteSignatureBlock(block, stored);
    memcpy(out + SIGNATURE_STATEMENT_SIZE, stored, SIGNATURE_BINDING_SIZE);
    return SIGNATURE_BOUND_STATEMENT_SIZE;
}

int SignedPackageSize(const uint8_t* data, size_t size, uint64_t* total) {
    SignatureBlock block;
    if (ParseSignatureBlock(data, size, &block) != 0 || !block.bound || block.leadSize < PACKAGE_LEAD_SIZE ||
        block.leadSize > PACKAGE_BYTES_MAX || block.signedSize > PACKAGE_BYTES_MAX)
        return SIGNATURE_MISSING;
    *total = block.leadSize + block.signedSize;
    return 0;
}

int HashPackageTail(const FsProvider* fs, FsFile* file, uint64_t from, uint64_t size, uint8_t* hash) {
    int e = fs->Seek(file, from);
    if (e) return e;
    uint8_t* buffer = (uint8_t*)malloc(PACKAGE_PIECE);
    if (!buffer) return ERR_NOT_ENOUGH_MEMORY;
    crypto_hash_sha512_state state;
    crypto_hash_sha512_init(&state);
    uint64_t left = size;
    while (left > 0) {
        size_t got = 0;
        e = fs->Read(file, buffer, left < PACKAGE_PIECE ? (size_t)left : PACKAGE_PIECE, &got);
        if (!e && got == 0) e = ERR_HANDLE_EOF;
        if (e) break;
        crypto_hash_sha512_update(&state, buffer, got);
        left -= got;
    }
    crypto_hash_sha512_final(&state, hash);
    free(buffer);
    return e;
}

// ---------------------------------------------------------------------------------------
// The product code of the signed package header, decoded only as far as the header

struct HeaderProbe {
    const FsProvider* fs;
    FsFile* file;
    PackageReader* reader;
};

static int ReadProbe(void* context, uint8_t* buffer, size_t size, size_t* got) {
    HeaderProbe* p = (HeaderProbe*)context;
    return p->fs->Read(p->file, buffer, size, got);
}

// Stops the decoder as soon as the header is complete.
static int FeedProbe(void* context, uint8_t* data, size_t size, size_t* accepted) {
    HeaderProbe* p = (HeaderProbe*)context;
    int e = PackageReaderFeed(p->reader, data, size, accepted);
    PackageHeader header;
    PackageReaderGetHeader(p->reader, &header);
    if (header.complete) *accepted = 0;
    return e;
}

static int CheckPackageCode(const FsProvider* fs, FsFile* file, uint64_t afterMarker, const char* code) {
    int e = fs->Seek(file, afterMarker);
    if (e) return e;
    HeaderProbe probe = {fs, file, PackageReaderCreate(fs, NULL, NULL)};
    if (!probe.reader) return ERR_NOT_ENOUGH_MEMORY;
    PackageStreamIo io = {ReadProbe, FeedProbe, &probe};
    uint32_t unpacked = 0;
    uint64_t produced = 0;
    // Small pieces: only the first few decoded bytes are needed.
    DecodePackageStream(&io, 4096, 256, &unpacked, &produced);
    PackageHeader header;
    PackageReaderGetHeader(probe.reader, &header);
    PackageReaderFree(probe.reader);
    if (!header.complete) return ERR_INVALID_DATA;
    return strcmp(header.code, code) == 0 ? 0 : SIGNATURE_OTHER_PRODUCT;
}

// ---------------------------------------------------------------------------------------

// Whether a bound block's fields are those asked for: exact text comparisons.
static int CheckBinding(const SignatureBlock* block, const PackageBinding* expected) {
    if (!expected->version && !expected->edition) return 0;
    if (!block->bound) return SIGNATURE_UNBOUND;
    if (expected->code && strcmp(block->code, expected->code) != 0) return SIGNATURE_OTHER_PRODUCT;
    if (expected->version && strcmp(block->version, expected->version) != 0) return SIGNATURE_OTHER_RELEASE;
    if (expected->edition && strcmp(block->edition, expected->edition) != 0) return SIGNATURE_OTHER_RELEASE;
    return 0;
}

static int CheckOpenPackage(const FsProvider* fs, FsFile* file, const PackageBinding* expected,
                            const PackageKeys* keys) {
    uint64_t size = 0;
    int e = fs->Size(file, &size);
    if (e) return e;
    if (size < PACKAGE_LEAD_SIZE) return SIGNATURE_MISSING;
    uint8_t raw[SIGNATURE_BINDING_SIZE + SIGNATURE_BLOCK_SIZE];
    size_t got = 0;
    e = fs->Seek(file, SIGNATURE_BINDING_AT);
    if (!e) e = fs->Read(file, raw, sizeof raw, &got);
    if (e) return e;
    SignatureBlock block;
    e = ParseSignatureBlock(raw, got, &block);
    if (e) return e;

    uint64_t after = 0;
    e = FindPackageMarker(fs, file, size, &after);
    if (e) return e == -1 ? SIGNATURE_INVALID : e;
    uint64_t start = after - sizeof kPackageMarker;
    if (block.signedSize != size - start || (block.bound && block.leadSize != start))
        return SIGNATURE_INVALID;
    uint8_t hash[SIGNATURE_HASH_BYTES], statement[SIGNATURE_BOUND_STATEMENT_SIZE];
    e = HashPackageTail(fs, file, start, block.signedSize, hash);
    if (e) return e;
    size_t length = SignatureStatement(&block, hash, statement);
    int accepted = 0;
    for (size_t i = 0; i < keys->count && !accepted; i++)
        accepted = crypto_sign_verify_detached(block.signature, statement, length, keys->key[i]) == 0;
    if (!accepted) return SIGNATURE_INVALID;
    e = CheckBinding(&block, expected);
    // Only bytes that the vendor signed reach the decoder.
    if (!e && expected->code) e = CheckPackageCode(fs, file, after, expected->code);
    return e;
}

int VerifyBoundPackage(const char* packagePath, const PackageBinding* expected, const PackageKeys* keys,
                       const FsProvider* fs, FsFile** hold) {
    if (hold) *hold = NULL;
    if (!keys || keys->count == 0) return SIGNATURE_INVALID;
    if (sodium_init() < 0) return ERR_GEN_FAILURE;
    if (!fs) fs = FsLocal();
    FsFile* file = NULL;
    int e = fs->Open(packagePath, FS_OPEN_READ, 0, &file);
    if (e) return e;
    e = CheckOpenPackage(fs, file, expected, keys);
    if (e || !hold)
        fs->Close(file);
    else
        *hold = file;
    return e;
}

int VerifyPackageSignature(const char* packagePath, const char* expectedCode, const PackageKeys* keys,
                           const FsProvider* fs, FsFile** hold) {
    PackageBinding expected = {expectedCode, NULL, NULL};
    return VerifyBoundPackage(packagePath, &expected, keys, fs, hold);
}

int StageCheckedUpdate(const char* packagePath, const char* targetFolder, const PackageBinding* binding,
                       const PackageKeys* keys, const PackageOptions* options, Staging** staged) {
    *staged = NULL;
    PackageKeys builtIn;
    if (!keys) {
        int e = ParsePackageKeys(gPackagePublicKey, &builtIn);
        if (e) return e; // a damaged key never lets a package through unchecked
        keys = &builtIn;
    }
    const FsProvider* fs = options && options->fs ? options->fs : FsLocal();
    FsFile* hold = NULL;
    int e = keys->count ? VerifyBoundPackage(packagePath, binding, keys, fs, &hold) : 0;
    // A dictionary the program cannot allocate is refused before a stage is made.
    if (!e) e = CheckPackageDictionary(packagePath, fs);
    if (!e) e = StageUpdate(packagePath, targetFolder, options, staged);
    if (hold) fs->Close(hold);
    return e;
}

int ExtractCheckedUpdatePackage(const char* packagePath, const char* targetFolder, const char* code,
                                const PackageKeys* keys, const FsProvider* fs) {
    PackageOptions options = {};
    options.fs = fs;
    Staging* staged = NULL;
    PackageBinding binding = {code, NULL, NULL};
    int e = StageCheckedUpdate(packagePath, targetFolder, &binding, keys, &options, &staged);
    return e ? e : CommitStage(staged);
}
