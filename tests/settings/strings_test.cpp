// The built-in string tables and the text lookup rules.
#include <gtest/gtest.h>
#include <string>
#include "settings/store.h"
#include "settings/strings.h"
#include "support/testfiles.h"

namespace {

struct LanguageTest : ::testing::Test {
    Language saved = gLanguage;
    void TearDown() override { gLanguage = saved; }
    std::string Text(int id) {
        char out[1024];
        GetText(id, out, sizeof out);
        return out;
    }
    void Use(const char* code) { gLanguage.table = FindLanguageTable(code); }
};

TEST_F(LanguageTest, BothTablesHoldTheSameIdsInTheSameOrder) {
    const StringRecord* english = gLanguageSet.tables[0];
    const StringRecord* german = gLanguageSet.tables[1];
    EXPECT_EQ(gLanguageSet.tables[2], nullptr);
    EXPECT_STREQ(english[0].text, "US");
    EXPECT_EQ(english[0].id, 0);
    EXPECT_STREQ(german[0].text, "DE");
    EXPECT_EQ(german[0].id, 1253);
    int count = 0;
    for (int i = 1; english[i].id || german[i].id; i++, count++) {
        ASSERT_EQ(english[i].id, german[i].id) << "record " << i;
        ASSERT_NE(english[i].text, nullptr);
        ASSERT_NE(german[i].text, nullptr);
    }
    EXPECT_EQ(count, 38);
}

TEST_F(LanguageTest, TextsAreTheProgramsOwn) {
    // The typo, the Windows-1252 bytes and the trailing blanks are the program's own.
    struct Case {
        int id;
        const char* english;
        const char* german;
    } cases[] = {
        {103, "Seach for new updates", "Updates suchen"},
        {107, "Execute", "Ausf\xFChren"},
        {5201, "Full row select", "Ganze Zeile ausw\xE4hlen"},
        {7005, "Updated at ", "Aktualisiert am: "},
        {2003, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Use("US");
        EXPECT_EQ(Text(c.id), c.english);
        Use("de");
        EXPECT_EQ(Text(c.id), c.german);
    }
    EXPECT_EQ(Text(0), "");
    EXPECT_EQ(Text(4242), "");
    gLanguage.table = nullptr;
    EXPECT_EQ(Text(103), "");
}

TEST_F(LanguageTest, ShortAndTipTextsCutAndStrip) {
    static const StringRecord table[] = {
        {0, "XX"},        {1, "Test"},         {10, "&First;Second\\tTab;Third &part"},
        {11, "&One;Two"}, {12, "Col\\tumn&&"}, {13, "Tab\\tcut"},
        {0, nullptr},
    };
    gLanguage.table = table;
    EXPECT_EQ(Text(12), "Col\tumn&&");
    char out[64];
    GetTipText(10, out, sizeof out);
    EXPECT_STREQ(out, "Third part");
    GetTipText(11, out, sizeof out);
    EXPECT_STREQ(out, "One");
    GetShortText(10, out, sizeof out);
    EXPECT_STREQ(out, "First");
    GetShortText(13, out, sizeof out);
    EXPECT_STREQ(out, "Tab");
    GetText(10, out, 4);
    EXPECT_STREQ(out, "&Fi");
}

TEST_F(LanguageTest, ChoiceComesFromTheSettings) {
    TempFolder folder;
    struct Case {
        const char* stored;
        const char* language;
    } cases[] = {{"de", "DE"}, {"FR", "US"}, {"DEUTSCH", "US"}, {"US", "US"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        std::string path = folder / "lang.ini";
        std::string file = std::string("[QXUpdate]\r\nLanguage=") + c.stored + "\r\n";
        WriteFileText(path, file);
        Store store;
        OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
        gLanguage.code[0] = 0;
        ChooseLanguage(&store);
        EXPECT_STREQ(gLanguage.table[0].text, c.language);
        CloseStore(&store);
        EXPECT_EQ(ReadFileText(path), file); // the stored value is left as it is
    }
}

} // namespace
