// The catalogue's lines and the class and edition lists: the records and settings they give,
// and the 64-bit offer. Downloads are served from memory here. (Merging the catalogue into
// the table is tested with the row cache and end to end on Windows.)
#include <gtest/gtest.h>
#include <string.h>
#include <map>
#include <string>
#include "catalogue/catalogue.h"
#include "catalogue/lists.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "settings/store.h"
#include "support/testfiles.h"
#include "update/tempfiles.h"

namespace {

std::map<std::string, std::string> gServed; // the update server's files

long MapDownload(const char* relativePath, const char* localPath) {
    if (!gServed.count(relativePath)) return (long)0x800C0006;
    std::string folder = localPath;
    FsLocal()->CreateFolder(folder.substr(0, folder.find_last_of("\\/")).c_str());
    WriteFileText(localPath, gServed[relativePath]);
    return 0;
}

struct CatalogueTest : ::testing::Test {
    Store store = {};
    void SetUp() override {
        gServed.clear();
        gDownload = MapDownload;
        Settings("");
    }
    void TearDown() override {
        CloseStore(&store);
        gDownload = nullptr;
    }
    void Settings(const char* text) { // in memory only
        if (store.mutex) CloseStore(&store);
        OpenStore(&store, nullptr, STORE_NO_LOCATE);
        store.text = strdup(text);
    }
};

TEST(TextLines, SplitAtAnyRunOfLineEndsAndInPieces) {
    std::string text = "a\r\nb\rc\n\n\r\n" + std::string(1023, 'x') + "tail\n";
    std::string lines;
    ForEachLine(
        text.c_str(), [](const char* line, void* c) { return ((std::string*)c)->append(line) += '|', 0; },
        &lines);
    EXPECT_EQ(lines, "a|b|c|" + std::string(1023, 'x') + "|tail|");
}

TEST(CatalogueLines, BecomeRecords) {
    const struct {
        const char* line;
        const char* record; // code|version|name; NULL: no product
    } cases[] = {
        {"qj5.20 QX Navigator", "qj|5.20|QX Navigator"},
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

TEST_F(CatalogueTest, ClassListKeepsOldEntriesAndTheLastLineWins) {
    Settings("[Class]\r\nqv=OldSeekMain\r\nxx=Kept\r\n");
    // Codes that cannot be settings keys are skipped ('[' would end the section), as is "qv" alone.
    gServed["dw/cls.txt"] =
        "qjQXNavigatorMain\r\nqj=+\r\nqv\r\nqtTask Keeper Main \r\n[aBad\r\n b Bad\r\nq=Bad\r\n";
    RefreshClassList(&store);
    EXPECT_STREQ(store.text, "[Class]\r\nqv=OldSeekMain\r\nxx=Kept\r\nqj==+\r\nqt=Task Keeper Main \r\n");
}

TEST_F(CatalogueTest, EditionListIsRebuiltKeepingTheChoice) {
    SysTime now;
    SysUtcTime(&now);
    Settings("[Edition]\r\nDefault=q\r\nq=Gone\r\n");
    gServed["dw/edi.txt"] = "*2999 is the year's key\r\ndWindows 32 bit\r\nwWindows 64 bit\r\nx1\r\n";
    RefreshEditionList(&store); // the choice is kept though the list no longer names it
    EXPECT_EQ(store.text, "[Edition]\r\nd=Windows 32 bit\r\nw=Windows 64 bit\r\nDefault=q\r\n*=" +
                              std::to_string(now.year) + "\r\n");
    std::string before = store.text;
    gServed.clear();
    RefreshEditionList(&store); // a failed download changes nothing
    EXPECT_EQ(store.text, before);
}

int gWow64, gYes, gAsked;

TEST_F(CatalogueTest, SixtyFourBitEditionIsOfferedOnce) {
    EditionHost host = {[] { return gWow64; }, [](void*) { return gAsked++, gYes; }, nullptr};
    const struct {
        const char* what;
        const char* chosen; // of "d=Win 32" and "w=Win 64"
        int wow64, yes, asked;
        const char* after; // "Default" and the "64" key afterwards
    } cases[] = {
        {"No keeps the edition; asked once", "d", 1, 0, 1, "d 1"},
        {"Yes switches", "d", 1, 1, 1, "w 1"},
        {"32-bit Windows: nothing", "d", 0, 0, 0, "d <none>"},
        {"already a 64-bit edition", "w", 1, 0, 0, "w <none>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Settings(("[Edition]\r\nd=Win 32\r\nw=Windows, for processors of x 64\r\nDefault=" +
                  std::string(c.chosen) + "\r\n")
                     .c_str());
        gWow64 = c.wow64, gYes = c.yes, gAsked = 0;
        OfferWin64Edition(&store, 0, &host);
        OfferWin64Edition(&store, 0, &host);
        EXPECT_EQ(gAsked, c.asked);
        char chosen[8], key64[8];
        ReadValue(&store, "Edition", "Default", "", chosen, sizeof chosen);
        ReadValue(&store, "QXUpdate", "64", "<none>", key64, sizeof key64);
        EXPECT_EQ(std::string(chosen) + " " + key64, c.after);
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

// The folder is this run's own: made new, for its owner only. At exit its files go, but
// nothing of a folder that took its place through a link.
TEST(TempFiles, TheRunsFolderIsItsOwnAndNeverFollowedAtExit) {
    char folder[1024], again[1024];
    ASSERT_TRUE(ProgramTempFolder(folder, sizeof folder));
    ProgramTempFolder(again, sizeof again);
    std::string run(folder, strlen(folder) - 1), moved = run + ".moved";
    EXPECT_STREQ(folder, again);
    EXPECT_EQ(FsLocal()->CheckOwner(run.c_str()), 0);
    TempFolder temp;
    WriteFileText(temp / "victim.txt", "kept");
    // Windows holds it: it cannot be renamed away. Elsewhere it is checked again at the end.
    int e = FsLocal()->Move(run.c_str(), moved.c_str());
    if (e) {
        ASSERT_EQ(e, ERR_SHARING_VIOLATION);
    } else {
        ASSERT_TRUE(MakeFolderLink(temp.path, run));
    }
    DeleteProgramTempFolder();
    EXPECT_EQ(ReadFileText(temp / "victim.txt"), "kept");
    if (!e) RemoveLink(run), FsLocal()->Move(moved.c_str(), run.c_str());
}

} // namespace
