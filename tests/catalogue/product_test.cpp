// The Product table's rules: merging, marking, its entries in the settings, and the cached
// row store a job works through.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "catalogue/catalogue.h"
#include "catalogue/product.h"
#include "catalogue/rowcache.h"
#include "platform/text.h"
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
    m.Add("QX Navigator", "5.10", "5.10", "C:\\A\\QXNav.exe", "qjn");
    m.Add("QX Navigator", "5.10", "5.00", "D:\\B\\QXNav.exe", "qjn");
    m.Add("QX Seek", "", "2.0", "C:\\Seek\\QXSeek.exe");
    m.Add("QX Task Keeper", "", "1.0", "C:\\TK\\QXTK.exe");
    Product catalogue = Record("qjn;QX Navigator;5.20"); // updates both copies
    EXPECT_EQ(MergeProduct(&catalogue, &m.store), 2);
    Product byName = Record("qs;qx seek;2.1"); // a row without a code matches by name
    EXPECT_EQ(MergeProduct(&byName, &m.store), 1);
    EXPECT_EQ(
        m.Lines(),
        (Lines{"qjn:QX Navigator|5.20|5.10||C:\\A\\QXNav.exe", "qjn:QX Navigator|5.20|5.00||D:\\B\\QXNav.exe",
               "qs:QX Seek|2.1|2.0||C:\\Seek\\QXSeek.exe", ":QX Task Keeper||1.0||C:\\TK\\QXTK.exe"}));
    Product otherCode = Record("qz;QX Navigator;9.9"); // rows with a code match by their code only
    EXPECT_EQ(MergeProduct(&otherCode, &m.store), 0);
    // The same folder found again (other letter case): merged, not added.
    Product same = Record(";QX Navigator;;5.11;;c:\\a\\qxnav.exe");
    EXPECT_EQ(MergeProduct(&same, &m.store), 1);
    EXPECT_EQ(m.Lines()[0], "qjn:QX Navigator|5.20|5.11||c:\\a\\qxnav.exe");
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
        const char* location = "C:\\QX";
    } cases[] = {
        {"qj", "QX Navigator", "qj;QX Navigator;5.20;5.20;;C:\\QX"},
        {"qj", "Odd;name", "qj;\"Odd;name\";5.20;5.20;;C:\\QX"},
        {"qj", "1\"2", "qj;\"1\"2\";5.20;5.20;;C:\\QX"},
        {"qj", "QX \"Navigator\"; Pro=1", "qj;'QX \"Navigator\"; Pro=1';5.20;5.20;;C:\\QX"},
        {"qj", "\"QX"},
        {"qj", "'QX"},
        {"qj", "a;'b\";"},
        {"qj", "a\";b';c", NULL, "a';b';c"}, // no quoting carries both
        {"qj", "a\r\nb", NULL, "a  b"},      // a line end would end the settings line
        {"qj", "QX", "qj;QX;5.20;5.20;;\"C:\\Q;X\"", NULL, "C:\\Q;X"}, // the last field, quoted
    };
    Open("");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Product p = Record("qj;;5.20;5.20;;");
        CopyText(p.location, sizeof p.location, c.location);
        CopyText(p.code, sizeof p.code, c.code);
        CopyText(p.name, sizeof p.name, c.name);
        MemoryRows saved, loaded;
        WriteProductRow(&p, &saved.store, -1);
        SaveProductTable(&saved.store, &store);
        std::string entry = store.text;
        EXPECT_EQ(entry, c.entry ? "[Products]\r\n1=" + std::string(c.entry) + "\r\n" : entry);
        LoadProductTable(&loaded.store, &store);
        std::string back =
            std::string(c.code) + ":" + (c.back ? c.back : c.name) + "|5.20|5.20||" + c.location;
        EXPECT_EQ(loaded.Lines(), Lines{back}) << entry;
    }
    EXPECT_STREQ(Record("abcdef;QX").code, "abc"); // a longer code in another copy's entry
}

