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
    char company[64] = {0}, product[64] = {0}, version[32] = {0};
    ReadVersionStrings(Fixture("german").c_str(), company, product, version, "-");
    EXPECT_EQ(std::string(company) + "|" + product + "|" + version,
              german ? "Corvanware|QX Navigator Deutsch|5.10d" : "-|-|-");
}

struct DetectWinTest : AppWindowTest {
    void TearDown() override {
        AppWindowTest::TearDown();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvanware");
    }
    Lines SortedRows() {
        Lines rows = Rows();
        std::sort(rows.begin(), rows.end());
        return rows;
    }
};

TEST_F(DetectWinTest, StartUpSearchesTheRegistryFolders) {
    std::string f = folder.path;
    for (auto copy : {std::make_pair("nav", "\\nav\\QX.exe"),
                      {"noname", "\\nav\\QXNoName.exe"},
                      {"taskkp", "\\task\\qxtool.EXE"},
                      {"seek", "\\class\\QXSeek.exe"},
                      {"nav", "\\cut\\QXNav.exe"}}) {
        std::string to = f + copy.second;
        CreateDirectoryA(to.substr(0, to.find_last_of('\\')).c_str(), NULL);
        ASSERT_TRUE(CopyFileA(Fixture(copy.first).c_str(), to.c_str(), FALSE)) << to;
    }
    // A product's key, a product code, a code of the class list only; and 1,024 bytes without
    // a terminator, which cut would name the folder "cut".
    std::string full = f + "\\cut";
    while (full.size() < 1023)
        full += "\\.";
    auto set = [](const char* key, const char* name, DWORD type, const std::string& data) {
        HKEY k;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_WRITE, NULL, &k, NULL), 0);
        RegSetValueExA(k, name, 0, type, (const BYTE*)data.data(), (DWORD)data.size());
        RegCloseKey(k);
    };
    set("Software\\Corvanware\\QXNV", "Dir", REG_SZ, f + "\\nav");
    set("Software\\Corvanware", "qv", REG_SZ, f + "\\task");
    set("Software\\Corvanware", "zz", REG_SZ, f + "\\class");
    set("Software\\Corvanware", "qj", REG_BINARY, full.substr(0, 1023) + "x");
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n[Class]\r\nzz=QXSeekMain\r\n"
             "[Products]\r\n1=qj;QX Navigator;6.0;4.0;;" +
             f + "\\nav\\QX.exe\r\n2=xj;QX Draw;2.0;1.0;;" + f + "\\gone\\QXDraw.exe\r\n");
    Start();
    EXPECT_EQ(SortedRows(), (Lines{"QX Draw|2.0|1.0|Please update!|" + f + "\\gone\\QXDraw.exe#4",
                                   "QX Navigator|6.0|5.10|Please update!|" + f + "\\nav\\QX.exe#4",
                                   "QX Seek||1.5||" + f + "\\class\\QXSeek.exe#0",
                                   "QX Task Keeper||2.0.1||" + f + "\\task\\qxtool.EXE#0"}));
}

using DriveScanWinTest = DetectWinTest;

// Only in the drive-scan prefix: fixed drives D: (products and a link back to its root)
// and E: (a wide tree with a copy of QX Seek in 10 of its folders).
TEST_F(DriveScanWinTest, FindsEveryCopyOnceAndStops) {
    if (!getenv("QX_DRIVE_PREFIX")) GTEST_SKIP() << "runs in the drive-scan prefix only";
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n[Products]\r\n1=qj;QX "
             "Navigator;6.0;;;\r\n");
    Start();
    Lines all = {"QX Navigator|6.0|5.10|Please update!|D:\\QXNav.exe#4",
                 "QX Navigator|6.0|5.10|Please update!|D:\\apps\\two\\QXNav.exe#4"};
    for (int i = 0; i < 10; i++)
        all.push_back("QX Seek||1.5||E:\\deep\\a0" + std::to_string(i) + "\\QXSeek.exe#0");
    auto pane = [] {
        char text[260];
        PaneGetText(&gStatusLine, 0, text, sizeof text);
        return std::string(text);
    };

    // Stop while E: is being scanned: the rows found so far stay and are marked.
    Command(CMD_SEARCH_INSTALLED);
    ASSERT_TRUE(PumpUntil([&] { return pane().find("E:\\deep\\") == 0; }, 20000)) << pane();
    Command(CMD_STOP);
    ASSERT_TRUE(WaitIdle());
    Lines rows = SortedRows();
    EXPECT_LT(rows.size(), all.size());
    EXPECT_TRUE(std::includes(all.begin(), all.end(), rows.begin(), rows.end()));
    EXPECT_TRUE(std::includes(rows.begin(), rows.end(), all.begin(), all.begin() + 2)); // D: first

    // A whole scan finds every copy once: the folders scanned before merge into their rows,
    // and the link back to D:\ is not followed.
    Command(CMD_SEARCH_INSTALLED);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(SortedRows(), all);
}

} // namespace
