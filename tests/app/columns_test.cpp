// The column layout read from the settings, and the tooltip texts. (Saving it and the
// round trip through the settings are tested with the main window.)
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "app/columns.h"
#include "app/tooltips.h"
#include "settings/store.h"
#include "settings/strings.h"
#include "support/testfiles.h"

namespace {

struct ColumnsTest : ::testing::Test {
    TempFolder folder;
    Store store = {};
    Column table[COLUMN_COUNT + 1];
    void Load(const std::string& settings, bool desktopChanged = false) {
        std::string path = folder / "cols.ini";
        WriteFileText(path, "[QXUpdate]\r\n" + settings);
        OpenStore(&store, path.c_str(), STORE_NO_LOCATE);
        if (desktopChanged) store.flags |= STORE_DESKTOP_CHANGED;
        memcpy(table, kDefaultColumns, sizeof table);
        LoadColumns(&store, table, "QXUpdate", 1);
    }
    void TearDown() override {
        if (store.mutex) CloseStore(&store);
    }
    std::string Layout() {
        std::string text;
        for (int n = 0; table[n].textId; n++)
            text += std::to_string(table[n].width) + "," + std::to_string(table[n].order) + " ";
        return text;
    }
};

TEST_F(ColumnsTest, ReadsWidthsAndOrdersUnlessTheDesktopChanged) {
    struct Case {
        const char* settings;
        const char* layout;
        bool desktopChanged = false;
    } cases[] = {
        {"", "150,0 50,1 50,2 100,3 -1,4 "},
        // on another desktop the defaults stay
        {"Col0=120,1\r\nCol1=70,0\r\n", "150,0 50,1 50,2 100,3 -1,4 ", true},
        {"Col0=120,1\r\nCol1=70,0\r\n", "120,1 70,0 50,2 100,3 -1,4 "},
        // no comma: order 0; with Col0 at order 0 too the check finds 0 and leaves both
        {"Col0=150,0\r\nCol1=80\r\n", "150,0 80,0 50,2 100,3 -1,4 "},
        // a width of 0 or less: the default, scaled; the order stays
        {"Col0=0,0\r\nCol4=-5,9\r\n", "150,0 50,1 50,2 100,3 -1,4 "},
        {"Col0=abc\r\n", "150,0 50,1 50,2 100,3 -1,4 "},
        // reading stops at the first missing key
        {"Col0=151,0\r\nCol2=99,2\r\n", "151,0 50,1 50,2 100,3 -1,4 "},
        // no order 0 anywhere: every column gets its index
        {"Col0=100,3\r\nCol1=100,4\r\n", "100,0 100,1 50,2 100,3 -1,4 "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        Load(c.settings, c.desktopChanged);
        std::string expected = c.layout;
        if (strstr(c.settings, "Col0=0,0"))
            expected = std::to_string(ScaleToScreen(150)) + expected.substr(3);
        EXPECT_EQ(Layout(), expected);
        CloseStore(&store);
    }
}

// The ';' and TAB rules are GetTipText's (tested with the string tables); tooltips add these.
TEST(ToolTips, CutAtTheEllipsisAndGiveNothingForIdZero) {
    static const StringRecord table[] = {{0, "XX"}, {1, "Test"}, {11, "&Open...;Opens"}, {0, nullptr}};
    Language saved = gLanguage;
    gLanguage.table = table;
    char out[80];
    GetToolTipText(11, out, sizeof out);
    EXPECT_STREQ(out, "Open");
    GetToolTipText(0, out, sizeof out);
    EXPECT_STREQ(out, "");
    gLanguage = saved;
}

} // namespace
