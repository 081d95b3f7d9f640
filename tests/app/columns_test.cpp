// The column layout read from the settings. (Saving it, the round trip and the layout
// written on another desktop are tested with the main window.)
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "app/columns.h"
#include "settings/store.h"

namespace {

TEST(Columns, ReadsWidthsAndOrders) {
    const struct {
        const char *settings, *layout;
    } cases[] = {
        {"Col0=120,1\r\nCol1=70,0\r\n", "120,1 70,0 50,2 100,3 -1,4 "},
        {"Col0=150,0\r\nCol1=80\r\n", "150,0 80,0 50,2 100,3 -1,4 "},     // no comma: order 0, found: kept
        {"Col0=abc\r\nCol1=-5,9\r\n", "150,0 50,1 50,2 100,3 -1,4 "},     // no width: the defaults (at 100%)
        {"Col0=151,0\r\nCol2=99,2\r\n", "151,0 50,1 50,2 100,3 -1,4 "},   // stops at the first missing key
        {"Col0=100,3\r\nCol1=100,4\r\n", "100,0 100,1 50,2 100,3 -1,4 "}, // no order 0: each its index
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings);
        Store store;
        OpenStore(&store, nullptr, STORE_NO_LOCATE);
        store.text = strdup((std::string("[QXUpdate]\r\n") + c.settings).c_str()); // in memory only
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
