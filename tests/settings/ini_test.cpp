// The settings file dialect on in-memory text: lookups, edits and enumeration.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "settings/ini.h"

static std::string Find(const char* text, const char* section, const char* key) {
    size_t length;
    const char* value = IniFindValue(text, section, key, &length);
    return value ? std::string(value, length) : "<none>";
}

TEST(IniLookup, FollowsTheDialectToTheByte) {
    struct Case {
        const char* text;
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"[Products]\r\nKey=1\r\n", "Products", "Key", "1"},
        {"[products]\r\nKey=1\r\n", "Products", "Key", "<none>"}, // section names are case-sensitive
        {"[Products]\r\nkey=1\r\n", "Products", "Key", "<none>"}, // and so are keys
        {"[S]\r\n  Key=1\r\n", "S", "Key", "<none>"},             // leading spaces never match
        {"[S]\r\nKey  =   value\r\n", "S", "Key", "value"},       // spaces around '='
        {"[S]\r\nKey=value   \r\n", "S", "Key", "value   "},      // trailing spaces belong to the value
        {"[S]\r\nKey\t=1\r\n", "S", "Key", "<none>"},             // a tab is no space
        {"[S]\r\nKeyX=1\r\nKey=2\r\n", "S", "Key", "2"},          // a longer name is another key
        {"[S]\r\nKey=1\r\nKey=2\r\n", "S", "Key", "1"},           // the first line wins
        {"[S] trailing words\r\nKey=1\r\n", "S", "Key", "1"},     // the rest of a header line is ignored
        {"[S]\r\nA=1\r\n[S]\r\nB=2\r\n", "S", "B", "<none>"},     // the first header wins
        {"[S]\r\n[broken\r\nKey=1\r\n", "S", "Key", "<none>"},    // a '[' line ends the body
        {"[broken\r\nKey=1\r\n", "broken", "Key", "<none>"},      // ... but is no header
        {"[S]\nA=1\n\n\nKey=x\n", "S", "Key", "x"},               // LF and runs of line ends
        {"[S]\rKey=1\r[T]\rB=2\r", "S", "Key", "1"},              // CR only: the first header is found
        {"[S]\rKey=1\r[T]\rB=2\r", "T", "B", "<none>"},           // ... later ones are not
        {"[S]\r\nKey=\r\n", "S", "Key", ""},                      // an empty value is found
        {"[S]\r\nKey=1", "S", "Key", "1"},                        // no line end at the end
        {"; comment\r\n# other\r\n[S]\r\n;Key=0\r\nKey=1\r\n", "S", "Key", "1"},
        {"\xEF\xBB\xBF[S]\r\nKey=1\r\n", "S", "Key", "1"}, // a header right after the byte order mark
        {"x[S]\r\nKey=1\r\n", "S", "Key", "<none>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Find(c.text, c.section, c.key), c.expected);
    }
}

static std::string Edit(const char* before, int (*edit)(char**, const char*, const char*, const char*),
                        const char* section, const char* key, const char* value, int* changed = nullptr) {
    char* text = before ? strdup(before) : nullptr;
    int r = edit(&text, section, key, value);
    if (changed) *changed = r;
    std::string after = text ? text : "<null>";
    free(text);
    return after;
}

static int DeleteKeyEdit(char** text, const char* section, const char* key, const char*) {
    return IniDeleteKey(text, section, key);
}
static int DeleteSectionEdit(char** text, const char* section, const char*, const char*) {
    return IniDeleteSection(text, section);
}

