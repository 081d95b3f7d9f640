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

int ParseSignatureBlock(const uint8_t* data, size_t size, SignatureBlock* block) {
    if (size < SIGNATURE_BLOCK_SIZE || memcmp(data, kSignatureTag, sizeof kSignatureTag) != 0)
        return SIGNATURE_MISSING;
    block->signedSize = 0;
    for (int i = 7; i >= 0; i--)
        block->signedSize = (block->signedSize << 8) | data[8 + i];
    memcpy(block->signature, data + 16, PACKAGE_SIGNATURE_BYTES);
    return 0;
}

void WriteSignatureBlock(const SignatureBlock* block, uint8_t* out) {
    memcpy(out, kSignatureTag, sizeof kSignatureTag);
    PutLittle64(block->signedSize, out + 8);
    memcpy(out + 16, block->signature, PACKAGE_SIGNATURE_BYTES);
}

void SignatureStatement(uint64_t signedSize, const uint8_t* hash, uint8_t* out) {
    memcpy(out, kSignatureTag, sizeof kSignatureTag);
    PutLittle64(signedSize, out + 8);
    memcpy(out + 16, hash, SIGNATURE_HASH_BYTES);
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

static int CheckOpenPackage(const FsProvider* fs, FsFile* file, const char* expectedCode,
                            const PackageKeys* keys) {
    uint64_t size = 0;
    int e = fs->Size(file, &size);
    if (e) return e;
    if (size < PACKAGE_LEAD_SIZE) return SIGNATURE_MISSING;
    uint8_t raw[SIGNATURE_BLOCK_SIZE];
    size_t got = 0;
    e = fs->Seek(file, SIGNATURE_BLOCK_AT);
    if (!e) e = fs->Read(file, raw, sizeof raw, &got);
    if (e) return e;
    SignatureBlock block;
    e = ParseSignatureBlock(raw, got, &block);
    if (e) return e;

    uint64_t after = 0;
    e = FindPackageMarker(fs, file, size, &after);
    if (e) return e == -1 ? SIGNATURE_INVALID : e;
    uint64_t start = after - sizeof kPackageMarker;
    if (block.signedSize != size - start) return SIGNATURE_INVALID;
    uint8_t hash[SIGNATURE_HASH_BYTES], statement[SIGNATURE_STATEMENT_SIZE];
    e = HashPackageTail(fs, file, start, block.signedSize, hash);
    if (e) return e;
    SignatureStatement(block.signedSize, hash, statement);
    int accepted = 0;
    for (size_t i = 0; i < keys->count && !accepted; i++)
        accepted =
            crypto_sign_verify_detached(block.signature, statement, sizeof statement, keys->key[i]) == 0;
    if (!accepted) return SIGNATURE_INVALID;
    // Only bytes that the vendor signed reach the decoder.
    return expectedCode ? CheckPackageCode(fs, file, after, expectedCode) : 0;
}

int VerifyPackageSignature(const char* packagePath, const char* expectedCode, const PackageKeys* keys,
                           const FsProvider* fs, FsFile** hold) {
    if (hold) *hold = NULL;
    if (!keys || keys->count == 0) return SIGNATURE_INVALID;
    if (sodium_init() < 0) return ERR_GEN_FAILURE;
    if (!fs) fs = FsLocal();
    FsFile* file = NULL;
    int e = fs->Open(packagePath, FS_OPEN_READ, 0, &file);
    if (e) return e;
    e = CheckOpenPackage(fs, file, expectedCode, keys);
    if (e || !hold)
        fs->Close(file);
    else
        *hold = file;
    return e;
}

int CheckUpdatePackage(const char* packagePath, const char* code, const FsProvider* fs, FsFile** hold) {
    if (hold) *hold = NULL;
    PackageKeys keys;
    int e = ParsePackageKeys(gPackagePublicKey, &keys);
    if (e || keys.count == 0) return e;
    return VerifyPackageSignature(packagePath, code, &keys, fs, hold);
}

int StageCheckedUpdate(const char* packagePath, const char* targetFolder, const char* code,
                       const PackageKeys* keys, const PackageOptions* options, Staging** staged) {
    *staged = NULL;
    PackageKeys builtIn;
    if (!keys) {
        int e = ParsePackageKeys(gPackagePublicKey, &builtIn);
        if (e) return e; // a damaged key never lets a package through unchecked
        keys = &builtIn;
    }
    if (keys->count == 0) return StageUpdate(packagePath, targetFolder, options, staged);
    const FsProvider* fs = options && options->fs ? options->fs : FsLocal();
    FsFile* hold = NULL;
    int e = VerifyPackageSignature(packagePath, code, keys, fs, &hold);
    if (!e) e = StageUpdate(packagePath, targetFolder, options, staged);
    if (hold) fs->Close(hold);
    return e;
}

int ExtractCheckedUpdatePackage(const char* packagePath, const char* targetFolder, const char* code,
                                const PackageKeys* keys, const FsProvider* fs) {
    PackageOptions options = {};
    options.fs = fs;
    Staging* staged = NULL;
    int e = StageCheckedUpdate(packagePath, targetFolder, code, keys, &options, &staged);
    return e ? e : CommitStage(staged);
}
