// The catalogue and the class and edition lists: line parsing, merging into the table,
// the settings they leave, and the 64-bit offer. Downloads come from a folder here.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
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
    std::string from = gServer + "/" + relativePath;
    if (!FileExists(from)) return (long)0x800C0006;
    std::string folder = localPath;
    FsLocal()->CreateFolder(folder.substr(0, folder.find_last_of("\\/")).c_str());
    WriteFileText(localPath, ReadFileText(from));
    gDownloaded.push_back(localPath);
    return 0;
}

std::vector<std::string> Split(const char* text) {
    std::vector<std::string> lines;
    ForEachLine(
        text,
        [](const char* line, void* context) {
            static_cast<std::vector<std::string>*>(context)->push_back(line);
            return 0;
        },
        &lines);
    return lines;
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
        std::string settings = folder / "s.ini";
        OpenStore(&store, settings.c_str(), STORE_NO_LOCATE);
    }
    void TearDown() override {
        CloseStore(&store);
        gDownload = nullptr;
        gLanguage = saved;
    }
    void Serve(const char* path, const std::string& text) { WriteFileText(folder / path, text); }
    std::string Value(const char* section, const char* key) {
        char value[1024];
        ReadValue(&store, section, key, "<none>", value, sizeof value);
        return value;
    }
    void ExpectTemporaryFilesGone() {
        for (const std::string& path : gDownloaded)
            EXPECT_FALSE(FileExists(path)) << path;
    }
};

