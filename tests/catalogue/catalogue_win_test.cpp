// "Seach for new updates" and the start-up edition check, end to end: the main window in
// the test process, downloading from nginx on loopback.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "catalogue/catalogue_win.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "support/appwindow.h"
#include "support/testserver.h"
#include "update/download.h"
#include "update/tempfiles.h"

namespace {

using Lines = std::vector<std::string>;

int gAsked;
int gWow64;
int Wow64() {
    return gWow64;
}
int AnswerNo(void*) {
    return ++gAsked, 0;
}

struct CatalogueWinTest : AppWindowTest {
    std::string site;
    EditionHost saved = gEditionHost;
    void SetUp() override {
        AppWindowTest::SetUp();
        site = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        gAsked = 0, gWow64 = 0;
        gEditionHost = {Wow64, AnswerNo, NULL};
    }
    void TearDown() override {
        AppWindowTest::TearDown();
        gEditionHost = saved;
    }
    void UseServer() { CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, ServerBaseUrl(site).c_str()); }
    void Serve(const char* path, const std::string& text) { ServeFile(site + "\\" + path, text); }
    void CheckForUpdates() {
        Command(CMD_SEARCH_UPDATES);
        EXPECT_EQ(gApp->busyCount, 1);
        ASSERT_TRUE(WaitIdle());
        Pump(50);
    }
    std::string Section(const std::string& file, const std::string& name) {
        size_t start = file.find("[" + name + "]");
        if (start == std::string::npos) return "<none>";
        size_t end = file.find("\r\n[", start);
        return file.substr(start, end == std::string::npos ? std::string::npos : end + 2 - start);
    }
    int TemporaryFiles() {
        char folder[1024];
        ProgramTempFolder(folder, sizeof folder);
        int count = 0;
        FsLocal()->Enumerate(
            folder, [](const FsEntry*, void* c) { return ++*(int*)c, 0; }, &count);
        return count;
    }
};

const char* kCatalogue =
    "qj5.20 QX Navigator\r\nqv2.4 QX Seek\r\nqz9.9 QX Hidden\r\nqt3.1 QX Task Keeper\r\nxj1.8 QX Draw\r\n";

TEST_F(CatalogueWinTest, F5OnAnEmptyTableAddsTheCatalogue) {
    Serve("products.txt", kCatalogue);
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=" + std::to_string(2000) + "\r\n");
    UseServer();
    Start();
    ASSERT_TRUE(WaitIdle());
    CheckForUpdates();
    EXPECT_EQ(Rows(), (Lines{"QX Draw|1.8|||#0", "QX Navigator|5.20|||#0", "QX Seek|2.4|||#0",
                             "QX Task Keeper|3.1|||#0"}));
    EXPECT_EQ(GetRowData(gApp->listView, 1), 0x6A7100u); // "qj" in the item data
    EXPECT_EQ(TemporaryFiles(), 0);

    // The server's catalogue changes: the next check sees the new version.
    Serve("products.txt", "qj5.30 QX Navigator\r\n");
    CheckForUpdates();
    EXPECT_EQ(Rows()[1], "QX Navigator|5.30|||#0");
    EXPECT_EQ(Rows().size(), 4u);
}

TEST_F(CatalogueWinTest, FailedDownloadsChangeNothingButTheMarks) {
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Products]\r\n1=qj;QX Navigator;5.20;5.10;;C:\\QX\\QXNav.exe\r\n"
             "2=qv;QX Seek;2.4;2.4;;C:\\QX\\QXSeek.exe\r\n");
    Start(); // the server is not there
    ASSERT_TRUE(WaitIdle());
    SetRowText(gApp->listView, 0, 3, "");
    SetRowImage(gApp->listView, 0, 0);
    CheckForUpdates();
    Lines expected = {"QX Navigator|5.20|5.10|Please update!|C:\\QX\\QXNav.exe#4",
                      "QX Seek|2.4|2.4||C:\\QX\\QXSeek.exe#0"};
    EXPECT_EQ(Rows(), expected);
    UseServer(); // the server is there, but has no catalogue (404)
    SetRowText(gApp->listView, 0, 3, "");
    CheckForUpdates();
    EXPECT_EQ(Rows(), expected);
    // A catalogue cut short of its announced length ("qj5.30 ...", then "qv2.5 QX Se").
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, BadServerBaseUrl("short").c_str());
    SetRowText(gApp->listView, 0, 3, "");
    CheckForUpdates();
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(TemporaryFiles(), 0);
}

TEST_F(CatalogueWinTest, ProductTableSurvivesARestartByteForByte) {
    const std::string products =
        "[Products]\r\n"
        "1=;;3.0;2.9;Please update!;\r\n"
        "2=qj;QX Navigator;5.20;5.20;Updated at 01.02.2026  10:00;C:\\QX\\QXNav.exe\r\n"
        "3=qv;\"QX;Seek\";2.4;2.3;Please update!;\"C:\\Q;X\\QXSeek.exe\"\r\n";
    Settings("[QXUpdate]\r\nLanguage=US\r\n" + products + "[Edition]\r\nDefault=d\r\n*=2000\r\n");
    Start();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(Close());
    ASSERT_EQ(Flush(&gSettings), 0);
    EXPECT_EQ(Section(ReadFileText(settingsPath), "Products"), products);
}

TEST_F(CatalogueWinTest, EditionListOncePerYearAndWhenNoDefaultIsSet) {
    SysTime now;
    SysUtcTime(&now);
    std::string year = std::to_string(now.year), known = "\r\nd=Windows 32 bit\r\nw=Windows 64 bit\r\n";
    struct Case {
        const char* what;
        std::string edition; // the section's body
        int wow64;
        const char *name, *chosen, *asked64; // "d", "Default" and "64" afterwards
        int asked;
    } cases[] = {
        {"no default: downloaded, on 64-bit Windows the 64-bit edition, silently", "", 1, "Renamed", "w",
         "<none>", 0},
        {"this year's list: no download, the question asked", "Default=d\r\n*=" + year + known, 1,
         "Windows 32 bit", "d", "1", 1},
        {"last year's list: downloaded again, keeping the choice",
         "Default=d\r\n*=" + std::to_string(now.year - 1) + known, 0, "Renamed", "d", "<none>", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Serve("dw\\edi.txt", "dRenamed\r\nwRenamed 64\r\n");
        UseServer();
        gWow64 = c.wow64;
        Settings("[QXUpdate]\r\nLanguage=US\r\n" + (c.edition.empty() ? "" : "[Edition]\r\n" + c.edition));
        Start();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(SettingsValue("Edition", "d"), c.name);
        EXPECT_EQ(SettingsValue("Edition", "Default"), c.chosen);
        EXPECT_EQ(SettingsValue("Edition", "*"), year);
        EXPECT_EQ(SettingsValue("QXUpdate", "64"), c.asked64);
        EXPECT_EQ(gAsked, c.asked);
        ASSERT_TRUE(Close());
        TearDown();
        SetUp();
    }
}

} // namespace
