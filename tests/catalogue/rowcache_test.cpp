// The cached row store: a job working through it leaves the table it would leave working
// on the rows directly, and reads each row of the rows below it only once.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "catalogue/catalogue.h"
#include "catalogue/rowcache.h"
#include "settings/strings.h"
#include "support/memoryrows.h"

namespace {

// What a detection pass does with a copy it finds (a settings entry): merge it, or give it a
// row of its own.
void Detect(const RowStore* rows, const char* entry) {
    Product p;
    ParseProductEntry(entry, &p);
    if (MergeProduct(&p, rows) == 0) WriteProductRow(&p, rows, -1);
}

std::vector<std::string> Table(const MemoryRows& m) {
    std::vector<std::string> lines = m.Lines();
    for (size_t i = 0; i < lines.size(); i++)
        lines[i] += "#" + std::to_string(m.rows[i].image) + "#" + std::to_string(m.rows[i].data);
    return lines;
}

int gTextReads, gBatches;
void (*gGetText)(void*, int, int, char*, size_t);

TEST(RowCache, LeavesTheTableOfTheDirectRows) {
    Language saved = gLanguage;
    gLanguage.table = FindLanguageTable("US");
    MemoryRows direct, below;
    gGetText = below.store.GetText;
    below.store.GetText = [](void* context, int row, int column, char* out, size_t size) {
        gTextReads++;
        gGetText(context, row, column, out, size);
    };
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
    job(&direct.store, NULL);
    BatchRows(&cached, job, NULL);
    EXPECT_EQ(Table(below), Table(direct));
    EXPECT_EQ(gBatches, 1);
    EXPECT_EQ(gTextReads, 0); // every row it holds was inserted through it

    // A job on the table as it now is reads each row once.
    CloseRowCache(&cached);
    gTextReads = 0;
    cached = OpenRowCache(&below.store);
    // A row without a code takes one: its item data is written through.
    const char* catalogue = "qj5.40 QX Navigator\r\nqt3.2 QX Task Keeper\r\nqa1.0 QX Aardvark\r\n";
    MergeCatalogue(&cached, catalogue, 6);
    MergeCatalogue(&direct.store, catalogue, 6);
    EXPECT_EQ(Table(below), Table(direct));
    EXPECT_EQ(gTextReads, 5 * (int)below.rows.size());
    CloseRowCache(&cached);
    gLanguage = saved;
}

} // namespace
