// Signed update packages: the signature block in a package's leading part, the vendor's
// public keys, and the check a downloaded package passes before anything of it is
// extracted. The block is described with the package format at the top of package.cpp.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "update/package.h"

struct FsFile;
struct FsProvider;

const size_t PACKAGE_KEY_BYTES = 32;       // an Ed25519 public key
const size_t PACKAGE_SEED_BYTES = 32;      // the secret from which a key pair is made
const size_t PACKAGE_SECRET_BYTES = 64;    // libsodium's secret key: the seed and the public key
const size_t PACKAGE_SIGNATURE_BYTES = 64; // an Ed25519 signature
const size_t PACKAGE_KEYS_MAX = 4;         // keys accepted at once, for a change of keys
const size_t PACKAGE_KEY_TEXT = 65;        // a key as text: 64 hex digits and the terminator
const size_t SIGNATURE_BLOCK_SIZE = 80;
const uint64_t SIGNATURE_BLOCK_AT = PACKAGE_LEAD_SIZE - SIGNATURE_BLOCK_SIZE;
// A bound package's block begins with what it is bound to (lead size, code, version, edition).
const size_t SIGNATURE_BINDING_SIZE = 48;
const uint64_t SIGNATURE_BINDING_AT = SIGNATURE_BLOCK_AT - SIGNATURE_BINDING_SIZE;
const size_t SIGNATURE_HASH_BYTES = 64; // SHA-512
const size_t SIGNATURE_STATEMENT_SIZE = 16 + SIGNATURE_HASH_BYTES;
const size_t SIGNATURE_BOUND_STATEMENT_SIZE = SIGNATURE_STATEMENT_SIZE + SIGNATURE_BINDING_SIZE;
const size_t BINDING_VERSION_CHARS = 31;
const size_t BINDING_EDITION_CHARS = 3;
// The largest package the downloader takes before its signed size is known.
const uint64_t PACKAGE_BYTES_MAX = (uint64_t)2 << 30;

extern const uint8_t kSignatureTag[8];      // "QXSIGN01": signed bytes only
extern const uint8_t kBoundSignatureTag[8]; // "QXSIGN02": also bound to a code, version and edition

// Why a package is refused, besides file errors. The first two are the values the system's
// own signature checks return.
const int SIGNATURE_MISSING = (int)0x800B0100u; // TRUST_E_NOSIGNATURE: no signature block
const int SIGNATURE_INVALID = (int)0x80096010u; // TRUST_E_BAD_DIGEST: no accepted key signed these bytes
const int SIGNATURE_OTHER_PRODUCT = 1642;       // ERROR_PATCH_TARGET_NOT_FOUND: another product's package
const int SIGNATURE_OTHER_RELEASE = 1306;       // ERROR_REVISION_MISMATCH: another version or edition
const int SIGNATURE_UNBOUND = (int)0x800B0106u; // CERT_E_PURPOSE: signed, but bound to no release

// What a package is signed for: the product code, its version text in the catalogue and the
// edition letter it was asked for. NULL fields are not checked.
struct PackageBinding {
    const char* code;
    const char* version;
    const char* edition;
};

struct PackageKeys {
    size_t count;
    uint8_t key[PACKAGE_KEYS_MAX][PACKAGE_KEY_BYTES];
};

// The public keys downloaded packages must be signed with, as "qxpack keygen" prints them,
// separated by blanks or commas; set when the program is built. Empty: packages are not
// checked.
extern char gPackagePublicKey[PACKAGE_KEYS_MAX * PACKAGE_KEY_TEXT + 16];

// Reads keys from text (64 hex digits each, separated by blanks, commas or semicolons).
// Returns 0 (count 0 for a text without keys), or 13 (count 0) for anything else or too
// many keys.
int ParsePackageKeys(const char* text, PackageKeys* keys);
// Hex digits of bytes into out (2 * size + 1 bytes).
void FormatHex(const uint8_t* bytes, size_t size, char* out, size_t outSize);
// Exactly 2 * size hex digits into bytes. Returns 0 or 13.
int ParseHex(const char* text, uint8_t* bytes, size_t size);

