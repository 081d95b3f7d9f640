// What the dialogs show and the small commands open: the built-in string tables and their
// lookup rules, the proxy fields, the help file walk, the home page and the product information.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include "settings/about.h"
#include "settings/configuration.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/testfiles.h"

namespace {

TEST(Strings, BothTablesHoldTheSameIdsInTheSameOrder) {
    const StringRecord *english = gLanguageSet.tables[0], *german = gLanguageSet.tables[1];
    for (int i = 1; english[i].id || german[i].id; i++)
        ASSERT_EQ(english[i].id, german[i].id) << "record " << i;
}

TEST(Strings, LookupExpandsTabsAndShortAndTipTextsCutAndStrip) {
    static const StringRecord table[] = {
        {0, "XX"},        {1, "Test"},         {10, "&First;Second\\tTab;Third &part"},
        {11, "&One;Two"}, {12, "Col\\tumn&&"}, {13, "Tab\\tcut"},
        {0, nullptr},
    };
    struct Case {
        void (*get)(int id, char* out, size_t size);
        int id;
        const char* expected;
    } cases[] = {
        {GetText, 12, "Col\tumn&&"}, {GetText, 0, ""}, // record 0 holds the language code, no text
        {GetText, 4242, ""},         {GetTipText, 10, "Third part"},
        {GetTipText, 11, "One"},     {GetShortText, 10, "First"},
        {GetShortText, 13, "Tab"},
    };
    Language saved = gLanguage;
    gLanguage.table = table;
    char out[64];
    for (const Case& c : cases) {
        c.get(c.id, out, sizeof out);
        EXPECT_STREQ(out, c.expected) << c.id;
    }
    GetText(10, out, 4);
    EXPECT_STREQ(out, "&Fi");
    gLanguage.table = FindLanguageTable("de"); // the program's own Windows-1252 bytes
    GetText(107, out, sizeof out);
    EXPECT_STREQ(out, "Ausf\xFChren");
    gLanguage.table = nullptr;
    GetText(107, out, sizeof out);
    EXPECT_STREQ(out, "");
    gLanguage = saved;
}

const char* gSystemProxy;

TEST(ProxyFields, StoredAddressElseTheSystemsFirstEntryAndPortZeroShowsTheDefault) {
    struct Case {
        const char *settings, *system, *address; // system NULL: none set
        uint32_t port;
    } cases[] = {
        {"[ProxyServer]\r\nAdr=mine.lan\r\nPort=0\r\n", "sys.lan:81", "mine.lan", 8000},
        {"[ProxyServer]\r\nPort=3128\r\n", "http=web.lan:8080;https=safe.lan:443;ftp=f.lan:21", "web.lan",
         8080},
        {"[ProxyServer]\r\nPort=3128\r\n", "sys.lan", "", 3128}, // no port: the stored one stays
        {"[ProxyServer]\r\nPort=3128\r\n", "http=web.lan;https=safe.lan:443", "", 3128},
        {"", "sys.lan:65535", "sys.lan", 65535},
        {"", "sys.lan:65536", "sys.lan", 8000}, // out of range
        {"", "sys.lan:80x", "sys.lan", 80},
        {"", nullptr, "", 8000},
    };
    TempFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.system ? c.system : "(none)");
        WriteFileText(folder / "QXUpd.INI", c.settings);
        Store store;
        OpenStore(&store, (folder / "QXUpd.INI").c_str(), STORE_NO_LOCATE);
        gSystemProxy = c.system;
        ProxyFields fields;
        auto system = [](char* out, size_t size) {
            snprintf(out, size, "%s", gSystemProxy ? gSystemProxy : "");
            return gSystemProxy ? 0 : 2;
        };
        ReadProxyFields(&store, system, &fields);
        EXPECT_STREQ(fields.address, c.address);
        EXPECT_EQ(fields.port, c.port);
        CloseStore(&store);
    }
}

std::string gOpened;

TEST(HelpFile, LanguageBeforeKindAcrossPasses) {
    struct Case {
        const char *files, *opened; // every open attempt, in order
        bool compiledOpens;
    } cases[] = {
        {"\\QXUpd_US.HLP", "\\QXUpd_US.HLP", true},
        {"\\QXUpd_DE.HTM\\QXUpd_US.CHM", "\\QXUpd_DE.HTM", true},
        // A compiled help file without a window: the walk goes on.
        {"\\QXUpd_DE.CHM\\QXUpd_DE.HTM", "\\QXUpd_DE.CHM\\QXUpd_DE.HTM", false},
        {"\\QXUpd_DE.CHM\\QXUpd_US.HTM", "\\QXUpd_DE.CHM\\QXUpd_DE.CHM\\QXUpd_US.HTM", false},
        {"\\QXUpdate_DE.HTM\\QXUpd_FR.HTM", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files);
        gOpened.clear();
        HelpOpener opener = {
            [](const char* path, void* c) { return strstr(((Case*)c)->files, strrchr(path, '\\')) ? 1 : 0; },
            [](const char* path, int kind, void* c) {
                gOpened += strrchr(path, '\\');
                return kind != HELP_CHM || ((Case*)c)->compiledOpens ? 1 : 0;
            },
            (void*)&c};
        EXPECT_EQ(OpenHelpFile("C:\\Corvan.ware\\QXUpdate.exe", "DE", &opener), c.opened[0] != 0);
        EXPECT_EQ(gOpened, c.opened);
    }
}

TEST(Homepage, GermanPageOnGermanSystems) {
    char address[256];
    HomepageAddress("https://www.corvanware.com/", 2055, address, sizeof address);
    EXPECT_STREQ(address, "https://www.corvanware.com/up/d.htm");
    HomepageAddress("http://127.0.0.1:8080\\site", 1033, address, sizeof address);
    EXPECT_STREQ(address, "http://127.0.0.1:8080/site/up/e.htm");
}

TEST(ProductInfo, FolderLinesOnlyForKnownFolders) {
    Language saved = gLanguage;
    gLanguage.table = FindLanguageTable("DE");
    ProductFolders folders = {"C:\\P", "", "C:\\T", "C:\\P\\QXUpd.INI"};
    char text[8192];
    FormatProductInfo("Corvanware - Updater", &folders, text, sizeof text);
    std::string s = text;
    // the notice and address lines, a blank line, the folders
    EXPECT_EQ(s.substr(s.find("\r\n\r\n%")),
              "\r\n\r\n%MY_PATH% - C:\\P\r\n%TEMP% - C:\\T\r\nINI - C:\\P\\QXUpd.INI");
    ProductInfoCaption(text, sizeof text); // the menu text without "&" and "..."
    EXPECT_STREQ(text, "Produktinformation");
    gLanguage = saved;
}

} // namespace
