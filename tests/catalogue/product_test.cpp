// The Product table's rules: merging, marking, and its entries in the settings.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "catalogue/product.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/memoryrows.h"
#include "support/testfiles.h"

namespace {

using Lines = std::vector<std::string>;

Product Record(const char* code, const char* name, const char* act, const char* inst = "",
               const char* location = "") {
    Product p;
    memset(&p, 0, sizeof p);
    strcpy(p.code, code);
    strcpy(p.name, name);
    strcpy(p.actVersion, act);
    strcpy(p.instVersion, inst);
    strcpy(p.location, location);
    return p;
}

struct ProductTest : ::testing::Test {
    MemoryRows m;
    Language saved = gLanguage;
    void SetUp() override { gLanguage.table = FindLanguageTable("US"); }
    void TearDown() override { gLanguage = saved; }
};

TEST_F(ProductTest, WritingRowsNormalisesExcludesAndKeepsTheProductColumn) {
    for (const char* name : {"QX Ledger", "qx ledger", "QX HOST WATCH SERVER", "Corvanware - Updater"}) {
        Product p = Record("qj", name, "1.0");
        EXPECT_EQ(WriteProductRow(&p, &m.store, -1), -1) << name;
    }
    Product p = Record("", "QXTASKKP", "", "3.1", "C:\\QX\\QXTaskKp.exe");
    int row = WriteProductRow(&p, &m.store, -1);
    Product q = Record("qv", "QX Navigator Win.32", "5.20");
    WriteProductRow(&q, &m.store, -1);
    EXPECT_EQ(m.Lines(), (Lines{"qv:QX Navigator|5.20|||", ":QX Task Keeper||3.1||C:\\QX\\QXTaskKp.exe"}));

    row = 1;
    m.rows[row].data |= 3; // a state nibble
    Product update = Record("tk", "Other name", "3.2", "", "");
    WriteProductRow(&update, &m.store, row); // a row without a code takes the code, nibble cleared
    EXPECT_EQ(m.rows[row].data, CodeToRowData("tk"));
    EXPECT_EQ(m.Lines()[row], "tk:QX Task Keeper|3.2|||");
    Product again = Record("zz", "", "3.3");
    WriteProductRow(&again, &m.store, row); // a row with a code keeps it
    EXPECT_EQ(m.rows[row].data, CodeToRowData("tk"));
}

TEST_F(ProductTest, MergeFollowsCodesNamesAndLocations) {
    m.Add("QX Navigator", "5.10", "5.10", "C:\\A\\QXNav.exe", "qj");
    m.Add("QX Navigator", "5.10", "5.00", "D:\\B\\QXNav.exe", "qj");
    m.Add("QX Seek", "", "2.0", "C:\\Seek\\QXSeek.exe");
    m.Add("QX Task Keeper", "", "1.0", "C:\\TK\\QXTK.exe");

    Product catalogue = Record("qj", "QX Navigator", "5.20"); // updates both copies
    EXPECT_EQ(MergeProduct(&catalogue, &m.store), 2);
    Product byName = Record("qs", "qx seek", "2.1"); // a row without a code matches by name
    EXPECT_EQ(MergeProduct(&byName, &m.store), 1);
    EXPECT_EQ(
        m.Lines(),
        (Lines{"qj:QX Navigator|5.20|5.10||C:\\A\\QXNav.exe", "qj:QX Navigator|5.20|5.00||D:\\B\\QXNav.exe",
               "qs:QX Seek|2.1|2.0||C:\\Seek\\QXSeek.exe", ":QX Task Keeper||1.0||C:\\TK\\QXTK.exe"}));

    // A detected copy at a third folder: no row changes; the record takes code and version.
    Product copy = Record("", "QX Navigator", "", "5.30", "E:\\C\\QXNav.exe");
    EXPECT_EQ(MergeProduct(&copy, &m.store), 0);
    EXPECT_STREQ(copy.code, "qj");
    EXPECT_STREQ(copy.actVersion, "5.20");
    // The same folder found again (other letter case): merged, not added.
    Product same = Record("", "QX Navigator", "", "5.11", "c:\\a\\qxnav.exe");
    EXPECT_EQ(MergeProduct(&same, &m.store), 1);
    EXPECT_EQ(m.Lines()[0], "qj:QX Navigator|5.20|5.11||c:\\a\\qxnav.exe");
    // Two records without codes match whatever their names.
    Product nameless = Record("", "Something else", "", "9.9", "");
    EXPECT_EQ(MergeProduct(&nameless, &m.store), 1);
    EXPECT_EQ(m.Lines()[3], ":QX Task Keeper||9.9||C:\\TK\\QXTK.exe");
}

TEST_F(ProductTest, MarkingComparesVersionsByteForByte) {
    m.Add("A", "2.0", "2.0", "");
    m.Add("B", "2.0", "2.00", "");
    m.Add("C", "1.10", "1.9", "");
    m.Add("D", "", "1.0", "");
    m.Add("E", "1.0", "", "");
    m.rows[3].text[3] = "Download error";
    MarkUpdatesDue(&m.store);
    std::vector<int> images;
    std::vector<std::string> states;
    for (const MemoryRow& r : m.rows)
        images.push_back(r.image), states.push_back(r.text[3]);
    EXPECT_EQ(images, (std::vector<int>{0, 4, 4, 0, 0}));
    EXPECT_EQ(states, (Lines{"", "Please update!", "Please update!", "Download error", ""}));
}

TEST_F(ProductTest, AwkwardFieldsSurviveSavingAndLoading) {
    enum { CODE, NAME, VERSIONS, STATE, LOCATION };
    struct Case {
        int field;
        const char* value;
        const char* back;         // NULL: the value itself
        const char* entry = NULL; // the stored form, where other copies rely on it
    } cases[] = {
        {NAME, "QX Navigator", NULL, "qj;QX Navigator;5.20;5.20;;C:\\QX\\QXNav.exe"},
        {NAME, "Odd;name", NULL, "qj;\"Odd;name\";5.20;5.20;;C:\\QX\\QXNav.exe"},
        {VERSIONS, "1\"2", NULL, "qj;QX Navigator;\"1\"2\";\"1\"2\";;C:\\QX\\QXNav.exe"},
        {NAME, "QX \"Navigator\"; Pro=1", NULL, "qj;'QX \"Navigator\"; Pro=1';5.20;5.20;;C:\\QX\\QXNav.exe"},
        {NAME, "\"QX", NULL},
        {NAME, "\"", NULL},
        {NAME, "'", NULL},
        {NAME, "a;'b\";", NULL},
        {NAME, "a\";b';c", "a';b';c"}, // no quoting carries both
        {NAME, "a\r\nb", "a  b"},      // a line end would end the settings line
        {CODE, "';", NULL},
        // The settings file drops spaces in front of a value.
        {CODE, " q", NULL, "\" q\";QX Navigator;5.20;5.20;;C:\\QX\\QXNav.exe"},
        {STATE, "Updated at \"x\";", NULL},
        {LOCATION, "'C:\\Q;X\\QX.exe", NULL},
    };
    TempFolder folder;
    std::string path = folder / "p.ini";
    Store store;
    OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        Product p = Record("qj", "QX Navigator", "5.20", "5.20", "C:\\QX\\QXNav.exe");
        Product expected = p;
        const char* back = c.back ? c.back : c.value;
        char* fields[] = {p.code, p.name, p.actVersion, p.state, p.location};
        char* expectedFields[] = {expected.code, expected.name, expected.actVersion, expected.state,
                                  expected.location};
        strcpy(fields[c.field], c.value);
        strcpy(expectedFields[c.field], back);
        if (c.field == VERSIONS) strcpy(p.instVersion, c.value), strcpy(expected.instVersion, back);
        MemoryRows saved, loaded, wanted;
        WriteProductRow(&p, &saved.store, -1);
        WriteProductRow(&expected, &wanted.store, -1);
        SaveProductTable(&saved.store, &store);
        char entry[PRODUCT_ENTRY_SIZE];
        ReadValue(&store, "Products", "1", "", entry, sizeof entry);
        if (c.entry) {
            EXPECT_STREQ(entry, c.entry);
        }
        LoadProductTable(&loaded.store, &store);
        EXPECT_EQ(loaded.Lines(), wanted.Lines()) << entry;
    }
    CloseStore(&store);

