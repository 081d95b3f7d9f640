// The catalogue and the class and edition lists: line parsing, merging into the table,
// the settings they leave, and the 64-bit offer. Downloads come from a folder here.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "catalogue/catalogue.h"
#include "catalogue/lists.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/memoryrows.h"
#include "support/testfiles.h"
#include "update/tempfiles.h"

namespace {

using Lines = std::vector<std::string>;

std::string gServer;                  // folder standing in for the update server
std::vector<std::string> gDownloaded; // the temporary files downloads went to

long FolderDownload(const char* relativePath, const char* localPath) {
    std::string text = ReadFileText(gServer + "/" + relativePath), folder = localPath;
    if (text == "<missing>") return (long)0x800C0006;
    FsLocal()->CreateFolder(folder.substr(0, folder.find_last_of("\\/")).c_str());
    WriteFileText(localPath, text);
    gDownloaded.push_back(localPath);
    return 0;
}

struct CatalogueTest : ::testing::Test {
    TempFolder folder;
    MemoryRows m;
    Store store = {};
    Language saved = gLanguage;
    void SetUp() override {
        gServer = folder.path;
        gDownloaded.clear();
        gDownload = FolderDownload;
        gLanguage.table = FindLanguageTable("US");
        FsLocal()->CreateFolder((folder / "dw").c_str());
        OpenStore(&store, (folder / "s.ini").c_str(), STORE_NO_LOCATE);
    }
    void TearDown() override {
        CloseStore(&store);
        gDownload = nullptr;
        gLanguage = saved;
        for (const std::string& path : gDownloaded)
            EXPECT_FALSE(FileExists(path)) << "temporary file left: " << path;
    }
    void Serve(const char* path, const std::string& text) { WriteFileText(folder / path, text); }
    std::string Value(const char* section, const char* key) {
        char value[1024];
        ReadValue(&store, section, key, "<none>", value, sizeof value);
        return value;
    }
};

TEST(TextLines, SplitAtAnyRunOfLineEndsAndInPieces) {
    std::string text = "a\r\nb\rc\n\n\r\n" + std::string(1023, 'x') + "tail\n";
    Lines lines;
    ForEachLine(
        text.c_str(), [](const char* line, void* c) { return static_cast<Lines*>(c)->push_back(line), 0; },
        &lines);
    EXPECT_EQ(lines, (Lines{"a", "b", "c", std::string(1023, 'x'), "tail"}));
}

TEST(CatalogueLines, BecomeRecords) {
    const struct {
        const char* line;
        const char* record; // code|version|name; NULL: no product
    } cases[] = {
        {"qj5.20 QX Navigator", "qj|5.20|QX Navigator"},
        {"qz1.0 Only  updates ", "qz|1.0|Only  updates "},
        {"qj5.20", NULL},
        {"qj QX Navigator", "qj||QX Navigator"},
        {"qv0123456789012345678901234567890123456789 QX Seek", "qv|0123456789012345678901234567890|QX Seek"},
        {"qv1 A name that is longer than thirty-one characters", "qv|1|A name that is longer than thir"},
        {"qd1 Gr\xFC\xDFs", "qd|1|Gr\xFC\xDFs"},
        // lines that cannot be a product: a blank or unprintable code, control characters
        {" j5.20 QX Navigator", NULL},
        {"q\xFCx QX Navigator", NULL},
        {"qj5.20 QX\tNavigator", NULL},
        {"qj5.\x7F QX Navigator", NULL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Product p;
        EXPECT_EQ(CatalogueLineToRecord(c.line, &p) != 0, c.record != NULL);
        EXPECT_EQ(std::string(p.code) + "|" + p.actVersion + "|" + p.name, c.record ? c.record : "||");
    }
}

TEST_F(CatalogueTest, DetectedRowIsOnlyUpdated) {
    m.Add("QX Navigator", "", "5.10", "C:\\QX\\QXNav.exe");
    Serve("products.txt", "qj5.20 qx navigator\r\nqv2.4 QX Seek\r\nqz9.9 QX Navigator\r\n");
    RefreshCatalogue(&m.store);
    // The qz line matches by name only after the row got the code qj: it changes nothing.
    EXPECT_EQ(m.Lines(), (Lines{"qj:QX Navigator|5.20|5.10|Please update!|C:\\QX\\QXNav.exe"}));
}

TEST_F(CatalogueTest, ClassListKeepsOldEntriesAndTheLastLineWins) {
    WriteText(&store, "Class", "qv", "OldSeekMain");
    WriteText(&store, "Class", "xx", "Kept");
    // Codes that cannot be settings keys are skipped: a '[' line would end the section.
    Serve("dw/cls.txt",
          "qjQXNavigatorMain\r\nqj+\r\nqv\r\nqtTask Keeper Main \r\n[aBad\r\n b Bad\r\nq=Bad\r\n");
    RefreshClassList(&store);
    // "qv" alone (two characters) is skipped: the old entry stays.
    EXPECT_EQ(store.text,
              std::string("[Class]\r\nqv=OldSeekMain\r\nxx=Kept\r\nqj=+\r\nqt=Task Keeper Main \r\n"));
}

TEST_F(CatalogueTest, EditionListIsRebuiltKeepingTheChoice) {
    SysTime now;
    SysUtcTime(&now);
    WriteText(&store, "Edition", "Default", "q");
    WriteText(&store, "Edition", "q", "Gone");
    Serve("dw/edi.txt", "dWindows 32 bit\r\nwWindows 64 bit\r\nx1\r\n");
    RefreshEditionList(&store);
    EXPECT_EQ(Value("Edition", "Default"), "q"); // kept though the list no longer names it
    EXPECT_EQ(Value("Edition", "q") + "," + Value("Edition", "w") + "," + Value("Edition", "x"),
              "<none>,Windows 64 bit,<none>");
    EXPECT_EQ(Value("Edition", "*"), std::to_string(now.year));
    WriteText(&store, "Edition", "*", "1999");
    FsLocal()->Delete((folder / "dw/edi.txt").c_str());
    RefreshEditionList(&store); // a failed download changes nothing
    EXPECT_EQ(Value("Edition", "*"), "1999");
}

int gWow64, gYes, gAsked;

TEST_F(CatalogueTest, SixtyFourBitEditionIsOfferedOnce) {
    EditionHost host = {[] { return gWow64; }, [](void*) { return gAsked++, gYes; }, nullptr};
    const struct {
        const char* what;
        const char* editions; // the edition list: its first letter is the choice
        int wow64, yes, force, asked;
        const char *chosen, *asked64; // "Default" and the "64" key afterwards
    } cases[] = {
        {"No keeps the edition; asked once", "dWin 32\nwWin 64\n", 1, 0, 0, 1, "d", "1"},
        {"Yes switches", "dWin 32\nwWin 64\n", 1, 1, 0, 1, "w", "1"},
        {"32-bit Windows: nothing", "dWin 32\nwWin 64\n", 0, 0, 0, 0, "d", "<none>"},
        {"forced: a silent switch", "dWin 32\nwWin 64\n", 1, 0, 1, 0, "w", "<none>"},
        {"already a 64-bit edition", "wWin 64\ndWin 32\n", 1, 0, 0, 0, "w", "<none>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteKey(&store, "QXUpdate", "64");
        DeleteSection(&store, "Edition");
        StoreEditionList(&store, c.editions, 2026);
        gWow64 = c.wow64, gYes = c.yes, gAsked = 0;
        OfferWin64Edition(&store, c.force, &host);
        OfferWin64Edition(&store, c.force, &host);
        EXPECT_EQ(gAsked, c.asked);
        EXPECT_EQ(Value("Edition", "Default") + " " + Value("QXUpdate", "64"),
                  std::string(c.chosen) + " " + c.asked64);
    }
}

TEST(TempFiles, NamesCountUpUntilOneIsFree) {
    char folder[1024], first[1024] = "", second[1024] = "";
    ASSERT_TRUE(ProgramTempFolder(folder, sizeof folder));
    std::string base(folder);
    EXPECT_EQ(MakeTempFileName("", first, sizeof first), 1u);
    EXPECT_EQ(std::string(first), base + "1");
    FsLocal()->CreateFolder(base.substr(0, base.size() - 1).c_str());
    WriteFileText(first, "x");
    EXPECT_EQ(MakeTempFileName("", second, sizeof second), 2u);
    EXPECT_EQ(std::string(second), base + "2");
    FsLocal()->Delete(first);
}

} // namespace
