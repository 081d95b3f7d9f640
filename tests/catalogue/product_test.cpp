// The Product table's rules: merging, marking, and its entries in the settings.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "catalogue/product.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/memoryrows.h"

namespace {

using Lines = std::vector<std::string>;

// A record from its settings entry: "code;name;act;inst;state;location".
Product Record(const char* entry) {
    Product p;
    ParseProductEntry(entry, &p);
    return p;
}

struct ProductTest : ::testing::Test {
    MemoryRows m;
    Store store = {};
    Language saved = gLanguage;
    void SetUp() override { gLanguage.table = FindLanguageTable("US"); }
    void TearDown() override {
        gLanguage = saved;
        if (store.mutex) CloseStore(&store);
    }
    void Open(const char* settings) { // in memory only
        OpenStore(&store, nullptr, STORE_NO_LOCATE);
        store.text = strdup(settings);
    }
};

TEST_F(ProductTest, WritingRowsNormalisesAndKeepsTheProductColumnAndCode) {
    Product p = Record(";QXTASKKP;;3.1;;C:\\QX\\QXTaskKp.exe");
    int row = WriteProductRow(&p, &m.store, -1);
    m.rows[row].data |= 3; // a state nibble
    Product update = Record("tk;Other name;3.2"), again = Record("zz;;3.3");
    WriteProductRow(&update, &m.store, row); // a row without a code takes the code, nibble cleared
    EXPECT_EQ(m.Lines(), Lines{"tk:QX Task Keeper|3.2|||"});
    EXPECT_EQ(m.rows[0].data, CodeToRowData("tk"));
    WriteProductRow(&again, &m.store, row); // a row with a code keeps it
    EXPECT_EQ(m.rows[0].data, CodeToRowData("tk"));
}

TEST_F(ProductTest, MergeFollowsCodesNamesAndLocations) {
    m.Add("QX Navigator", "5.10", "5.10", "C:\\A\\QXNav.exe", "qj");
    m.Add("QX Navigator", "5.10", "5.00", "D:\\B\\QXNav.exe", "qj");
    m.Add("QX Seek", "", "2.0", "C:\\Seek\\QXSeek.exe");
    m.Add("QX Task Keeper", "", "1.0", "C:\\TK\\QXTK.exe");
    Product catalogue = Record("qj;QX Navigator;5.20"); // updates both copies
    EXPECT_EQ(MergeProduct(&catalogue, &m.store), 2);
    Product byName = Record("qs;qx seek;2.1"); // a row without a code matches by name
    EXPECT_EQ(MergeProduct(&byName, &m.store), 1);
    EXPECT_EQ(
        m.Lines(),
        (Lines{"qj:QX Navigator|5.20|5.10||C:\\A\\QXNav.exe", "qj:QX Navigator|5.20|5.00||D:\\B\\QXNav.exe",
               "qs:QX Seek|2.1|2.0||C:\\Seek\\QXSeek.exe", ":QX Task Keeper||1.0||C:\\TK\\QXTK.exe"}));
    Product otherCode = Record("qz;QX Navigator;9.9"); // rows with a code match by their code only
    EXPECT_EQ(MergeProduct(&otherCode, &m.store), 0);
    // The same folder found again (other letter case): merged, not added.
    Product same = Record(";QX Navigator;;5.11;;c:\\a\\qxnav.exe");
    EXPECT_EQ(MergeProduct(&same, &m.store), 1);
    EXPECT_EQ(m.Lines()[0], "qj:QX Navigator|5.20|5.11||c:\\a\\qxnav.exe");
    // Two records without codes match whatever their names.
    Product nameless = Record(";Something else;;9.9");
    EXPECT_EQ(MergeProduct(&nameless, &m.store), 1);
    EXPECT_EQ(m.Lines()[3], ":QX Task Keeper||9.9||C:\\TK\\QXTK.exe");
}

TEST_F(ProductTest, AwkwardFieldsSurviveSavingAndLoading) {
    const struct {
        const char *code, *name;
        const char* entry; // the stored form, where other copies rely on it
        const char* back;  // NULL: the name itself
    } cases[] = {
        {"qj", "QX Navigator", "qj;QX Navigator;5.20;5.20;;C:\\QX"},
        {"qj", "Odd;name", "qj;\"Odd;name\";5.20;5.20;;C:\\QX"},
        {"qj", "1\"2", "qj;\"1\"2\";5.20;5.20;;C:\\QX"},
        {"qj", "QX \"Navigator\"; Pro=1", "qj;'QX \"Navigator\"; Pro=1';5.20;5.20;;C:\\QX"},
        {" q", "QX", "\" q\";QX;5.20;5.20;;C:\\QX"}, // the settings drop a blank in front of a value
        {"qj", "\"QX"},
        {"qj", "'QX"},
        {"qj", "a;'b\";"},
        {"qj", "a\";b';c", NULL, "a';b';c"}, // no quoting carries both
        {"qj", "a\r\nb", NULL, "a  b"},      // a line end would end the settings line
    };
    Open("");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Product p = Record("qj;;5.20;5.20;;C:\\QX");
        strcpy(p.code, c.code);
        strcpy(p.name, c.name);
        MemoryRows saved, loaded;
        WriteProductRow(&p, &saved.store, -1);
        SaveProductTable(&saved.store, &store);
        char entry[PRODUCT_ENTRY_SIZE];
        ReadValue(&store, "Products", "1", "", entry, sizeof entry);
        EXPECT_STREQ(entry, c.entry ? c.entry : entry);
        LoadProductTable(&loaded.store, &store);
        std::string back = std::string(c.code) + ":" + (c.back ? c.back : c.name) + "|5.20|5.20||C:\\QX";
        EXPECT_EQ(loaded.Lines(), Lines{back}) << entry;
    }
    EXPECT_STREQ(Record("abcdef;QX").code, "abc"); // a longer code in another copy's entry
}

TEST_F(ProductTest, TableSurvivesTheSettingsWithTheLanguagesStateRuleAndMarks) {
    Open("[Products]\r\n1=qj;QX Navigator;5.20;5.20;Updated at 01.02.2026  10:00;C:\\QX\\QXNav.exe\r\n"
         "2=qv;QX Seek;2.0;2.0;Download error;C:\\S\\QXSeek.exe\r\n3=\r\nx=;;3.0;2.9;;\r\n"
         "4=qv;QX Seek;2.0;2.00;Download error;C:\\S\\QXSeek.exe\r\n");
    LoadProductTable(&m.store, &store);
    EXPECT_EQ(
        m.Lines(),
        (Lines{":|3.0|2.9|Please update!|",
               "qj:QX Navigator|5.20|5.20|Updated at 01.02.2026  10:00|C:\\QX\\QXNav.exe",
               "qv:QX Seek|2.0|2.0||C:\\S\\QXSeek.exe",
               "qv:QX Seek|2.0|2.00|Please update!|C:\\S\\QXSeek.exe"})); // versions compare byte for byte
    MemoryRows german;
    gLanguage.table = FindLanguageTable("DE");
    LoadProductTable(&german.store, &store);
    EXPECT_EQ(german.rows[1].text[3], ""); // "Updated at " is not the German text
    SaveProductTable(&m.store, &store);
    char value[256];
    EXPECT_EQ(ReadValue(&store, "Products", "x", NULL, value, sizeof value), 1); // stale keys go
    EXPECT_EQ(ReadValue(&store, "Products", "5", NULL, value, sizeof value), 1);
}

} // namespace
