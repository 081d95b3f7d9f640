// Detection on Windows: version resources of real programs (built with the tests), the
// registry folders searched at start-up, and the drive scan in a Wine prefix whose only
// fixed drives are test folders (set up by drivescan.sh).
#include <gtest/gtest.h>
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <algorithm>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "catalogue/detect.h"
#include "support/appwindow.h"
#include "support/winprocess.h"
#include "update/statusline.h"

namespace {

using Lines = std::vector<std::string>;

std::string Fixture(const char* name) {
    return TestProgramFolder() + "\\fixtures\\QX" + name + ".exe";
}

// Runs twice: in the default English setting and with German as the user's language.
TEST(VersionStrings, ByTheUsersLanguage) {
    bool german = GetUserDefaultLangID() == 0x0407;
    const char* asked = getenv("LC_ALL");
    ASSERT_TRUE(german || !asked || strncmp(asked, "de", 2) != 0) << "German was asked for";
    const struct {
        std::string path;
        const char* strings; // company|product|version
    } cases[] = {
        {Fixture("nav"), "Corvanware|QX Navigator|5.10"},
        {Fixture("noname"), "Corvanware|-|1.0"},
        {Fixture("german"), german ? "Corvanware|QX Navigator Deutsch|5.10d" : "-|-|-"},
        {TestProgramFolder() + "\\fixtures\\missing.exe", "-|-|-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        char company[64] = {0}, product[64] = {0}, version[32] = {0};
        ReadVersionStrings(c.path.c_str(), company, product, version, "-");
        EXPECT_EQ(std::string(company) + "|" + product + "|" + version, c.strings);
    }
}

struct DetectWinTest : AppWindowTest {
    void TearDown() override {
        AppWindowTest::TearDown();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvanware");
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\QXSeek");
    }
    void Copy(const char* fixture, const std::string& to) {
        CreateDirectoryA(to.substr(0, to.find_last_of('\\')).c_str(), NULL);
        ASSERT_TRUE(CopyFileA(Fixture(fixture).c_str(), to.c_str(), FALSE)) << to;
    }
    void SetValue(const char* key, const char* name, DWORD type, const std::string& data) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_WRITE, NULL, &k, NULL), 0);
        RegSetValueExA(k, name, 0, type, (const BYTE*)data.data(), (DWORD)data.size());
        RegCloseKey(k);
    }
    // Every row as "code:name|act|inst|state|location", sorted.
    Lines Rows() {
        Lines lines;
        for (int row = 0; row < RowCount(gApp->listView); row++) {
            char code[4];
            RowDataToCode(GetRowData(gApp->listView, row), code, sizeof code);
            std::string line = std::string(code) + ":";
            for (int column = 0; column < 5; column++) {
                char text[1024];
                GetRowText(gApp->listView, row, column, text, sizeof text);
                line += (column ? "|" : "") + std::string(text);
            }
            lines.push_back(line);
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }
};

