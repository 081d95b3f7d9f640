// The settings file dialect on in-memory text: lookups and edits. Whether an edit
// reports a change and keeps the untouched lines is left to the fuzz target.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "settings/ini.h"

TEST(IniLookup, FollowsTheDialectToTheByte) {
    const char* cases[][2] = {
        // a text, and the value of Key in [S] in it
        {"[s]\r\nKey=1\r\n", "<none>"},               // section names are case-sensitive
        {"[S]\r\nkey=1\r\n", "<none>"},               // and so are keys
        {"[S]\r\n  Key=1\r\n", "<none>"},             // leading spaces never match
        {"[S]\r\nKey  =   value   \r\n", "value   "}, // trailing spaces belong to the value
        {"[S]\r\nKey\t=1\r\n", "<none>"},             // a tab is no space
        {"[S]\r\nKeyX=1\r\nKey=2\r\n", "2"},          // a longer name is another key
        {"[S]\r\nKey=1\r\nKey=2\r\n", "1"},           // the first line wins
        {"[S] trailing words\r\nKey=1\r\n", "1"},     // the rest of a header line is ignored
        {"[S]\r\nA=1\r\n[S]\r\nKey=2\r\n", "<none>"}, // the first header wins
        {"[S]\r\n[broken\r\nKey=1\r\n", "<none>"},    // a '[' line ends the body
        {"[S\r\nKey=1\r\n", "<none>"},                // ... but is no header
        {"[S]\nA=1\n\n\nKey=x\n", "x"},               // LF and runs of line ends
        {"[S]\rKey=1\r", "1"},                        // CR only: the first header is found
        {"[T]\rB=2\r[S]\rKey=1\r", "<none>"},         // ... later ones are not
        {"[S]\r\nKey=1", "1"},                        // no line end at the end
        {"\xEF\xBB\xBF[S]\r\nKey=1\r\n", "1"},        // a header right after the byte order mark
        {"x[S]\r\nKey=1\r\n", "<none>"},
    };
    for (auto& c : cases) {
        size_t length;
        const char* value = IniFindValue(c[0], "S", "Key", &length);
        EXPECT_EQ(value ? std::string(value, length) : "<none>", c[1]) << c[0];
    }
}

TEST(IniEdit, WritesAndDeletesWhereTheDialectSays) {
    struct Case {
        char op; // 'w' writes Key=v, 'k' deletes Key, 's' deletes the section, all in [S]
        const char *before, *after;
    } cases[] = {
        {'w', "[S]\r\nKey = old  \r\nNext=1\r\n", "[S]\r\nKey = v\r\nNext=1\r\n"},
        {'w', "[S]\r\nKey=vv\r\n", "[S]\r\nKey=v\r\n"}, // a value cut to a prefix of itself
        // a new key goes to the end of the body, before the blank lines in front of the next header
        {'w', "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n", "[S]\r\nA=1\r\nKey=v\r\n\r\n[T]\r\nB=2\r\n"},
        {'w', "[S]\r\nA=1\r\n[T]\r\n", "[S]\r\nA=1\r\nKey=v\r\n[T]\r\n"},
        {'w', "[S]\r\nA=1", "[S]\r\nA=1\r\nKey=v\r\n"}, // the last line gets its line end first
        {'w', "[S]\r\nA=1\r\n\r\n", "[S]\r\nA=1\r\nKey=v\r\n\r\n"},
        // a body of blank lines only is shorter than five bytes: they stay in front
        {'w', "[S]\r\n\r\n[T]", "[S]\r\n\r\nKey=v\r\n[T]"},
        {'w', "[S]\r\n\r\n\r\n[T]\r\n", "[S]\r\n\r\n\r\nKey=v\r\n[T]\r\n"},
        {'w', "[S]\r\nx\r\n\r\n[T]", "[S]\r\nx\r\nKey=v\r\n\r\n[T]"},
        {'w', "[S]", "[S]\r\nKey=v\r\n"},
        // a missing section is appended after one blank line
        {'w', nullptr, "[S]\r\nKey=v\r\n"},
        {'w', "[A]\r\nx=1\r\n", "[A]\r\nx=1\r\n\r\n[S]\r\nKey=v\r\n"},
        {'w', "[A]\r\nx=1\r\n\r\n", "[A]\r\nx=1\r\n\r\n[S]\r\nKey=v\r\n"},
        {'w', "[A]\r\nx=1", "[A]\r\nx=1\r\n[S]\r\nKey=v\r\n"},
        {'k', "[S]\r\nA=1\r\nKey=2\r\n\r\nB=3\r\n", "[S]\r\nA=1\r\n\r\nB=3\r\n"},
        {'s', "[A]\r\na=1\r\n\r\n[S]\r\nx=1\r\n\r\n[B]\r\nb=2\r\n", "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n"},
        {'s', "[A]\r\na=1\r\n\r\n[S]\r\nx=1\r\n", "[A]\r\na=1\r\n\r\n"},
        {'s', "[S]\r\nx=1\r\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? c.before : "(null)");
        char* text = c.before ? strdup(c.before) : nullptr;
        if (c.op == 'w') IniWriteValue(&text, "S", "Key", "v");
        if (c.op == 'k') IniDeleteKey(&text, "S", "Key");
        if (c.op == 's') IniDeleteSection(&text, "S");
        EXPECT_STREQ(text, c.after);
        free(text);
    }
}
