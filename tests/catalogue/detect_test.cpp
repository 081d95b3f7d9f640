// Detection's portable rules: the name masks, the folder scan with its vendor test, merge,
// Stop and path bounds (over a real folder tree and a stand-in version reader), and the
// registry value that names a folder.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "catalogue/detect.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "settings/strings.h"
#include "support/memoryrows.h"
#include "support/testfiles.h"

namespace {

using Lines = std::vector<std::string>;

TEST(MaskTest, RenameMaskRule) {
    const struct {
        const char* name;
        const char* masks;
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
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.masks);
        EXPECT_EQ(MatchesMaskList(c.name, c.masks), c.matches);
    }
}

// The stand-in version resource: the file's text, "company|product|version".
void ReadTextVersion(const char* path, char* company, char* product, char* version, const char* defaultText) {
    std::string text = ReadFileText(path) + "||";
    size_t a = text.find('|'), b = text.find('|', a + 1);
    std::string parts[3] = {text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1)};
    parts[2] = parts[2].substr(0, parts[2].find('|'));
    CopyText(company, 64, parts[0].empty() ? defaultText : parts[0].c_str());
    CopyText(product, 64, parts[1].empty() ? defaultText : parts[1].c_str());
    CopyText(version, 32, parts[2].empty() ? defaultText : parts[2].c_str());
}

// The folders shown, and after how many Stop is pressed.
std::vector<std::string> gShown;
size_t gCancelAfter;
volatile long gCancel;
void Show(const char* folder) {
    gShown.push_back(folder);
    if (gShown.size() == gCancelAfter) gCancel = 1;
}

struct ScanTest : ::testing::Test {
    TempFolder root;
    MemoryRows m;
    Language saved = gLanguage;
    std::vector<std::string>& shown = gShown;
    ScanHost host = {ReadTextVersion, Show, &gCancel};
    void SetUp() override {
        gLanguage.table = FindLanguageTable("US");
        gShown.clear();
        gCancelAfter = 0, gCancel = 0;
    }
    void TearDown() override { gLanguage = saved; }
    void File(const std::string& name, const std::string& text) {
        std::string path = root / name;
        FsLocal()->CreateFolder(path.substr(0, path.find_last_of('/')).c_str());
        WriteFileText(path, text);
    }
    void Scan(const std::string& folder) {
        ScanContext context;
        BeginScan(&context, &m.store, FsLocal(), &host);
        ScanFolderForProducts(folder.c_str(), &context);
        EndScan(&context);
    }
};

TEST_F(ScanTest, FindsTheVendorsProgramsOncePerCopy) {
    File("QXNav.exe", "Corvanware|QX Navigator|5.10");
    File("qxtool.EXE", "Corvanware|QXTaskKp|2.0");
    File("QX.exe", "Corvanware|QX Seek|1.0");
    File("QXCase.exe", "CorvanWare|QX Case|1");
    File("sub/deeper/QXNav.exe", "Corvanware|QX Navigator|5.20");
    Scan(root.path);
    Scan(root.path); // the same folders again merge into the rows found the first time
    std::string r = root.path + "\\";
    EXPECT_EQ(m.Lines(),
              (Lines{":QX Navigator||5.10||" + r + "QXNav.exe",
                     ":QX Navigator||5.20||" + r + "sub\\deeper\\QXNav.exe", ":QX Seek||1.0||" + r + "QX.exe",
                     ":QX Task Keeper||2.0||" + r + "qxtool.EXE"}));
    Lines once = {root.path, r + "sub", r + "sub\\deeper"};
    EXPECT_EQ(shown, (Lines{once[0], once[1], once[2], once[0], once[1], once[2]}));
}

TEST_F(ScanTest, StopEndsTheScanAndKeepsTheRowsFound) {
    File("QXNav.exe", "Corvanware|QX Navigator|5.10");
    std::string deep = "deep";
    for (int i = 0; i < 40; i++)
        deep += "/d" + std::to_string(i);
    File(deep + "/QXSeek.exe", "Corvanware|QX Seek|1.0");
    gCancelAfter = 5;
    Scan(root.path);
    EXPECT_EQ(shown.size(), 5u);
    EXPECT_EQ(m.Lines(), (Lines{":QX Navigator||5.10||" + root.path + "\\QXNav.exe"}));
}

TEST_F(ScanTest, PathsThatDoNotFitAreSkippedNotCut) {
    // Folder names of 200 characters: below a short root the fifth level no longer fits.
    ASSERT_LT(root.path.size(), 180u);
    std::string level(200, 'f'), path;
    for (int i = 1; i <= 6; i++) {
        path += "/" + level;
        File(path.substr(1) + "/QXNav.exe", "Corvanware|QX Navigator|" + std::to_string(i));
    }
    if (!FileExists(root.path + path + "/QXNav.exe")) GTEST_SKIP() << "no paths this long here";
    Scan(root.path);
    EXPECT_EQ(shown.size(), 5u);
    EXPECT_EQ(m.rows.size(), 4u);
}

TEST(RegistryValueTest, OnlyAFullPathWithinTheDataNamesAFolder) {
    std::string exact(1024, 'a');
    exact.replace(0, 3, "C:\\");
    std::string fits = exact.substr(0, 1023) + std::string(1, '\0');
    const struct {
        std::string data;
        const char* folder; // NULL: nothing to scan
    } cases[] = {
        {std::string("C:\\QX\0", 6), "C:\\QX"},
        {"C:\\QX", "C:\\QX"}, // no terminator
        {std::string("C:\\A\0C:\\B\0\0", 11), "C:\\A"},
        {"\\\\server\\share\\QX", "\\\\server\\share\\QX"},
        {std::string("\0", 1), NULL},
        {"", NULL},
        {std::string(".\0", 2), NULL},
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
        int named = RegistryValueToFolder(data.data(), data.size(), folder, sizeof folder);
        EXPECT_EQ(named, c.folder != NULL);
        EXPECT_STREQ(folder, c.folder ? c.folder : "");
    }
}

} // namespace
