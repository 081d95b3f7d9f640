// The column layout read from the settings. (Saving it, the round trip and the layout
// written on another desktop are tested with the main window.)
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "app/columns.h"
#include "settings/store.h"
#include "support/testfiles.h"

namespace {

TEST(Columns, ReadsWidthsAndOrders) {
    const struct {
        const char* settings;
        const char* layout;
    } cases[] = {
        {"", "150,0 50,1 50,2 100,3 -1,4 "},
        {"Col0=120,1\r\nCol1=70,0\r\n", "120,1 70,0 50,2 100,3 -1,4 "},
        // no comma: order 0; with Col0 at order 0 too the check finds 0 and leaves both
        {"Col0=150,0\r\nCol1=80\r\n", "150,0 80,0 50,2 100,3 -1,4 "},
        // no width above 0: the default width (scaled, at 100% here) and the default order
        {"Col0=abc\r\nCol1=-5,9\r\n", "150,0 50,1 50,2 100,3 -1,4 "},
        // reading stops at the first missing key
        {"Col0=151,0\r\nCol2=99,2\r\n", "151,0 50,1 50,2 100,3 -1,4 "},
        // no order 0 anywhere: every column gets its index
        {"Col0=100,3\r\nCol1=100,4\r\n", "100,0 100,1 50,2 100,3 -1,4 "},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        WriteFileText(folder / "cols.ini", std::string("[QXUpdate]\r\n") + c.settings);
        Store store;
        OpenStore(&store, (folder / "cols.ini").c_str(), STORE_NO_LOCATE);
        Column table[COLUMN_COUNT + 1];
        memcpy(table, kDefaultColumns, sizeof table);
        LoadColumns(&store, table, "QXUpdate", 1);
        CloseStore(&store);
        std::string layout;
        for (int n = 0; table[n].textId; n++)
            layout += std::to_string(table[n].width) + "," + std::to_string(table[n].order) + " ";
        EXPECT_EQ(layout, c.layout);
    }
}

} // namespace
