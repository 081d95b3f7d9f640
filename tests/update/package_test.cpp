// The package reader: marker search, decoding in pieces of every size, the record limits,
// damaged and cut packages, the checksum over skipped entries and the package date.
#include <gtest/gtest.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "update/package.h"
#include "update/package_testing.h"

namespace {

// Compressible data, but not trivially so.
std::string Bytes(size_t n, unsigned seed) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; i++)
        s[i] = (char)((i * seed) % 7 ? 'a' + i % 3 : i * 131 + seed);
    return s;
}

struct PackageReaderTest : ::testing::Test {
    TempFolder temp;
    std::string package = temp / "p.pkg", into; // the folder the entries are written to, if any
    std::vector<std::string> names;             // the entries seen, with their sizes
    int Extract(size_t outputPiece = 0, size_t inputPiece = 0, PackageHeader* header = nullptr) {
        PackageOptions options = {NULL, inputPiece, outputPiece, header};
        return ExtractPackageWith(package.c_str(), into.empty() ? nullptr : Entry, this, &options);
    }
    // Writes every entry but "b.bin" into the folder; notes the first bytes' calls by their size.
    static int Entry(char* path, const uint8_t* data, size_t size, void* user) {
        PackageReaderTest* t = (PackageReaderTest*)user;
        char joined[PACKAGE_PATH_SIZE];
        if (data) return t->names.back() += " " + std::to_string(size), 0;
        t->names.push_back(path + (" " + std::to_string(size)));
        if (int e = JoinEntryPath(t->into.c_str(), path, joined, sizeof joined)) return -e;
        CopyText(path, PACKAGE_PATH_SIZE, joined);
        return strcmp(PathFileName(path), "b.bin") != 0; // skipped, though its path is set
    }
};

