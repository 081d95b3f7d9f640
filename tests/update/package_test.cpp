// The package reader: marker search, decoding in pieces of every size, the record limits,
// damaged and cut packages, the checksum, entry callbacks and the package date.
#include <gtest/gtest.h>
#include <string.h>
#include <random>
#include <string>
#include <vector>
#include "platform/errors.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "support/testfiles.h"
#include "update/package.h"
#include "update/package_testing.h"
#include "update/packbuild.h"
#include "update/test_filetime.h"

namespace {

// Records the callback's calls and writes the entries into a folder.
struct Capture {
    std::string folder;
    std::vector<std::string> names;
    std::vector<size_t> sizes;
    std::vector<std::string> firsts; // the second calls' data
    std::vector<size_t> skip;        // entry numbers to skip
};

int CaptureEntry(char* path, const uint8_t* data, size_t size, void* user) {
    Capture* c = (Capture*)user;
    if (data) {
        c->firsts.push_back(std::string((const char*)data, size));
        return 0;
    }
    c->names.push_back(path);
    c->sizes.push_back(size);
    for (size_t n : c->skip)
        if (n == c->names.size()) return 0;
    char joined[PACKAGE_PATH_SIZE];
    int e = JoinEntryPath(c->folder.c_str(), path, joined, sizeof joined);
    if (e) return -e;
    CopyText(path, PACKAGE_PATH_SIZE, joined);
    return 1;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::string s(n, 0);
    for (char& c : s)
        c = (char)(random() % 7 == 0 ? random() : 'a' + random() % 3); // compressible, not trivial
    return s;
}

int Extract(const std::string& package, Capture* capture, size_t outputPiece = 0, size_t inputPiece = 0,
            PackageHeader* header = nullptr) {
    PackageOptions options = {};
    options.outputPiece = outputPiece;
    options.inputPiece = inputPiece;
    options.header = header;
    return ExtractPackageWith(package.c_str(), capture ? CaptureEntry : nullptr, capture, &options);
}

struct PackageReaderTest : ::testing::Test {
    TempFolder temp;
    std::string package = temp / "p.pkg";
};

TEST_F(PackageReaderTest, FindsTheFirstMarkerFromTheLeadOffsetOn) {
    ASSERT_EQ(WriteStreamPackage(package, Stream({{"a", "x"}})), 0);
    std::string built = ReadFileText(package);
    std::string body = built.substr(PACKAGE_LEAD_SIZE); // marker, properties, size, data
    std::string marker = body.substr(0, 4);
    struct Case {
        const char* what;
        std::string file;
        int expected;
    } cases[] = {
        {"marker right at the lead offset", std::string(PACKAGE_LEAD_SIZE, 'L') + body, 0},
        {"marker across the first two reads (2+2)", std::string(PACKAGE_LEAD_SIZE + 4090, 'L') + body, 0},
        {"marker across the first two reads (1+3)", std::string(PACKAGE_LEAD_SIZE + 4091, 'L') + body, 0},
        {"marker across the first two reads (3+1)", std::string(PACKAGE_LEAD_SIZE + 4089, 'L') + body, 0},
        {"marker at the start of the second read", std::string(PACKAGE_LEAD_SIZE + 4092, 'L') + body, 0},
        {"marker across the second and third reads",
         std::string(PACKAGE_LEAD_SIZE + 2 * 4092 - 2, 'L') + body, 0},
        {"earlier markers in the lead are never examined",
         std::string(1000, 'L') + marker + std::string(PACKAGE_LEAD_SIZE - 1004, 'L') + body, 0},
        {"marker starting one byte before the lead offset", std::string(PACKAGE_LEAD_SIZE - 1, 'L') + body,
         -1},
        {"marker only inside the lead", marker + std::string(PACKAGE_LEAD_SIZE + 100, 'L'), -1},
        {"a file of 89999 bytes", std::string(PACKAGE_LEAD_SIZE - 4, 'L') + marker, -1},
        {"a file of 10 bytes", marker + marker + "LL", -1},
        {"an empty file", "", -1},
        {"nothing after the marker", std::string(PACKAGE_LEAD_SIZE, 'L') + marker, -1},
        {"cut inside the size field", std::string(PACKAGE_LEAD_SIZE, 'L') + body.substr(0, 11), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileText(package, c.file);
        EXPECT_EQ(Extract(package, nullptr), c.expected);
    }
    EXPECT_EQ(Extract(temp / "missing.pkg", nullptr), ERR_FILE_NOT_FOUND);
}

TEST_F(PackageReaderTest, DecodesTheSamePackageWithPiecesOfEverySize) {
    std::vector<TestEntry> entries = {{"a.txt", RandomBytes(100, 1)},
                                      {"empty", ""},
                                      {"b.bin", RandomBytes(3000, 2)},
                                      {"\xE9t\xE9.txt", "xyz"}};
    ASSERT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
    // Output pieces around the record fields' sizes and the 1024-byte first data call.
    const std::pair<size_t, size_t> pieces[] = {{1, 0},    {2, 1},    {3, 0},    {4, 1},  {5, 0},
                                                {7, 1},    {8, 0},    {13, 0},   {63, 5}, {1023, 5},
                                                {1024, 0}, {1025, 5}, {65536, 0}};
    for (auto piece : pieces) { // output, input
        SCOPED_TRACE("output piece " + std::to_string(piece.first) + ", input piece " +
                     std::to_string(piece.second));
        TempFolder target;
        Capture capture = {target.path, {}, {}, {}, {}};
        PackageHeader header;
        ASSERT_EQ(Extract(package, &capture, piece.first, piece.second, &header), 0);
        ASSERT_EQ(capture.names.size(), entries.size());
        EXPECT_EQ(capture.firsts.size(), entries.size() - 1); // no second call for the empty entry
        for (size_t i = 0, second = 0; i < entries.size(); i++) {
            EXPECT_EQ(capture.names[i], entries[i].name);
            EXPECT_EQ(capture.sizes[i], entries[i].data.size());
            EXPECT_EQ(ReadFileText(target / entries[i].name), entries[i].data);
            if (!entries[i].data.empty()) {
                EXPECT_EQ(capture.firsts[second++], entries[i].data.substr(0, 1024));
            }
        }
        EXPECT_EQ(header.checksum, ExpectedChecksum(entries));
        EXPECT_EQ(header.entries, 4u);
        EXPECT_STREQ(header.code, "QXE");
        EXPECT_STREQ(header.text1, "1.0");
        EXPECT_STREQ(header.text2, "2.0");
        EXPECT_EQ(header.date, 4618u);
    }
}

TEST_F(PackageReaderTest, EnforcesTheRecordLimits) {
    std::string head = Number(0) + Text("QXE") + Text("1.0") + Text("2.0") + Number(4618);
    std::string longName(PACKAGE_NAME_CHARS, 'n');
    std::vector<TestEntry> two = {{"a", "12345"}, {"b", "678"}};
    std::string full = Stream(two);
    struct Case {
        const char* what;
        std::string stream;
        int64_t declared;
        int expected;
    } cases[] = {
        {"code of 3 characters", Number(0) + Text("ABC") + Text("") + Text("") + Number(1), -1, 0},
        {"code of 4 characters", Number(0) + Text("ABCD") + Text("") + Text("") + Number(1), -1, -13},
        {"texts of 31 characters",
         Number(0) + Text("") + Text(std::string(31, 't')) + Text(std::string(31, 'u')) + Number(1), -1, 0},
        {"first text of 32 characters",
         Number(0) + Text("") + Text(std::string(32, 't')) + Text("") + Number(1), -1, -13},
        {"second text of 32 characters",
         Number(0) + Text("") + Text("") + Text(std::string(32, 'u')) + Number(1), -1, -13},
        {"a zero character inside a text",
         Number(0) + Text(std::string("A\0B", 3)) + Text("") + Text("") + Number(1), -1, -13},
        {"name of 1019 characters", head + Number(0) + Text(longName), -1, 0},
        {"name of 1020 characters", head + Number(0) + Text(longName + "n"), -1, -13},
        {"a zero character inside a name", head + Number(0) + Text(std::string("a\0b", 3)), -1, -13},
        {"no entries", head, -1, 0},
        {"an empty name is skipped",
         Number(5 * (1 + 10) + 'x' * 5) + head.substr(4) + Number(5) + Text("") + Data("xxxxx"), -1, 0},
        {"checksum one too high", Stream(two, 1), -1, -1},
        {"declared size 0", full, 0, -1},
        {"declared size inside the header", full, 10, -1},
        {"declared size at the end of the header", full, (int64_t)head.size(), -1},
        {"declared size inside an entry header", full, (int64_t)head.size() + 5, -1},
        {"declared size inside the last entry's data", full, (int64_t)full.size() - 1, -1},
        {"declared size beyond the stream", full, (int64_t)full.size() + 1, -1},
        {"an entry longer than the stream", head + Number(0xFFFFFFFFu) + Text("a") + "xyz", -1, -1},
        {"the whole stream", full, -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(WriteStreamPackage(package, c.stream, c.declared), 0);
        for (size_t piece : {0, 1, 7}) {
            SCOPED_TRACE("output piece " + std::to_string(piece));
            EXPECT_EQ(Extract(package, nullptr, piece), c.expected);
        }
    }
}

TEST_F(PackageReaderTest, SkippedEntriesStillCountInTheChecksum) {
    std::vector<TestEntry> entries = {{"a", "first"}, {"b", "second"}, {"c", "third"}};
    std::vector<TestEntry> withoutB = {{"a", "first"}, {"\xE0", ""}, {"c", "third"}};
    struct Case {
        const char* what;
        std::string stream;
        int expected;
    } cases[] = {
        {"checksum over every entry", Stream(entries), 0},
        {"checksum leaving out the skipped entry",
         Stream(entries, ExpectedChecksum(withoutB) - ExpectedChecksum(entries)), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder target;
        ASSERT_EQ(WriteStreamPackage(package, c.stream), 0);
        Capture capture = {target.path, {}, {}, {}, {2}};
        EXPECT_EQ(Extract(package, &capture), c.expected);
        EXPECT_EQ(ReadFileText(target / "a"), "first");
        EXPECT_FALSE(FileExists(target / "b"));
        EXPECT_EQ(ReadFileText(target / "c"), "third");
        EXPECT_EQ(capture.firsts.size(), 3u); // the skipped entry's data is still shown
    }
}

TEST_F(PackageReaderTest, GivesEveryFileThePackageDateAtNoon) {
    uint32_t april30 = EncodePackageDate(2024, 4, 30);
    ASSERT_EQ(WriteStreamPackage(package, Stream({{"empty", ""}, {"full", "data"}}, 0, "QXE", april30)), 0);
    TempFolder target;
    Capture capture = {target.path, {}, {}, {}, {}};
    ASSERT_EQ(Extract(package, &capture, 1), 0);
    SysTime noon = {2024, 4, 30, 0, 12, 0, 0, 0};
    uint64_t expected = 0;
    ASSERT_EQ(SysLocalTimeToFileTime(&noon, &expected), 0);
    EXPECT_EQ(ReadFileText(target / "empty"), "");
    EXPECT_EQ(TestFileWriteTime(target / "empty"), expected);
    EXPECT_EQ(TestFileWriteTime(target / "full"), expected);
}

TEST_F(PackageReaderTest, ADamagedPackageFailsWithoutHarm) {
    std::vector<TestEntry> entries = {{"a.txt", RandomBytes(300, 3)}, {"b.txt", RandomBytes(200, 4)}};
    ASSERT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
    std::string good = ReadFileText(package);
    size_t data = PACKAGE_LEAD_SIZE + 13;

    struct Case {
        std::string what;
        std::string file;
        int expected;
    };
    std::vector<Case> cases;
    std::string bad = good;
    bad[PACKAGE_LEAD_SIZE + 4] = (char)225; // beyond the largest lc/lp/pb byte
    cases.push_back({"properties byte 225", bad, -50});
    bad[PACKAGE_LEAD_SIZE + 4] = (char)((2 * 5 + 1) * 9 + 4); // lc 4 + lp 1 > 4
    cases.push_back({"lc + lp above 4", bad, -50});
    // Cut inside the properties, the size, the first bytes of data and the last one.
    for (size_t cut : {PACKAGE_LEAD_SIZE + 6, PACKAGE_LEAD_SIZE + 11, data + 1, data + 16, good.size() - 1})
        cases.push_back({"cut to " + std::to_string(cut) + " bytes", good.substr(0, cut), -1});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder target;
        WriteFileText(target / "a.txt", "old a");
        auto before = Snapshot(target.path);
        WriteFileText(package, c.file);
        EXPECT_EQ(ExtractUpdatePackage(package.c_str(), target.path.c_str()), c.expected);
        EXPECT_EQ(Snapshot(target.path), before);
    }
}

TEST(PackageDate, TakesADayPastTheMonthAsItsLastDay) {
    struct Case {
        uint32_t value;
        int year, month, day; // the file time's date; 0: no file time
    } cases[] = {
        {EncodePackageDate(2024, 4, 30), 2024, 4, 30},
        {EncodePackageDate(2024, 4, 31), 2024, 4, 30},
        {EncodePackageDate(2023, 2, 29), 2023, 2, 28},
        {EncodePackageDate(2024, 2, 29), 2024, 2, 29},
        {EncodePackageDate(2024, 2, 31), 2024, 2, 29},
        {0, 2011, 11, 30}, // decodes as the 31st of November 2011
        {EncodePackageDate(9999, 12, 31), 9999, 12, 31},
        {EncodePackageDate(10000, 1, 1), 0, 0, 0},
        {0xFFFFFFFFu, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        uint64_t fileTime = 0;
        int result = PackageDateToFileTime(c.value, &fileTime);
        if (c.year == 0) {
            EXPECT_EQ(result, ERR_INVALID_PARAMETER);
            continue;
        }
        ASSERT_EQ(result, 0);
        SysTime noon = {c.year, c.month, c.day, 0, 12, 0, 0, 0};
        uint64_t expected = 0;
        ASSERT_EQ(SysLocalTimeToFileTime(&noon, &expected), 0);
        EXPECT_EQ(fileTime, expected);
    }
}

} // namespace
