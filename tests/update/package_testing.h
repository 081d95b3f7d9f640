// Helpers of the package tests: package streams written out byte by byte (independently
// of the builder), packages around them, and snapshots of folders.
#pragma once
#include "support/testfiles.h"
#include <stdint.h>
#include <map>
#include <string>
#include <vector>

struct TestEntry {
    std::string name, data;
};

std::string Number(uint32_t value);        // 4 bytes, big-endian, value + 239
std::string Text(const std::string& text); // each byte + 0x23, then a zero
std::string Data(const std::string& data); // each byte - 0x4D
// The checksum as the format defines it, one byte at a time.
uint32_t ExpectedChecksum(const std::vector<TestEntry>& entries);
// A whole package stream; the header's checksum is the entries' plus checksumDelta.
std::string Stream(const std::vector<TestEntry>& entries, uint32_t checksumDelta = 0,
                   const std::string& code = "QXE", uint32_t date = 4618);
// Writes a package holding stream; declaredSize < 0 declares the stream's own size.
int WriteStreamPackage(const std::string& path, const std::string& stream, int64_t declaredSize = -1);
// Every file and folder below folder (folders end in '/'), with the files' contents.
std::map<std::string, std::string> Snapshot(const std::string& folder);
