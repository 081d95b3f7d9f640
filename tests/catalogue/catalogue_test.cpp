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
        bool used;
        const char* code;
        const char* version;
        const char* name;
    } cases[] = {
        {"qj5.20 QX Navigator", true, "qj", "5.20", "QX Navigator"},
        {"qz1.0 Only  updates ", true, "qz", "1.0", "Only  updates "},
        {"qj5.20", false, "", "", ""},
        {"qj QX Navigator", true, "qj", "", "QX Navigator"},
        {"qv0123456789012345678901234567890123456789 QX Seek", true, "qv", "0123456789012345678901234567890",
         "QX Seek"},
        {"qv1 A name that is longer than thirty-one characters", true, "qv", "1",
         "A name that is longer than thir"},
        {"qd1 Gr\xFC\xDF"
         "e",
         true, "qd", "1",
         "Gr\xFC\xDF"
         "e"},
        // lines that cannot be a product: a blank or unprintable code, control characters
        {" j5.20 QX Navigator", false, "", "", ""},
        {"\x01\x02\x03 \x04", false, "", "", ""},
        {"q\xFC"
         "1 QX Navigator",
         false, "", "", ""},
        {"qj5.20 QX\tNavigator", false, "", "", ""},
        {"qj5.\x7F QX Navigator", false, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Product p;
        EXPECT_EQ(CatalogueLineToRecord(c.line, &p) != 0, c.used);
        if (!c.used) continue;
        EXPECT_STREQ(p.code, c.code);
        EXPECT_STREQ(p.actVersion, c.version);
        EXPECT_STREQ(p.name, c.name);
        EXPECT_STREQ(p.instVersion, "");
        EXPECT_STREQ(p.location, "");
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

struct Answers {
    int wow64;
    int yes;
    int asked = 0;
};

TEST_F(CatalogueTest, SixtyFourBitEditionIsOfferedOnce) {
    static Answers answers;
    EditionHost host = {[] { return answers.wow64; },
                        [](void*) {
                            answers.asked++;
                            return answers.yes;
                        },
                        nullptr};
    auto Reset = [&](const char* editions) {
        DeleteSection(&store, "Edition");
        DeleteKey(&store, "QXUpdate", "64");
        for (const char* p = editions; *p; p += strlen(p) + 1) {
            std::string entry = p;
            WriteText(&store, "Edition", entry.substr(0, entry.find('=')).c_str(),
                      entry.substr(entry.find('=') + 1).c_str());
        }
        answers = Answers{1, 0};
    };
    const char* editions = "Default=d\0*=2026\0d=Windows 32\0w=Windows 64\0";
    Reset(editions);
    OfferWin64Edition(&store, 0, &host); // asked once; No keeps d
    OfferWin64Edition(&store, 0, &host);
    EXPECT_EQ(answers.asked, 1);
    EXPECT_EQ(Value("Edition", "Default"), "d");
    EXPECT_EQ(Value("QXUpdate", "64"), "1");

    Reset(editions);
    answers.yes = 1;
    OfferWin64Edition(&store, 0, &host);
    EXPECT_EQ(Value("Edition", "Default"), "w");

    Reset(editions);
    answers.wow64 = 0; // 32-bit Windows: nothing
    OfferWin64Edition(&store, 0, &host);
    EXPECT_EQ(answers.asked, 0);
    EXPECT_EQ(Value("QXUpdate", "64"), "<none>");

    Reset(editions);
    OfferWin64Edition(&store, 1, &host); // forced: silent switch, no "64"
    EXPECT_EQ(answers.asked, 0);
    EXPECT_EQ(Value("Edition", "Default"), "w");
    EXPECT_EQ(Value("QXUpdate", "64"), "<none>");

    Reset("Default=w\0w=Windows 64\0");
    OfferWin64Edition(&store, 0, &host); // already a 64-bit edition
    EXPECT_EQ(answers.asked, 0);
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