    Product p;
    ParseProductEntry("abcdef;'single; quoted';1\r\nignored", &p);
    EXPECT_STREQ(p.code, "abc");
    EXPECT_STREQ(p.name, "single; quoted");
    EXPECT_STREQ(p.actVersion, "1");
    EXPECT_STREQ(p.instVersion, "");
}

TEST_F(ProductTest, TableSurvivesTheSettingsWithTheLanguagesStateRule) {
    TempFolder folder;
    std::string path = folder / "p.ini";
    WriteFileText(path, "[Products]\r\n"
                        "1=qj;QX Navigator;5.20;5.20;Updated at 01.02.2026  10:00;C:\\QX\\QXNav.exe\r\n"
                        "2=qv;QX Seek;2.0;2.0;Download error;C:\\S\\QXSeek.exe\r\n"
                        "3=\r\n"
                        "x=;;3.0;2.9;;\r\n"
                        "4=qv;QX Seek;2.0;2.0;Download error;C:\\S\\QXSeek.exe\r\n");
    Store store;
    OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
    LoadProductTable(&m.store, &store);
    EXPECT_EQ(m.Lines(),
              (Lines{":|3.0|2.9|Please update!|",
                     "qj:QX Navigator|5.20|5.20|Updated at 01.02.2026  10:00|C:\\QX\\QXNav.exe",
                     "qv:QX Seek|2.0|2.0||C:\\S\\QXSeek.exe", "qv:QX Seek|2.0|2.0||C:\\S\\QXSeek.exe"}));
    MemoryRows german;
    gLanguage.table = FindLanguageTable("DE");
    LoadProductTable(&german.store, &store);
    EXPECT_EQ(german.rows[1].text[3], ""); // "Updated at " is not the German text

    gLanguage.table = FindLanguageTable("US");
    m.rows[1].text[3] = "Updated at 02.02.2026  11:00";
    SaveProductTable(&m.store, &store);
    char value[256];
    ReadValue(&store, "Products", "2", "", value, sizeof value);
    EXPECT_STREQ(value, "qj;QX Navigator;5.20;5.20;Updated at 02.02.2026  11:00;C:\\QX\\QXNav.exe");
    EXPECT_EQ(ReadValue(&store, "Products", "x", NULL, value, sizeof value), 1);
    EXPECT_EQ(ReadValue(&store, "Products", "5", NULL, value, sizeof value), 1);
    CloseStore(&store);
}

} // namespace