TEST(IniWrite, ReplacesValuesInPlace) {
    struct Case {
        const char* before;
        const char* value;
        const char* after;
    } cases[] = {
        {"[S]\r\nKey = old  \r\nNext=1\r\n", "new", "[S]\r\nKey = new\r\nNext=1\r\n"},
        {"[S]\r\nKey=1\r\n", "a much longer value", "[S]\r\nKey=a much longer value\r\n"},
        {"[S]\nKey=1\n[T]\n", "22", "[S]\nKey=22\n[T]\n"},
        {"[S]\r\nKey=1", "2", "[S]\r\nKey=2"},
        {"[S]\r\nKey=\r\n", "v", "[S]\r\nKey=v\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        EXPECT_EQ(Edit(c.before, IniWriteValue, "S", "Key", c.value), c.after);
    }
    int changed = -2;
    EXPECT_EQ(Edit("[S]\r\nKey=same\r\n", IniWriteValue, "S", "Key", "same", &changed),
              "[S]\r\nKey=same\r\n");
    EXPECT_EQ(changed, 0);
}

TEST(IniWrite, InsertsNewKeysAtTheEndOfTheBody) {
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        // a blank line before the next header stays there
        {"[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n", "[S]\r\nA=1\r\nKey=v\r\n\r\n[T]\r\nB=2\r\n"},
        {"[S]\r\nA=1\r\n[T]\r\n", "[S]\r\nA=1\r\nKey=v\r\n[T]\r\n"},
        {"[S]\r\nA=1\r\n", "[S]\r\nA=1\r\nKey=v\r\n"},
        {"[S]\r\nA=1", "[S]\r\nA=1\r\nKey=v\r\n"}, // the last line gets its line end first
        {"[S]\r\nA=1\r\n\r\n", "[S]\r\nA=1\r\nKey=v\r\n\r\n"},
        // a body of blank lines only is shorter than five bytes: they stay in front
        {"[S]\r\n\r\n[T]", "[S]\r\n\r\nKey=v\r\n[T]"},
        {"[S]\r\n\r\n\r\n[T]\r\n", "[S]\r\n\r\n\r\nKey=v\r\n[T]\r\n"},
        {"[S]\r\nx\r\n\r\n[T]", "[S]\r\nx\r\nKey=v\r\n\r\n[T]"},
        {"[S]", "[S]\r\nKey=v\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        EXPECT_EQ(Edit(c.before, IniWriteValue, "S", "Key", "v"), c.after);
    }
}

TEST(IniWrite, AppendsMissingSections) {
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        {nullptr, "[S]\r\nKey=v\r\n"},
        {"", "[S]\r\nKey=v\r\n"},
        {"[A]\r\nx=1\r\n", "[A]\r\nx=1\r\n\r\n[S]\r\nKey=v\r\n"},
        {"[A]\r\nx=1\r\n\r\n", "[A]\r\nx=1\r\n\r\n[S]\r\nKey=v\r\n"},
        {"[A]\r\nx=1", "[A]\r\nx=1\r\n[S]\r\nKey=v\r\n"},
        {"[s]\r\nKey=1\r\n", "[s]\r\nKey=1\r\n\r\n[S]\r\nKey=v\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before ? c.before : "(null)");
        EXPECT_EQ(Edit(c.before, IniWriteValue, "S", "Key", "v"), c.after);
    }
}

TEST(IniDelete, RemovesKeyLinesAndWholeSections) {
    EXPECT_EQ(Edit("[S]\r\nA=1\r\nKey=2\r\n\r\nB=3\r\n", DeleteKeyEdit, "S", "Key", ""),
              "[S]\r\nA=1\r\n\r\nB=3\r\n");
    EXPECT_EQ(Edit("[S]\nKey=2\n\nB=3\n", DeleteKeyEdit, "S", "Key", ""), "[S]\n\nB=3\n");
    EXPECT_EQ(Edit("[S]\r\nKey=2", DeleteKeyEdit, "S", "Key", ""), "[S]\r\n");
    int changed = -2;
    EXPECT_EQ(Edit("[S]\r\nA=1\r\n", DeleteKeyEdit, "S", "Key", "", &changed), "[S]\r\nA=1\r\n");
    EXPECT_EQ(changed, 0);

    EXPECT_EQ(Edit("[A]\r\na=1\r\n\r\n[S]\r\nx=1\r\n\r\n[B]\r\nb=2\r\n", DeleteSectionEdit, "S", "", ""),
              "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n");
    EXPECT_EQ(Edit("[A]\r\na=1\r\n\r\n[S]\r\nx=1\r\n", DeleteSectionEdit, "S", "", ""), "[A]\r\na=1\r\n\r\n");
    EXPECT_EQ(Edit("[S]\r\nx=1\r\n", DeleteSectionEdit, "S", "", ""), "");
}

struct Entry {
    std::string name, value;
};

static int Collect(const char* name, const char* value, void* context) {
    auto* entries = static_cast<std::vector<Entry>*>(context);
    entries->push_back({name, value});
    return entries->size() == 100;
}

static int Throw(const char*, const char*, void*) {
    throw 1;
}

TEST(IniEnum, HandsOverUntrimmedNamesAndValues) {
    std::vector<Entry> entries;
    const char* text =
        "[E]\r\nDefault=d\r\n\r\nno equals sign\r\n=empty name\r\nw = Win 64 \r\n*=2026\r\n[F]\r\nx=1\r\n";
    EXPECT_EQ(IniEnumEntries(text, "E", Collect, &entries), 3);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "Default");
    EXPECT_EQ(entries[1].name, "w ");
    EXPECT_EQ(entries[1].value, " Win 64 ");
    EXPECT_EQ(entries[2].value, "2026");
    EXPECT_EQ(IniEnumEntries(text, "Missing", Collect, &entries), 0);
    EXPECT_EQ(IniEnumEntries(text, "E", Throw, nullptr), 0);
}

// Placements and desktop sizes go through these in the store tests; here what they miss.
TEST(IntList, StopsAtALineEndAndFormatsIntoABoundedBuffer) {
    int32_t v[5];
    EXPECT_EQ(ParseIntList("1,2\r3,4", v, 5), 2);
    EXPECT_EQ(ParseIntList("", v, 5), 0);
    char text[64];
    int32_t values[5] = {-32000, 5, 1024, 768, 1};
    FormatIntList(values, 5, 0, 0, text, sizeof text);
    EXPECT_STREQ(text, "4294935296,5,1024,768,1");
    FormatIntList(values, 5, 1, 0, text, 8);
    EXPECT_STREQ(text, "-32000,");
}
