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

int gAsked, gWow64;

struct CatalogueWinTest : AppWindowTest {
    std::string site;
    EditionHost saved = gEditionHost;
    void SetUp() override {
        AppWindowTest::SetUp();
        site = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, ServerBaseUrl(site).c_str());
        gAsked = 0, gWow64 = 0;
        gEditionHost = {[] { return gWow64; }, [](void*) { return ++gAsked, 0; }, NULL};
    }
    void TearDown() override {
        AppWindowTest::TearDown();
        gEditionHost = saved;
    }
    void Serve(const char* path, const std::string& text) { ServeFile(site + "\\" + path, text); }
    void CheckForUpdates() {
        Command(CMD_SEARCH_UPDATES);
        EXPECT_EQ(gApp->busyCount, 1);
        ASSERT_TRUE(WaitIdle());
        Pump(50);
    }
};

TEST_F(CatalogueWinTest, F5TakesTheCatalogueAsTheServerHasItNow) {
    Serve("products.txt", "qj5.20 QX Navigator\r\nqv2.4 QX Seek\r\nqz9.9 QX Hidden\r\nqt3.1 QX Task "
                          "Keeper\r\nxj1.8 QX Draw\r\n");
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n");
    Start();
    ASSERT_TRUE(WaitIdle());
    CheckForUpdates();
    Lines rows = {"QX Draw|1.8|||#0", "QX Navigator|5.20|||#0", "QX Seek|2.4|||#0",
                  "QX Task Keeper|3.1|||#0"};
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(GetRowData(gApp->listView, 1), 0x6A7100u); // "qj" in the item data
    // The server's catalogue changes (it lets clients keep answers for an hour).
    Serve("products.txt", "qj5.30 QX Navigator\r\n");
    CheckForUpdates();
    rows[1] = "QX Navigator|5.30|||#0";
    EXPECT_EQ(Rows(), rows);
    // A catalogue cut short of its announced length ("qj5.30 ...", then "qv2.5 QX Se").
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, BadServerBaseUrl("short").c_str());
    CheckForUpdates();
    EXPECT_EQ(Rows(), rows);
    char temp[1024];
    ProgramTempFolder(temp, sizeof temp);
    int files = 0;
    FsLocal()->Enumerate(
        temp, [](const FsEntry*, void* c) { return ++*(int*)c, 0; }, &files);
    EXPECT_EQ(files, 0);
}

TEST_F(CatalogueWinTest, ProductTableSurvivesARestartByteForByte) {
    const std::string products =
        "[Products]\r\n"
        "1=;;3.0;2.9;Please update!;\r\n"
        "2=qj;QX Navigator;5.20;5.20;Updated at 01.02.2026  10:00;C:\\QX\\QXNav.exe\r\n"
        "3=qv;\"QX;Seek\";2.4;2.3;Please update!;\"C:\\Q;X\\QXSeek.exe\"\r\n";
    Settings("[QXUpdate]\r\nLanguage=US\r\n[Edition]\r\nDefault=d\r\n*=2000\r\n" + products);
    Start();
    ASSERT_TRUE(WaitIdle());
    ASSERT_TRUE(Close());
    ASSERT_EQ(Flush(&gSettings), 0);
    std::string saved = ReadFileText(settingsPath);
    ASSERT_GE(saved.size(), products.size());
    EXPECT_EQ(saved.substr(saved.size() - products.size()), products);
}

TEST_F(CatalogueWinTest, EditionListOncePerYearAndWhenNoDefaultIsSet) {
    SysTime now;
    SysUtcTime(&now);
    std::string year = std::to_string(now.year), known = "\r\nd=Windows 32 bit\r\nw=Windows 64 bit\r\n";
    const struct {
        const char* what;
        std::string edition; // the section's body
        int wow64;
        const char* after; // "d", "Default" and "64" afterwards, and the questions asked
    } cases[] = {
        {"no default: downloaded, on 64-bit Windows the 64-bit edition, silently", "", 1,
         "Renamed|w|<none>|0"},
        {"this year's list: no download, the question asked", "Default=d\r\n*=" + year + known, 1,
         "Windows 32 bit|d|1|1"},
        {"last year's list: downloaded again, keeping the choice",
         "Default=d\r\n*=" + std::to_string(now.year - 1) + known, 0, "Renamed|d|<none>|0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Serve("dw\\edi.txt", "dRenamed\r\nwRenamed 64\r\n");
        gWow64 = c.wow64;
        Settings("[QXUpdate]\r\nLanguage=US\r\n" + (c.edition.empty() ? "" : "[Edition]\r\n" + c.edition));
        Start();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(SettingsValue("Edition", "d") + "|" + SettingsValue("Edition", "Default") + "|" +
                      SettingsValue("QXUpdate", "64") + "|" + std::to_string(gAsked),
                  c.after);
        EXPECT_EQ(SettingsValue("Edition", "*"), year);
        ASSERT_TRUE(Close());
        TearDown();
        SetUp();
    }
}

} // namespace