TEST_F(ProductTest, TableSurvivesTheSettingsWithTheLanguagesStateRuleAndMarks) {
    Open("[Products]\r\n1=qj;QX Navigator;5.20;5.20;Updated at 01.02.2026  10:00;C:\\QX\\QXNav.exe\r\n"
         "2=qv;QX Seek;2.0;2.0;Download error;C:\\S\\QXSeek.exe\r\n3=\r\nx=;;3.0;2.9;;\r\n"
         "4=qv;QX Seek;2.0;2.00;Download error;C:\\S\\QXSeek.exe\r\n"
         // no catalogue line makes these: skipped, and gone at the next save
         "5=q\x01;Bin;1;2;;\r\n6=qvx;Three;1;2;;\r\n7=\" q\";Blank;1;2;;\r\n8=qv;Tab\there;1;2;;\r\n");
    LoadProductTable(&m.store, &store);
    EXPECT_EQ(
        m.Lines(),
        (Lines{":|3.0|2.9|Please update!|#4",
               "qj:QX Navigator|5.20|5.20|Updated at 01.02.2026  10:00|C:\\QX\\QXNav.exe",
               "qv:QX Seek|2.0|2.0||C:\\S\\QXSeek.exe",
               "qv:QX Seek|2.0|2.00|Please update!|C:\\S\\QXSeek.exe#4"})); // versions compare byte for byte
    MemoryRows german;
    gLanguage.table = FindLanguageTable("DE");
    LoadProductTable(&german.store, &store);
    EXPECT_EQ(german.rows[1].text[3], ""); // "Updated at " is not the German text
    SaveProductTable(&m.store, &store);
    EXPECT_EQ(std::string(store.text).find("\nx="), std::string::npos); // stale keys go
}

// What a detection pass does with a copy it finds: merge it, or give it a row of its own.
void Detect(const RowStore* rows, const char* entry) {
    Product p = Record(entry);
    if (MergeProduct(&p, rows) == 0) WriteProductRow(&p, rows, -1);
}

int gBatches;

// The cached row store: a job working through it leaves the table it would leave working on
// the rows directly (here m), and reads each row of the rows below it only once.
TEST_F(ProductTest, RowCacheLeavesTheTableOfTheDirectRows) {
    MemoryRows below;
    // The rows' own thread, as the list view's batch runs there: here, at once.
    below.store.Batch = [](void* context, RowWork work, void* argument) {
        gBatches++;
        RowStore rows = static_cast<MemoryRows*>(context)->store;
        rows.Batch = NULL;
        work(&rows, argument);
    };
    RowStore cached = OpenRowCache(&below.store);
    // One job on both tables: a catalogue on the empty table, then detected copies, which sort
    // in before the rows already there, and the marks.
    RowWork job = [](const RowStore* rows, void*) {
        MergeCatalogue(rows, "qt3.1 QX Task Keeper\r\nqj5.20 QX Navigator\r\nqa1.0 QX Able\r\n", 0);
        Detect(rows, ";QX Navigator;;5.10;;C:\\A\\QXNav.exe");
        Detect(rows, ";qx navigator;;5.20;;D:\\B\\QXNav.exe"); // a second copy
        Detect(rows, ";QX Aardvark;;1.0;;C:\\Aa\\QXAard.exe");
        Detect(rows, ";QXTaskKp;;3.1;;C:\\TK\\QXTaskKp.exe");
        MarkUpdatesDue(rows);
    };
    job(&m.store, NULL);
    BatchRows(&cached, job, NULL);
    EXPECT_EQ(below.Lines(), m.Lines());
    EXPECT_EQ(gBatches, 1);
    EXPECT_EQ(below.textReads, 0); // every row it holds was inserted through it

    // A job on the table as it now is reads each row once.
    CloseRowCache(&cached);
    below.textReads = 0;
    cached = OpenRowCache(&below.store);
    // A row without a code takes one: its item data is written through.
    const char* catalogue = "qj5.40 QX Navigator\r\nqt3.2 QX Task Keeper\r\nqa1.0 QX Aardvark\r\n";
    MergeCatalogue(&cached, catalogue, 6);
    MergeCatalogue(&m.store, catalogue, 6);
    EXPECT_EQ(below.Lines(), m.Lines());
    EXPECT_EQ(below.textReads, 5 * (int)below.rows.size());
    CloseRowCache(&cached);
}

} // namespace
