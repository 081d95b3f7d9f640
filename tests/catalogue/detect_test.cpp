// Detection's portable rules: the name masks, the folder scan with its vendor test, merge,
// Stop and path bounds (over a real folder tree and a stand-in version reader), and the
// registry value that names a folder.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "catalogue/detect.h"
#include "platform/fs.h"
#include "support/memoryrows.h"
#include "support/testfiles.h"

namespace {

using Lines = std::vector<std::string>;

TEST(MaskTest, RenameMaskRule) {
    const struct {
        const char* masks;
        Lines match, miss;
    } cases[] = {
        {"QX*.exe",
         {"QX.exe", "qxtool.EXE", "C:\\Programs\\QXNav.exe"},
         {"QXTool.exe.bak", "QXTool", "AQX.exe"}},
        {"*.txt;;QX?av.exe", {"QXNav.exe"}, {}},
        {"QX?.exe", {}, {"QXNav.exe"}},
        {"QX", {}, {"QX.exe"}},
    };
    for (const auto& c : cases) {
        for (const std::string& name : c.match)
            EXPECT_TRUE(MatchesMaskList(name.c_str(), c.masks)) << name << " " << c.masks;
        for (const std::string& name : c.miss)
            EXPECT_FALSE(MatchesMaskList(name.c_str(), c.masks)) << name << " " << c.masks;
    }
}

// The stand-in version resource: the file's text, "company|product|version".
void ReadTextVersion(const char* path, char* company, char* product, char* version, const char*) {
    sscanf(ReadFileText(path).c_str(), "%63[^|]|%63[^|]|%31s", company, product, version);
}

// The folders shown, and after how many Stop is pressed.
Lines gShown;
size_t gCancelAfter;
volatile long gCancel;

struct ScanTest : ::testing::Test {
    TempFolder root;
    MemoryRows m;
    ScanHost host = {ReadTextVersion,
                     [](const char* folder) {
                         gShown.push_back(folder);
                         if (gShown.size() == gCancelAfter) gCancel = 1;
                     },
                     &gCancel};
    void SetUp() override {
        gShown.clear();
        gCancelAfter = 0, gCancel = 0;
    }
    void File(const std::string& name, const std::string& text) {
        std::string path = root / name;
        FsLocal()->CreateFolder(path.substr(0, path.find_last_of('/')).c_str());
        WriteFileText(path, text);
    }
    void Scan() {
        ScanContext context;
        BeginScan(&context, &m.store, FsLocal(), &host);
        ScanFolderForProducts(root.path.c_str(), &context);
        EndScan(&context);
    }
};

TEST_F(ScanTest, FindsTheVendorsProgramsOncePerCopyAndStops) {
    File("QXNav.exe", "Corvanware|QX Navigator|5.10");
    File("qxtool.EXE", "Corvanware|QXTaskKp|2.0");
    File("QX.exe", "Corvanware|QX Seek|1.0");
    File("QXCase.exe", "CorvanWare|QX Case|1");
    File("sub/deeper/QXNav.exe", "Corvanware|QX Navigator|5.20");
    gCancelAfter = 2; // Stop on entering "sub": the rows found so far stay
    Scan();
    EXPECT_EQ(m.rows.size(), 3u);
    gCancel = 0;
    Scan();
    Scan(); // the same folders again merge into the rows found before
    std::string r = root.path + "\\";
    EXPECT_EQ(m.Lines(),
              (Lines{":QX Navigator||5.10||" + r + "QXNav.exe",
                     ":QX Navigator||5.20||" + r + "sub\\deeper\\QXNav.exe", ":QX Seek||1.0||" + r + "QX.exe",
                     ":QX Task Keeper||2.0||" + r + "qxtool.EXE"}));
    Lines once = {root.path, r + "sub", r + "sub\\deeper"};
    EXPECT_EQ(gShown, (Lines{once[0], once[1], once[0], once[1], once[2], once[0], once[1], once[2]}));
}

TEST_F(ScanTest, PathsThatDoNotFitAreSkippedNotCut) {
    // Folder names of 200 characters: below a short root the fifth level no longer fits.
    ASSERT_LT(root.path.size(), 180u);
    std::string path;
    for (int i = 1; i <= 6; i++) {
        path += "/" + std::string(200, 'f');
        File(path.substr(1) + "/QXNav.exe", "Corvanware|QX Navigator|" + std::to_string(i));
    }
    if (!FileExists(root.path + path + "/QXNav.exe")) GTEST_SKIP() << "no paths this long here";
    Scan();
    EXPECT_EQ(gShown.size(), 5u);
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