TEST(TextLines, SplitAtAnyRunOfLineEndsAndInPieces) {
    EXPECT_EQ(Split("a\r\nb\rc\n\n\r\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(Split("\r\n\r\n"), Lines{});
    std::string longLine(1023, 'x');
    longLine += "tail";
    EXPECT_EQ(Split((longLine + "\nnext").c_str()), (Lines{std::string(1023, 'x'), "tail", "next"}));
}

TEST(CatalogueLines, BecomeRecords) {
    struct Case {
        const char* line;
        const char* record; // code|version|name|installed|location; NULL: no product
    } cases[] = {
        {"qj5.20 QX Navigator", "qj|5.20|QX Navigator||"},
        {"qz1.0 Only  updates ", "qz|1.0|Only  updates ||"},
        {"qj5.20", NULL},
        {"qj QX Navigator", "qj||QX Navigator||"},
        {"qv0123456789012345678901234567890123456789 QX Seek",
         "qv|0123456789012345678901234567890|QX Seek||"},
        {"qv1 A name that is longer than thirty-one characters", "qv|1|A name that is longer than thir||"},
        {"qd1 Gr\xFC\xDF"
         "e",
         "qd|1|Gr\xFC\xDF"
         "e||"},
        // lines that cannot be a product: a blank or unprintable code, control characters
        {" j5.20 QX Navigator", NULL},
        {"q\xFC"
         "1 QX Navigator",
         NULL},
        {"qj5.20 QX\tNavigator", NULL},
        {"qj5.\x7F QX Navigator", NULL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Product p;
        ASSERT_EQ(CatalogueLineToRecord(c.line, &p) != 0, c.record != NULL);
        if (!c.record) continue;
        EXPECT_EQ(std::string(p.code) + "|" + p.actVersion + "|" + p.name + "|" + p.instVersion + "|" +
                      p.location,
                  c.record);
    }
}

TEST_F(CatalogueTest, EmptyTableTakesTheCatalogueButNotQz) {
    Serve("products.txt", "qj5.20 QX Navigator\r\nqv2.4 QX Seek\r\n\r\nqz9.9 Hidden\nqt3.1 QX Task "
                          "Keeper\rqa1.0 QX Alpha\r\nno-space\r\n");
    RefreshCatalogue(&m.store);
    EXPECT_EQ(m.Lines(), (Lines{"qa:QX Alpha|1.0|||", "qj:QX Navigator|5.20|||", "qv:QX Seek|2.4|||",
                                "qt:QX Task Keeper|3.1|||"}));
    EXPECT_EQ(m.fitted, (std::vector<int>{0}));
    ExpectTemporaryFilesGone();
}

TEST_F(CatalogueTest, DetectedRowIsOnlyUpdated) {
    m.Add("QX Navigator", "", "5.10", "C:\\QX\\QXNav.exe");
    Serve("products.txt", "qj5.20 qx navigator\r\nqv2.4 QX Seek\r\nqz9.9 QX Navigator\r\n");
    RefreshCatalogue(&m.store);
    // The qz line matches by name only after the row got the code qj: it changes nothing.
    EXPECT_EQ(m.Lines(), (Lines{"qj:QX Navigator|5.20|5.10|Please update!|C:\\QX\\QXNav.exe"}));
}

TEST_F(CatalogueTest, FailedDownloadOnlyMarks) {
    m.Add("QX Navigator", "5.20", "5.10", "C:\\QX\\QXNav.exe", "qj");
    RefreshCatalogue(&m.store); // no products.txt on the server
    EXPECT_EQ(m.Lines(), (Lines{"qj:QX Navigator|5.20|5.10|Please update!|C:\\QX\\QXNav.exe"}));
    EXPECT_TRUE(m.fitted.empty());
    gDownload = nullptr;
    MemoryRows empty;
    RefreshCatalogue(&empty.store);
    EXPECT_TRUE(empty.rows.empty());
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
    ExpectTemporaryFilesGone();
}

TEST_F(CatalogueTest, EditionListIsRebuiltKeepingTheChoice) {
    SysTime now;
    SysUtcTime(&now);
    Serve("dw/edi.txt", "dWindows 32 bit\r\nwWindows 64 bit\r\nx1\r\n");
    RefreshEditionList(&store); // no default yet: the first edition
    EXPECT_EQ(Value("Edition", "Default"), "d");
    EXPECT_EQ(Value("Edition", "w"), "Windows 64 bit");
    EXPECT_EQ(Value("Edition", "x"), "<none>");
    EXPECT_EQ(Value("Edition", "*"), std::to_string(now.year));
    WriteText(&store, "Edition", "Default", "q");
    WriteText(&store, "Edition", "q", "Gone");
    RefreshEditionList(&store);
    EXPECT_EQ(Value("Edition", "Default"), "q"); // kept though the list no longer names it
    EXPECT_EQ(Value("Edition", "q"), "<none>");

    WriteText(&store, "Edition", "*", "1999");
    FsLocal()->Delete((folder / "dw/edi.txt").c_str());
    RefreshEditionList(&store); // a failed download changes nothing
    EXPECT_EQ(Value("Edition", "*"), "1999");
}

TEST_F(CatalogueTest, StartUpDownloadsOncePerYearAndWhenNoDefaultIsSet) {
    SysTime now;
    SysUtcTime(&now);
    EXPECT_EQ(EditionStartAction(&store), EDITION_JOB_FORCED);
    WriteText(&store, "Edition", "Default", "d");
    EXPECT_EQ(EditionStartAction(&store), EDITION_JOB);
    WriteInt(&store, "Edition", "*", (uint32_t)now.year - 1);
    EXPECT_EQ(EditionStartAction(&store), EDITION_JOB);
    WriteInt(&store, "Edition", "*", (uint32_t)now.year);
    EXPECT_EQ(EditionStartAction(&store), EDITION_OFFER_NOW);
}

int gWow64, gYes, gAsked;

TEST_F(CatalogueTest, SixtyFourBitEditionIsOfferedOnce) {
    EditionHost host = {[] { return gWow64; }, [](void*) { return gAsked++, gYes; }, nullptr};
    const char* kBoth = "Default=d\n*=2026\nd=Windows 32\nw=Windows 64\n";
    struct Case {
        const char* what;
        const char* editions;
        int wow64, yes, force, asked;
        const char* chosen;
        const char* asked64; // the "64" key: asked before
    } cases[] = {
        {"No keeps the edition; asked once", kBoth, 1, 0, 0, 1, "d", "1"},
        {"Yes switches", kBoth, 1, 1, 0, 1, "w", "1"},
        {"32-bit Windows: nothing", kBoth, 0, 0, 0, 0, "d", "<none>"},
        {"forced: a silent switch", kBoth, 1, 0, 1, 0, "w", "<none>"},
        {"already a 64-bit edition", "Default=w\nw=Windows 64\n", 1, 0, 0, 0, "w", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteSection(&store, "Edition");
        DeleteKey(&store, "QXUpdate", "64");
        for (std::string entry : Split(c.editions))
            WriteText(&store, "Edition", entry.substr(0, entry.find('=')).c_str(),
                      entry.substr(entry.find('=') + 1).c_str());
        gWow64 = c.wow64, gYes = c.yes, gAsked = 0;
        OfferWin64Edition(&store, c.force, &host);
        OfferWin64Edition(&store, c.force, &host);
        EXPECT_EQ(gAsked, c.asked);
        EXPECT_EQ(Value("Edition", "Default"), c.chosen);
        if (c.asked64) {
            EXPECT_EQ(Value("QXUpdate", "64"), c.asked64);
        }
    }
}

TEST(TempFiles, NamesCountUpUntilOneIsFree) {
    char folder[1024];
    ProgramTempFolder(folder, sizeof folder);
    ASSERT_TRUE(folder[0]);
    std::string base(folder);
    char first[1024] = "", second[1024] = "";
    EXPECT_EQ(MakeTempFileName("", first, sizeof first), 1u);
    EXPECT_EQ(MakeTempFileName("", second, sizeof second), 1u); // nothing created in between
    EXPECT_EQ(std::string(first), base + "1");
    FsLocal()->CreateFolder(base.substr(0, base.size() - 1).c_str());
    WriteFileText(first, "x");
    second[0] = 0;
    EXPECT_EQ(MakeTempFileName("", second, sizeof second), 2u);
    EXPECT_EQ(std::string(second), base + "2");
    char named[1024] = "";
    EXPECT_EQ(MakeTempFileName("C:\\any\\pkg.bin", named, sizeof named), 1u);
    EXPECT_EQ(std::string(named), base + "pkg.bin");
    FsLocal()->Delete(first);
}

} // namespace
