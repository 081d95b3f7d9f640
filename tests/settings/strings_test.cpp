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
    for (int i = 1; english[i].id || german[i].id; i++)
        ASSERT_EQ(english[i].id, german[i].id) << "record " << i;
}

TEST_F(LanguageTest, TextsAreTheProgramsOwn) {
    // The Windows-1252 bytes and the trailing blanks are the program's own.
    struct Case {
        int id;
        const char* english;
        const char* german;
    } cases[] = {{107, "Execute", "Ausf\xFChren"},
                 {7005, "Updated at ", "Aktualisiert am: "},
                 {0, "", ""},
                 {4242, "", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Use("US");
        EXPECT_EQ(Text(c.id), c.english);
        Use("de");
        EXPECT_EQ(Text(c.id), c.german);
    }
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
    } cases[] = {{"de", "DE"}, {"DEUTSCH", "US"}};
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
