// Detection's portable rules: the name masks, the folder scan's path bounds (over a real
// folder tree and a stand-in version reader), and the registry value that names a folder.
// (Finding, merging and Stop are tested end to end on Windows.)
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "catalogue/detect.h"
#include "platform/fs.h"
#include "support/memoryrows.h"
#include "support/testfiles.h"

namespace {

TEST(MaskTest, RenameMaskRule) {
    const struct {
        const char *name, *masks;
        int matches;
    } cases[] = {
        {"QX.exe", "QX*.exe", 1},
        {"qxtool.EXE", "QX*.exe", 1},
        {"C:\\Programs\\QXNav.exe", "QX*.exe", 1},
        {"QXTool.exe.bak", "QX*.exe", 0},
        {"QXTool", "QX*.exe", 0},
        {"AQX.exe", "QX*.exe", 0},
        {"QXNav.exe", "*.txt;;QX?av.exe", 1},
        {"QXNav.exe", "QX?.exe", 0},
        {"QX.exe", "QX", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesMaskList(c.name, c.masks), c.matches) << c.name << " " << c.masks;
}

// The stand-in version resource: the file's text, "company|product|version".
void ReadTextVersion(const char* path, char* company, char* product, char* version, const char*) {
    sscanf(ReadFileText(path).c_str(), "%63[^|]|%63[^|]|%31s", company, product, version);
}

int gShown; // folders shown

// Folder names of 200 characters: below a short root the fifth level no longer fits, and is
// skipped, not cut. A second scan merges into the rows of the first.
TEST(ScanTest, PathsThatDoNotFitAreSkippedNotCut) {
    TempFolder root;
    ASSERT_LT(root.path.size(), 180u);
    std::string path = root.path;
    for (int i = 1; i <= 6; i++) {
        path += "/" + std::string(200, 'f');
        FsLocal()->CreateFolder(path.c_str());
        WriteFileText(path + "/QXNav.exe", "Corvanware|QX Navigator|" + std::to_string(i));
    }
    if (!FileExists(path + "/QXNav.exe")) GTEST_SKIP() << "no paths this long here";
    MemoryRows m;
    ScanHost host = {ReadTextVersion, [](const char*) { gShown++; }, nullptr};
    for (int scan = 0; scan < 2; scan++) {
        ScanContext context;
        BeginScan(&context, &m.store, FsLocal(), &host);
        ScanFolderForProducts(root.path.c_str(), &context);
        EndScan(&context);
    }
    EXPECT_EQ(gShown, 10);
    EXPECT_EQ(m.rows.size(), 4u);
}

TEST(RegistryValueTest, OnlyAFullPathWithinTheDataNamesAFolder) {
    std::string exact = "C:\\" + std::string(1021, 'a'), fits = exact.substr(0, 1023) + '\0';
    const struct {
        std::string data;
        const char* folder; // NULL: nothing to scan
    } cases[] = {
        {std::string("C:\\QX\0", 6), "C:\\QX"},
        {"C:\\QX", "C:\\QX"}, // no terminator
        {std::string("C:\\A\0C:\\B\0\0", 11), "C:\\A"},
        {"\\\\server\\share\\QX", "\\\\server\\share\\QX"},
        {std::string("\0", 1), NULL},
        {"QX", NULL},
        {"_:\\QX", NULL},
        {"Q\\\\QX", NULL},                      // no drive letter, nor a share's two separators first
        {std::string("\x43\x3A\0\0", 4), NULL}, // a number, "C:"
        {exact, NULL},
        {fits, fits.c_str()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data.substr(0, 20));
        // A buffer of exactly the data's size, so reading past it is caught.
        std::vector<char> data(c.data.begin(), c.data.end());
        char folder[SCAN_PATH_SIZE];
        EXPECT_EQ(RegistryValueToFolder(data.data(), data.size(), folder, sizeof folder), c.folder != NULL);
        EXPECT_STREQ(folder, c.folder ? c.folder : "");
    }
}

} // namespace