struct SignatureBlock {
    uint64_t signedSize; // bytes from the marker to the end of the file
    uint8_t signature[PACKAGE_SIGNATURE_BYTES];
    int bound; // the fields below were signed too
    uint64_t leadSize;
    char code[PACKAGE_CODE_CHARS + 1];
    char version[BINDING_VERSION_CHARS + 1];
    char edition[BINDING_EDITION_CHARS + 1];
};
// Reads the block from the bytes at SIGNATURE_BINDING_AT (up to the marker's first place).
// Returns 0, or SIGNATURE_MISSING when they are too few or hold neither tag.
int ParseSignatureBlock(const uint8_t* data, size_t size, SignatureBlock* block);
// The block's bytes (SIGNATURE_BINDING_SIZE + SIGNATURE_BLOCK_SIZE, from SIGNATURE_BINDING_AT;
// the binding part zeros for a block that is not bound).
void WriteSignatureBlock(const SignatureBlock* block, uint8_t* out);
// The message the signature is made over: the tag, the signed size (64-bit little-endian)
// and the SHA-512 of the signed bytes, then for a bound block the binding part as stored.
// Returns its size.
size_t SignatureStatement(const SignatureBlock* block, const uint8_t* hash, uint8_t* out);
// The whole size of a bound package from the bytes at SIGNATURE_BINDING_AT (up to the
// marker's first place), so that a download can be held to it before the rest arrives: 0, or
// SIGNATURE_MISSING when they hold no bound block (the signature is not checked here).
int SignedPackageSize(const uint8_t* data, size_t size, uint64_t* total);
// The SHA-512 of an open package's bytes from offset 'from' to its end (size bytes).
// Returns 0 or a file error.
int HashPackageTail(const FsProvider* fs, FsFile* file, uint64_t from, uint64_t size, uint8_t* hash);

// Checks a package before anything of it is extracted: it must carry a signature block,
// one of the keys must have signed every byte from the marker to the end of the file, and,
// when expectedCode is not NULL, its package header's short code must equal expectedCode.
// Returns 0; SIGNATURE_MISSING, SIGNATURE_INVALID (also without keys),
// SIGNATURE_OTHER_PRODUCT, 13 when the signed package header cannot be read, or a file
// error. When hold is not NULL and the package is accepted, it stays open in *hold (for
// reading, shared for reading only), so that on Windows nobody can replace it before it
// has been extracted; the caller closes it with fs->Close afterwards.
int VerifyPackageSignature(const char* packagePath, const char* expectedCode, const PackageKeys* keys,
                           const FsProvider* fs, FsFile** hold);
// The same for a whole binding: when it names a version or an edition, only a bound package
// whose signed fields equal every named field exactly passes; SIGNATURE_UNBOUND for a package
// signed without a binding, SIGNATURE_OTHER_PRODUCT or SIGNATURE_OTHER_RELEASE for another.
int VerifyBoundPackage(const char* packagePath, const PackageBinding* expected, const PackageKeys* keys,
                       const FsProvider* fs, FsFile** hold);

// Extracts a downloaded package into a product's folder like ExtractUpdatePackage, once
// VerifyPackageSignature (code, keys) has accepted it; keys NULL means the program's own
// (gPackagePublicKey). Without any key the package is extracted unchecked, as before
// packages were signed. Results as VerifyPackageSignature and ExtractUpdatePackage.
int ExtractCheckedUpdatePackage(const char* packagePath, const char* targetFolder, const char* code,
                                const PackageKeys* keys, const FsProvider* fs);
// The first step of it, which the update run takes while the product still runs: the check
// against the binding (VerifyBoundPackage), the dictionary's size (CheckPackageDictionary),
// then StageUpdate with the package held. Results as ExtractCheckedUpdatePackage; on success
// *staged is set for CommitStage or AbandonStage.
int StageCheckedUpdate(const char* packagePath, const char* targetFolder, const PackageBinding* binding,
                       const PackageKeys* keys, const PackageOptions* options, Staging** staged);
