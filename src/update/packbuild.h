// Makes update packages: the vendor's side of the format that package.cpp reads. Used by
// the package tool, the tests and the benchmark.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct FsProvider;

// One file of a package. Its bytes come from a file, from memory or from a generator.
struct PackBuildEntry {
    const char* name;       // as stored: a relative path, '\' or '/' separated
    const char* sourcePath; // a file to read (its size is taken from the file), or
    const uint8_t* data;    // size bytes in memory, or
    // fills buffer with the bytes at offset; returns 0 or a Windows error
    int (*generate)(void* context, uint64_t offset, uint8_t* buffer, size_t size);
    void* context;
    uint64_t size;
};

struct PackBuildInfo {
    const char* code;  // at most 3 characters; NULL for none
    const char* text1; // at most 31 characters each
    const char* text2;
    uint32_t date;           // EncodePackageDate(...)
    uint32_t preset;         // liblzma preset 0-9; 0 is taken as 6
    uint32_t dictionarySize; // 0: the preset's
    int endMarker;           // write the LZMA end marker after the data
    uint64_t leadSize;       // size of the leading part, at least 89999 (0: 89999)
    const char* leadPath;    // the leading part's bytes, padded with zeros; NULL: zeros
};

// Builds a package file. Returns 0; 123 for a name or text the format cannot hold (too
// long, or holding the character 0xDD, which would encode as the terminator); 87 when the
// stream would exceed 4 GiB - 1; 13 when the leading part holds a marker at or after
// offset 89999; otherwise the file error.
int BuildPackage(const char* outPath, const PackBuildInfo* info, const PackBuildEntry* entries, size_t count);

// Wraps a ready package stream (encoded bytes as the reader sees them after decoding) into
// a package, declaring declaredSize as the unpacked size. For tests of damaged streams.
int BuildPackageFromStream(const char* outPath, const PackBuildInfo* info, const uint8_t* stream, size_t size,
                           uint32_t declaredSize);

// The encodings of the package stream, appended at out (which must have room).
size_t PackEncodeNumber(uint32_t value, uint8_t* out);
size_t PackEncodeText(const char* text, uint8_t* out);

// Signing (the block is described in package.cpp). A secret key file holds comment lines
// starting with '#' and one line of 64 hex digits: the seed of the key pair.
// Makes a new key pair and writes its secret key file, which must not exist yet. Returns 0,
// 80 when the file exists, or the file error; publicKey receives the public key.
int WriteNewSecretKey(const char* path, uint8_t* publicKey);
// Reads a secret key file into libsodium's secret key (64 bytes) and its public key.
// Returns 0, 13 when the file holds no key, or the file error.
int ReadSecretKey(const char* path, uint8_t* secretKey, uint8_t* publicKey);
// Signs a package in place: writes the signature block over every byte from its marker to
// its end. The block's place must hold zeros or an earlier block. Returns 0; 13 when the
// package is shorter than its leading part, has no marker or holds other data at the
// block's place; or the file error.
int SignPackage(const char* packagePath, const uint8_t* secretKey, const FsProvider* fs);
// Signs a package bound to binding's code, version and edition (all three required; 123 when
// one is missing or too long). The binding's place before the block must hold zeros or an
// earlier bound block.
struct PackageBinding;
int SignBoundPackage(const char* packagePath, const uint8_t* secretKey, const PackageBinding* binding,
                     const FsProvider* fs);