// Each case also decoded in output pieces of 1 and 7 bytes, which split the records.
TEST_F(PackageReaderTest, FindsTheMarkerAndEnforcesTheRecordLimits) {
    auto file = [&](const std::string& stream, int64_t declared) {
        EXPECT_EQ(WriteStreamPackage(package, stream, declared), 0);
        return ReadFileText(package);
    };
    std::string body = file(Stream({{"a.txt", Bytes(300, 3)}}), -1).substr(PACKAGE_LEAD_SIZE);
    std::string bad = body;               // body: marker, properties, size, data
    bad[4] = (char)((2 * 5 + 1) * 9 + 4); // lc 4 + lp 1 > 4
    // A dictionary of 512 MiB: refused when the unpacked size would need it, cut down when not.
    auto dictionary = [&](uint32_t unpacked) {
        std::string d = body;
        d.replace(5, 8,
                  std::string("\0\0\0\x20", 4) + (char)(unpacked >> 24) + (char)(unpacked >> 16) +
                      (char)(unpacked >> 8) + (char)unpacked);
        return d;
    };
    auto lead = [](size_t n) { return std::string(PACKAGE_LEAD_SIZE + n, 'L'); };
    std::string head = Number(0) + Text("QXE") + Text("1.0") + Text("2.0") + Number(4618);
    std::string longName(PACKAGE_NAME_CHARS, 'n'), t31(31, 't'), t32(32, 't');
    std::string full = Stream({{"a", "12345"}, {"b", "678"}});
    auto texts = [&](const std::string& code, const std::string& t1, const std::string& t2) {
        return file(Number(0) + Text(code) + Text(t1) + Text(t2) + Number(1), -1);
    };
    struct Case {
        const char* what;
        std::string file;
        int expected;
    } cases[] = {
        {"marker right at the lead offset", lead(0) + body, 0},
        {"marker across the first two reads (2+2)", lead(4090) + body, 0},
        {"marker across the first two reads (3+1)", lead(4089) + body, 0},
        {"marker at the start of the second read", lead(4092) + body, 0},
        {"marker across the second and third reads", lead(2 * 4092 - 2) + body, 0},
        {"marker starting one byte before the lead offset", lead(0).substr(1) + body, -1},
        {"lc + lp above 4", lead(0) + bad, -50},
        {"a dictionary over the limit", lead(0) + dictionary(PACKAGE_MAX_DICTIONARY + 1), -8},
        {"a large dictionary for a small package", lead(0) + dictionary(0x10000), -1},
        {"cut inside the properties", lead(0) + body.substr(0, 6), -1},
        {"cut inside the size field", lead(0) + body.substr(0, 11), -1},
        {"cut after the first data byte", lead(0) + body.substr(0, 14), -1},
        {"cut before the last byte", lead(0) + body.substr(0, body.size() - 1), -1},
        {"code of 3 characters", texts("ABC", "", ""), 0},
        {"code of 4 characters", texts("ABCD", "", ""), -13},
        {"texts of 31 characters", texts("", t31, t31), 0},
        {"first text of 32 characters", texts("", t32, ""), -13},
        {"second text of 32 characters", texts("", "", t32), -13},
        {"a zero character inside a text", texts(std::string("A\0B", 3), "", ""), -13},
        {"name of 1019 characters", file(head + Number(0) + Text(longName), -1), 0},
        {"name of 1020 characters", file(head + Number(0) + Text(longName + "n"), -1), -13},
        {"declared size inside the header", file(full, 10), -1},
        {"declared size inside an entry header", file(full, (int64_t)head.size() + 5), -1},
        {"declared size inside the last entry's data", file(full, (int64_t)full.size() - 1), -1},
        {"an entry longer than the stream", file(head + Number(0xFFFFFFFFu) + Text("a") + "xyz", -1), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileText(package, c.file);
        for (size_t piece : {0, 1, 7}) {
            SCOPED_TRACE("output piece " + std::to_string(piece));
            EXPECT_EQ(Extract(piece), c.expected);
        }
        EXPECT_EQ(CheckPackageDictionary(package.c_str(), NULL),
                  c.expected == -8 ? ERR_NOT_ENOUGH_MEMORY : 0);
    }
}

// The entry "b.bin" skipped by the callback: its data still counts in the checksum.
TEST_F(PackageReaderTest, DecodesTheSamePackageWithPiecesOfEverySize) {
    std::vector<TestEntry> entries = {
        {"a.txt", Bytes(100, 1)}, {"empty", ""}, {"b.bin", Bytes(3000, 2)}, {"\xE9t\xE9.txt", "xyz"}};
    ASSERT_EQ(WriteStreamPackage(package, Stream(entries)), 0);
    // Output pieces around the record fields' sizes and the 1024-byte first data call.
    const std::pair<size_t, size_t> pieces[] = {{1, 0},    {2, 1},    {3, 0},    {4, 1},  {5, 0},
                                                {7, 1},    {8, 0},    {13, 0},   {63, 5}, {1023, 5},
                                                {1024, 0}, {1025, 5}, {65536, 0}};
    for (auto piece : pieces) { // output, input
        SCOPED_TRACE(std::to_string(piece.first) + " out, " + std::to_string(piece.second) + " in");
        TempFolder target;
        into = target.path, names.clear();
        PackageHeader header;
        ASSERT_EQ(Extract(piece.first, piece.second, &header), 0);
        ASSERT_EQ(names.size(), entries.size());
        for (size_t i = 0; i < entries.size(); i++) {
            size_t n = entries[i].data.size(), first = n < 1024 ? n : 1024; // one call for the first bytes
            EXPECT_EQ(names[i],
                      entries[i].name + " " + std::to_string(n) + (n ? " " + std::to_string(first) : ""));
            EXPECT_EQ(ReadFileText(target / entries[i].name), i == 2 ? "<missing>" : entries[i].data);
        }
        EXPECT_EQ(std::string(header.code) + " " + header.text1 + " " + header.text2 + " " +
                      std::to_string(header.date) + " " + std::to_string(header.entries),
                  "QXE 1.0 2.0 4618 4");
    }
}

TEST(PackageDate, TakesADayPastTheMonthAsItsLastDay) {
    // The file time's date, none when the year is 0; the value 0 decodes as 31 November 2011.
    struct Case {
        uint32_t value;
        int year, month, day;
    } cases[] = {
        {EncodePackageDate(2024, 4, 31), 2024, 4, 30},   {EncodePackageDate(2023, 2, 29), 2023, 2, 28},
        {EncodePackageDate(2024, 2, 31), 2024, 2, 29},   {0, 2011, 11, 30},
        {EncodePackageDate(9999, 12, 31), 9999, 12, 31}, {EncodePackageDate(10000, 1, 1), 0, 0, 0},
        {EncodePackageDate(2025, 3, 31), 2025, 3, 31},   {EncodePackageDate(2025, 5, 31), 2025, 5, 31}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        uint64_t fileTime = 0, expected = 0;
        EXPECT_EQ(PackageDateToFileTime(c.value, &fileTime), c.year ? 0 : ERR_INVALID_PARAMETER);
        if (!c.year) continue;
        SysTime noon = {c.year, c.month, c.day, 0, 12, 0, 0, 0};
        ASSERT_EQ(SysLocalTimeToFileTime(&noon, &expected), 0);
        EXPECT_EQ(fileTime, expected);
    }
}

} // namespace
