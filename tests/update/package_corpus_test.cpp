// The hand-made golden package, explained byte for byte so that the builder and the reader
// cannot agree on a mistake, and the good and bad packages of tests/packages.
#include <gtest/gtest.h>
#include <lzma.h>
#include <stdlib.h>
#include <sys/stat.h>
#include "platform/fs.h"
#include "platform/sys.h"
#include "update/package.h"
#include "update/package_testing.h"

namespace {

// clang-format off
// The package stream (the decoded bytes), 52 bytes.
const uint8_t kGoldenStream[] = {
    // Package header.
    0x00, 0x00, 0x03, 0xD9, // expected checksum 746 + 239 = 985 (see below)
    0x74, 0x7B, 0x68, 0x00, // short code "QXE": 'Q' 0x51, 'X' 0x58, 'E' 0x45, each + 0x23; terminator
    0x54, 0x51, 0x53, 0x00, // first text "1.0": '1' 0x31, '.' 0x2E, '0' 0x30, each + 0x23; terminator
    0x00,                   // second text "": only the terminator
    0x00, 0x00, 0x12, 0xF9, // date 4618 + 239 = 4857: ((2024 - 2012) * 12 + 4) * 31 + 30 = 30 April 2024
    // Entry 1.
    0x00, 0x00, 0x00, 0xF2,             // data size 3 + 239 = 242
    0x84, 0x51, 0x97, 0x9B, 0x97, 0x00, // name "a.txt": 'a' 0x61, '.' 0x2E, 't' 0x74, 'x' 0x78, 't', + 0x23; 0
    0xFB, 0x1C, 0xBD,                   // data "Hi\n": 'H' 0x48, 'i' 0x69, '\n' 0x0A, each - 0x4D
    // Entry 2.
    0x00, 0x00, 0x00, 0xEF,             // data size 0 + 239 = 239
    0x96, 0x98, 0x85, 0x7F, 0x88, 0x00, // name "sub\e": 's' 0x73, 'u' 0x75, 'b' 0x62, '\' 0x5C, 'e' 0x65 + 0x23
    // Entry 3.
    0x00, 0x00, 0x00, 0xF1,             // data size 2 + 239 = 241
    0x0C, 0x51, 0x85, 0x8C, 0x91, 0x00, // name "\xE9.bin": 0xE9 + 0x23 = 0x10C, kept 0x0C; '.', 'b', 'i' 0x69, 'n' 0x6E
    0xB3, 0xB2,                         // data 0x00, 0xFF: 0x00 - 0x4D = 0xB3, 0xFF - 0x4D = 0xB2
};
// Checksum: entry 1 adds 3 * (1 + 10 + 'a' 97) + ('H' 72 + 'i' 105 + '\n' 10) = 324 + 187 = 511;
// entry 2 has no data; entry 3 adds 2 * (3 + 10 + (signed)0xE9 = -23) + (0 + 255) = -20 + 255 = 235.
// 511 + 235 = 746.

// tests/packages/golden.pkg: a leading part of 89999 bytes (all 'L', never examined), these
// 13 bytes, then raw LZMA1 data: liblzma's encoding of kGoldenStream with these properties,
// followed by the end marker (the test below decodes it on its own to check this).
const uint8_t kGoldenHead[] = {
    0xA5, 0x8F, 0xA5, 0x78, // marker
    0x5D,                   // lc/lp/pb: (pb 2 * 5 + lp 0) * 9 + lc 3 = 93
    0x00, 0x10, 0x00, 0x00, // dictionary size 4096, little-endian
    0x00, 0x00, 0x00, 0x34, // unpacked size 52, big-endian
};
// clang-format on
const std::string kGolden = std::string(QX_TEST_PACKAGES) + "/golden.pkg";

// The last write time of a file as a Windows file time, to the second.
uint64_t WriteTime(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) ? 0 : ((uint64_t)st.st_mtime + 11644473600u) * 10000000u;
}

