// The built-in string tables and the text lookup rules.
#include <gtest/gtest.h>
#include "settings/strings.h"

TEST(Strings, BothTablesHoldTheSameIdsInTheSameOrder) {
    const StringRecord* english = gLanguageSet.tables[0];
    const StringRecord* german = gLanguageSet.tables[1];
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
