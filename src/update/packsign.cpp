// The vendor's side of package signatures: key pairs, the secret key file and signing a
// package in place. Not part of the Updater, which only verifies.
#include <sodium.h>
#include <stdlib.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "update/packbuild.h"
#include "update/package.h"
#include "update/signature.h"

int WriteNewSecretKey(const char* path, uint8_t* publicKey) {
    if (sodium_init() < 0) return ERR_GEN_FAILURE;
    if (FsLocal()->Exists(path)) return ERR_FILE_EXISTS;
    uint8_t seed[PACKAGE_SEED_BYTES], secret[PACKAGE_SECRET_BYTES];
    randombytes_buf(seed, sizeof seed);
    crypto_sign_seed_keypair(publicKey, secret, seed);
    char seedText[2 * PACKAGE_SEED_BYTES + 1], publicText[PACKAGE_KEY_TEXT], text[512];
    FormatHex(seed, sizeof seed, seedText, sizeof seedText);
    FormatHex(publicKey, PACKAGE_KEY_BYTES, publicText, sizeof publicText);
    FormatText(text, sizeof text,
               "# qxpack package signing key. SECRET: keep it off the update server and out of every\n"
               "# repository; whoever holds it can ship programs to every user.\n"
               "# public key %s\n%s\n",
               publicText, seedText);
    int e = FsLocal()->WriteWhole(path, text, strlen(text));
    sodium_memzero(seed, sizeof seed);
    sodium_memzero(secret, sizeof secret);
    sodium_memzero(seedText, sizeof seedText);
    sodium_memzero(text, sizeof text);
    return e;
}

int ReadSecretKey(const char* path, uint8_t* secretKey, uint8_t* publicKey) {
    if (sodium_init() < 0) return ERR_GEN_FAILURE;
    char* data = NULL;
    size_t size = 0;
    int e = FsLocal()->ReadWhole(path, &data, &size);
    if (e) return e;
    e = ERR_INVALID_DATA;
    for (char* line = data; line < data + size && e;) {
        char* end = line + strcspn(line, "\r\n");
        int last = *end == 0;
        *end = 0;
        uint8_t seed[PACKAGE_SEED_BYTES];
        if (line[0] && line[0] != '#') {
            if (ParseHex(line, seed, sizeof seed) != 0) break;
            crypto_sign_seed_keypair(publicKey, secretKey, seed);
            sodium_memzero(seed, sizeof seed);
            e = 0;
        }
        if (last) break;
        line = end + 1;
    }
    sodium_memzero(data, size);
    free(data);
    return e;
}

static int Zeros(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; i++)
        if (bytes[i]) return 0;
    return 1;
}

int SignBoundPackage(const char* packagePath, const uint8_t* secretKey, const PackageBinding* binding,
                     const FsProvider* fs) {
    if (sodium_init() < 0) return ERR_GEN_FAILURE;
    SignatureBlock block = {};
    if (binding) {
        if (!binding->code || !binding->version || !binding->edition || !binding->code[0] ||
            !binding->version[0] || !binding->edition[0] || strlen(binding->code) > PACKAGE_CODE_CHARS ||
            strlen(binding->version) > BINDING_VERSION_CHARS ||
            strlen(binding->edition) > BINDING_EDITION_CHARS)
            return ERR_INVALID_NAME;
        block.bound = 1;
        CopyText(block.code, sizeof block.code, binding->code);
        CopyText(block.version, sizeof block.version, binding->version);
        CopyText(block.edition, sizeof block.edition, binding->edition);
    }
    if (!fs) fs = FsLocal();
    FsFile* file = NULL;
    int e = fs->Open(packagePath, FS_OPEN_READWRITE, 0, &file);
    if (e) return e;
    uint64_t size = 0, after = 0;
    uint8_t place[SIGNATURE_BINDING_SIZE + SIGNATURE_BLOCK_SIZE];
    size_t got = 0;
    e = fs->Size(file, &size);
    if (!e && size < PACKAGE_LEAD_SIZE) e = ERR_INVALID_DATA;
    if (!e) e = fs->Seek(file, SIGNATURE_BINDING_AT);
    if (!e) e = fs->Read(file, place, sizeof place, &got);
    if (!e) {
        // Never overwrite bytes of a leading part that the vendor put there: the place holds
        // zeros or an earlier block (whose binding part is ours only when it was bound).
        SignatureBlock old;
        int earlier = got == sizeof place && ParseSignatureBlock(place, got, &old) == 0;
        int tailFree = earlier || Zeros(place + SIGNATURE_BINDING_SIZE, got - SIGNATURE_BINDING_SIZE);
        int bindingFree = !block.bound || (earlier && old.bound) || Zeros(place, SIGNATURE_BINDING_SIZE);
        if (got != sizeof place || !tailFree || !bindingFree) e = ERR_INVALID_DATA;
    }
    if (!e) {
        e = FindPackageMarker(fs, file, size, &after);
        if (e == -1) e = ERR_INVALID_DATA;
    }
    uint8_t hash[SIGNATURE_HASH_BYTES], statement[SIGNATURE_BOUND_STATEMENT_SIZE];
    if (!e) {
        block.leadSize = after - sizeof kPackageMarker;
        block.signedSize = size - block.leadSize;
        e = HashPackageTail(fs, file, block.leadSize, block.signedSize, hash);
    }
    if (!e) {
        size_t length = SignatureStatement(&block, hash, statement);
        crypto_sign_detached(block.signature, NULL, statement, length, secretKey);
        WriteSignatureBlock(&block, place);
        // An unbound block leaves the bytes before it to the leading part.
        size_t from = block.bound ? 0 : SIGNATURE_BINDING_SIZE, done = 0;
        e = fs->Seek(file, SIGNATURE_BINDING_AT + from);
        if (!e) e = fs->Write(file, place + from, sizeof place - from, &done);
        if (!e && done != sizeof place - from) e = ERR_WRITE_FAULT;
    }
    int c = fs->Close(file);
    return e ? e : c;
}

int SignPackage(const char* packagePath, const uint8_t* secretKey, const FsProvider* fs) {
    return SignBoundPackage(packagePath, secretKey, NULL, fs);
}