TEST(PackageGolden, TheFileHoldsTheStreamAsExplained) {
    std::string file = ReadFileText(kGolden), head((const char*)kGoldenHead, sizeof kGoldenHead);
    ASSERT_EQ(file.substr(0, PACKAGE_LEAD_SIZE + head.size()), std::string(PACKAGE_LEAD_SIZE, 'L') + head);
    lzma_options_lzma options = {};
    options.dict_size = 4096, options.lc = 3, options.lp = 0, options.pb = 2;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, NULL}};
    lzma_stream strm = LZMA_STREAM_INIT;
    ASSERT_EQ(lzma_raw_decoder(&strm, filters), LZMA_OK);
    uint8_t out[256];
    strm.next_in = (const uint8_t*)file.data() + PACKAGE_LEAD_SIZE + head.size();
    strm.avail_in = file.size() - PACKAGE_LEAD_SIZE - head.size();
    strm.next_out = out, strm.avail_out = sizeof out;
    EXPECT_EQ(lzma_code(&strm, LZMA_FINISH), LZMA_STREAM_END);
    lzma_end(&strm);
    EXPECT_EQ(std::string((char*)out, sizeof out - strm.avail_out),
              std::string((const char*)kGoldenStream, sizeof kGoldenStream));
}

TEST(PackageGolden, ExtractsAsExplained) {
    TempFolder temp;
    std::string target = temp / "product";
    FsLocal()->CreateFolder((target + "/sub").c_str());
    PackageHeader header;
    PackageOptions options = {NULL, 0, 0, &header};
    ASSERT_EQ(ExtractPackageWith(kGolden.c_str(), nullptr, nullptr, &options), 0);
    char got[160];
    snprintf(got, sizeof got, "%u %u %s %s '%s' %u %u %u", header.expectedChecksum, header.checksum,
             header.code, header.text1, header.text2, header.date, header.entries, header.unpackedSize);
    EXPECT_STREQ(got, "746 746 QXE 1.0 '' 4618 3 52");

    ASSERT_EQ(ExtractUpdatePackage(kGolden.c_str(), target.c_str()), 0);
    std::map<std::string, std::string> expected = {
        {"a.txt", "Hi\n"}, {"sub/", ""}, {"sub/e", ""}, {"\xE9.bin", std::string("\x00\xFF", 2)}};
    EXPECT_EQ(Snapshot(target), expected);
    SysTime noon = {2024, 4, 30, 0, 12, 0, 0, 0};
    uint64_t fileTime = 0;
    ASSERT_EQ(SysLocalTimeToFileTime(&noon, &fileTime), 0);
    EXPECT_EQ(WriteTime(target + "/a.txt"), fileTime);
    EXPECT_EQ(WriteTime(target + "/sub/e"), fileTime);
}

// Every row "| name.pkg | result | ... |" of tests/packages/README.md.
TEST(PackageCorpus, EveryPackageGivesItsResult) {
    std::string folder = QX_TEST_PACKAGES;
    std::string readme = ReadFileText(folder + "/README.md");
    size_t rows = 0, at = 0;
    while ((at = readme.find("\n| ", at)) != std::string::npos) {
        at += 3;
        size_t nameEnd = readme.find(" | ", at);
        std::string name = readme.substr(at, nameEnd - at);
        if (name.size() < 5 || name.substr(name.size() - 4) != ".pkg") continue;
        int expected = atoi(readme.c_str() + nameEnd + 3);
        SCOPED_TRACE(name);
        rows++;
        TempFolder target;
        FsLocal()->CreateFolder((target.path + "/sub").c_str());
        auto before = Snapshot(target.path);
        EXPECT_EQ(ExtractUpdatePackage((folder + "/" + name).c_str(), target.path.c_str()), expected);
        if (expected != 0) {
            EXPECT_EQ(Snapshot(target.path), before);
        }
    }
    EXPECT_EQ(rows, 19u);
}

} // namespace