TEST_F(DetectWinTest, StartUpSearchesTheRegistryFolders) {
    std::string f = folder.path;
    for (auto copy : {std::make_pair("nav", "nav\\QX.exe"),
                      {"taskkp", "nav\\qxtool.EXE"},
                      {"ledger", "nav\\QXLedger.exe"},
                      {"noname", "nav\\QXNoName.exe"},
                      {"case", "nav\\QXCase.exe"},
                      {"german", "nav\\QXGerman.exe"},
                      {"taskkp", "task\\QXTaskKp.exe"},
                      {"seek", "class\\QXSeek.exe"},
                      {"nav", "cut\\QXNav.exe"}})
        Copy(copy.first, f + "\\" + copy.second);
    SetValue("Software\\Corvanware\\QXNV", "Dir", REG_SZ, f + "\\nav");
    SetValue("Software\\Corvanware", "qv", REG_SZ, f + "\\task");
    SetValue("Software\\Corvanware", "zz", REG_SZ, f + "\\class"); // a code of the class list only
    SetValue("Software\\Corvanware", "vq", REG_MULTI_SZ, f + "\\class" + '\0' + f + "\\nav" + '\0' + '\0');
    // Values that name no folder: 1024 bytes without a terminator (cut, they would name the
    // folder "cut"), a number, an empty text.
    std::string full = f + "\\cut";
    while (full.size() < 1023)
        full += "\\.";
    SetValue("Software\\Corvanware", "qj", REG_BINARY, full.substr(0, 1023) + "x");
    SetValue("Software\\QXSeek", "Dir", REG_DWORD, std::string(".\0\0\0", 4));
    SetValue("Software\\Corvanware", "jq", REG_SZ, "");
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n[Class]\r\nzz=QXSeekMain\r\n"
             "[Products]\r\n1=qj;QX Navigator;6.0;4.0;;" +
             f + "\\nav\\QX.exe\r\n2=xj;QX Draw;2.0;1.0;;" + f + "\\gone\\QXDraw.exe\r\n");
    Start();
    EXPECT_EQ(Rows(), (Lines{":QX Seek||1.5||" + f + "\\class\\QXSeek.exe",
                             ":QX Task Keeper||2.0.1||" + f + "\\nav\\qxtool.EXE",
                             ":QX Task Keeper||2.0.1||" + f + "\\task\\QXTaskKp.exe",
                             "qj:QX Navigator|6.0|5.10|Please update!|" + f + "\\nav\\QX.exe",
                             "xj:QX Draw|2.0|1.0|Please update!|" + f + "\\gone\\QXDraw.exe"}));
}

// Only in the drive-scan prefix: fixed drives D: (products and a link back to its root)
// and E: (a wide tree with a copy of QX Seek in 10 of its folders).
struct DriveScanWinTest : DetectWinTest {
    void SetUp() override {
        DetectWinTest::SetUp();
        if (!getenv("QX_DRIVE_PREFIX")) GTEST_SKIP() << "runs in the drive-scan prefix only";
    }
    static Lines FixedDrives() {
        char drives[128] = {0};
        GetLogicalDriveStringsA(sizeof drives, drives);
        Lines fixed;
        for (const char* root = drives; *root; root += strlen(root) + 1)
            if (GetDriveTypeA(root) == DRIVE_FIXED) fixed.push_back(root);
        return fixed;
    }
    std::string Pane0() {
        char text[260];
        PaneGetText(&gStatusLine, 0, text, sizeof text);
        return text;
    }
    int SeekRows() {
        Lines rows = Rows();
        return (int)std::count_if(rows.begin(), rows.end(), [](const std::string& r) {
            return r.find(":QX Seek||1.5||E:\\deep\\") == 0;
        });
    }
};

TEST_F(DriveScanWinTest, ScansTheFixedDrivesAndStops) {
    // The scan can reach no folder but the test drives.
    ASSERT_EQ(FixedDrives(), (Lines{"D:\\", "E:\\"}));
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n[Products]\r\n1=qj;QX "
             "Navigator;6.0;;;\r\n");
    Start();
    Lines navigators = {"qj:QX Navigator|6.0|5.10|Please update!|D:\\QXNav.exe",
                        "qj:QX Navigator|6.0|5.10|Please update!|D:\\apps\\two\\QXNav.exe"};

    // Stop while E: is being scanned: the rows found so far stay and are marked.
    Command(CMD_SEARCH_INSTALLED);
    ASSERT_TRUE(PumpUntil([&] { return Pane0().find("E:\\deep\\") == 0; }, 20000)) << Pane0();
    EXPECT_FALSE(ButtonEnabled(CMD_SEARCH_INSTALLED));
    EXPECT_FALSE(ButtonEnabled(CMD_SEARCH_UPDATES));
    EXPECT_TRUE(ButtonEnabled(CMD_STOP));
    Command(CMD_STOP);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Pane0(), "");
    int found = SeekRows();
    EXPECT_LT(found, 10);
    Lines rows = Rows();
    EXPECT_EQ(Lines(rows.end() - 2, rows.end()), navigators);

    // A whole scan finds every copy once: the folders scanned before merge into their rows,
    // and the link back to D:\ is not followed.
    Command(CMD_SEARCH_INSTALLED);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(SeekRows(), 10);
    rows = Rows();
    EXPECT_EQ(rows.size(), 12u);
    EXPECT_EQ(Lines(rows.end() - 2, rows.end()), navigators);
}

} // namespace
