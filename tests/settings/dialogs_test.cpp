// What the configuration dialog reads and the small commands show or open: the proxy
// fields, the help file walk, the home page and the product information text.
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>
#include "settings/about.h"
#include "settings/configuration.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/testfiles.h"

namespace {

struct DialogDataTest : ::testing::Test {
    TempFolder folder;
    Store store = {};
    void Open(const std::string& text) {
        std::string path = folder / "QXUpd.INI";
        WriteFileText(path, text);
        OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
    }
    void TearDown() override {
        if (store.mutex) CloseStore(&store);
    }
};

TEST(SystemProxyTest, FirstEntryHostAndPort) {
    struct Case {
        const char* value;
        const char* address;
        uint32_t port; // 7 when the port is left as it was
    } cases[] = {
        {"proxy.lan:3128", "proxy.lan", 3128},
        {"http=web.lan:8080;https=safe.lan:443;ftp=f.lan:21", "web.lan", 8080},
        {"proxy.lan", "", 7},
        {"http=web.lan;https=safe.lan:443", "", 7}, // the first entry has no port
        {"proxy.lan:65535", "proxy.lan", 65535},
        {"proxy.lan:65536", "proxy.lan", 0},
        {"proxy.lan:99999999999999999999", "proxy.lan", 0},
        {"proxy.lan:80x", "proxy.lan", 80},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        char address[64] = "old";
        uint32_t port = 7;
        ParseSystemProxy(c.value, address, sizeof address, &port);
        EXPECT_STREQ(address, c.address);
        EXPECT_EQ(port, c.port);
    }
}

const char* gSystemProxy;
int gSystemProxyReads;
int FakeSystemProxy(char* out, size_t size) {
    gSystemProxyReads++;
    if (!gSystemProxy) return 2;
    snprintf(out, size, "%s", gSystemProxy);
    return 0;
}

TEST_F(DialogDataTest, StoredProxyWinsAndPortZeroShowsDefault) {
    struct Case {
        const char* settings;
        const char* system; // NULL: no system proxy
        const char* address;
        uint32_t port;
        int reads;
    } cases[] = {
        {"[ProxyServer]\r\nAdr=mine.lan\r\nPort=0\r\n", "sys.lan:81", "mine.lan", 8000, 0},
        {"[ProxyServer]\r\nAdr=mine.lan\r\nPort=3128\r\n", "sys.lan:81", "mine.lan", 3128, 0},
        {"[ProxyServer]\r\nPort=3128\r\n", "http=sys.lan:81;ftp=f:21", "sys.lan", 81, 1},
        {"[ProxyServer]\r\nPort=3128\r\n", "sys.lan", "", 3128, 1},
        {"", NULL, "", 8000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        Open(c.settings);
        gSystemProxy = c.system;
        gSystemProxyReads = 0;
        ProxyFields fields;
        ReadProxyFields(&store, FakeSystemProxy, &fields);
        EXPECT_STREQ(fields.address, c.address);
        EXPECT_EQ(fields.port, c.port);
        EXPECT_EQ(gSystemProxyReads, c.reads);
        CloseStore(&store);
    }
}

std::string FileName(const char* path) {
    std::string s = path;
    return s.substr(s.find_last_of('\\') + 1);
}

struct FakeHelp {
    std::set<std::string> files;
    bool compiledOpens;
    std::vector<std::string> opened; // every open attempt, in order
};

TEST(HelpFileTest, LanguageBeforeKindAcrossPasses) {
    struct Case {
        const char* language;
        std::set<std::string> files;
        bool compiledOpens;
        std::vector<std::string> opened;
        int result;
    } cases[] = {
        {"DE", {"QXUpd_US.HLP"}, true, {"QXUpd_US.HLP"}, 1},
        {"DE", {"QXUpd_DE.HTM", "QXUpd_US.CHM"}, true, {"QXUpd_DE.HTM"}, 1},
        // A compiled help file without a window: the walk goes on.
        {"DE", {"QXUpd_DE.CHM", "QXUpd_DE.HTM"}, false, {"QXUpd_DE.CHM", "QXUpd_DE.HTM"}, 1},
        {"DE", {"QXUpd_DE.CHM", "QXUpd_US.HTM"}, false, {"QXUpd_DE.CHM", "QXUpd_DE.CHM", "QXUpd_US.HTM"}, 1},
        {"DE", {"QXUpdate_DE.HTM", "QXUpd_FR.HTM"}, true, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language + (" " + *c.files.begin()));
        FakeHelp help = {c.files, c.compiledOpens, {}};
        HelpOpener opener = {[](const char* path, void* context) {
                                 return (int)((FakeHelp*)context)->files.count(FileName(path));
                             },
                             [](const char* path, int kind, void* context) {
                                 FakeHelp* h = (FakeHelp*)context;
                                 h->opened.push_back(FileName(path));
                                 return kind != HELP_CHM || h->compiledOpens ? 1 : 0;
                             },
                             &help};
        EXPECT_EQ(OpenHelpFile("C:\\Corvan.ware\\QXUpdate.exe", c.language, &opener), c.result);
        EXPECT_EQ(help.opened, c.opened);
    }
}

TEST(HomepageTest, GermanPageOnGermanSystems) {
    char address[256];
    for (unsigned language : {1031u, 2055u, 1033u}) {
        SCOPED_TRACE(language);
        HomepageAddress("https://www.corvanware.com/", language, address, sizeof address);
        EXPECT_STREQ(address, language == 1033 ? "https://www.corvanware.com/up/e.htm"
                                               : "https://www.corvanware.com/up/d.htm");
    }
    HomepageAddress("http://127.0.0.1:8080\\site", 1033, address, sizeof address);
    EXPECT_STREQ(address, "http://127.0.0.1:8080/site/up/e.htm");
}

TEST(ProductInfoTest, FolderLinesOnlyForKnownFolders) {
    Language saved = gLanguage;
    gLanguage.table = FindLanguageTable("DE");
    const std::string head = "Corvanware - Updater\r\nVersion 2025 (9x)\r\n\r\n";
    struct Case {
        ProductFolders folders;
        const char* lines;
    } cases[] = {
        {{"C:\\P", "C:\\A\\Corvanware", "C:\\T", "C:\\P\\QXUpd.INI"},
         "\r\n%MY_PATH% - C:\\P\r\n%APPDATA% - C:\\A\\Corvanware\r\n%TEMP% - C:\\T\r\nINI - "
         "C:\\P\\QXUpd.INI"},
        {{"C:\\P", "", "", "C:\\P\\QXUpd.INI"}, "\r\n%MY_PATH% - C:\\P\r\nINI - C:\\P\\QXUpd.INI"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        char text[8192];
        FormatProductInfo("Corvanware - Updater", &c.folders, text, sizeof text);
        std::string s = text;
        EXPECT_EQ(s.substr(0, head.size()), head);
        size_t address = s.find("\r\n", head.size()); // the notice line
        address = s.find("\r\n", address + 2);        // the address line
        EXPECT_EQ(s.substr(address + 2), c.lines);
    }
    char caption[64];
    ProductInfoCaption(caption, sizeof caption);
    EXPECT_STREQ(caption, "Produktinformation");
    gLanguage = saved;
}

} // namespace
