// Loading and saving the list's column layout.
#include "app/columns.h"
#include <stdlib.h>
#include <string.h>
#include "platform/text.h"
#include "settings/store.h"
#include "settings/strings.h"

const Column kDefaultColumns[COLUMN_COUNT + 1] = {
    {TEXT_COLUMN_PRODUCT, 150, 0, 0},         {TEXT_COLUMN_ACT_VERSION, 50, 1, 0},
    {TEXT_COLUMN_INST_VERSION, 50, 2, 0},     {TEXT_COLUMN_STATE, 100, 3, 0},
    {TEXT_COLUMN_LOCATION, WIDTH_REST, 4, 0}, {0, 0, 0, 0},
};

Column gColumns[COLUMN_COUNT + 1] = {
    {TEXT_COLUMN_PRODUCT, 150, 0, 0},         {TEXT_COLUMN_ACT_VERSION, 50, 1, 0},
    {TEXT_COLUMN_INST_VERSION, 50, 2, 0},     {TEXT_COLUMN_STATE, 100, 3, 0},
    {TEXT_COLUMN_LOCATION, WIDTH_REST, 4, 0}, {0, 0, 0, 0},
};

static int ColumnCount(const Column* table) {
    int n = 0;
    while (table[n].textId)
        n++;
    return n;
}

void LoadColumns(Store* store, Column* table, const char* section, int checkOrder) {
    int count = ColumnCount(table);
    if (!DesktopChanged(store)) {
        int read = 0;
        for (int n = 0; n < count; n++) {
            char key[16], value[64];
            FormatText(key, sizeof key, "Col%ld", (long)n);
            ReadValue(store, section, key, NULL, value, sizeof value);
            if (!value[0]) break;
            read++;
            long width = strtol(value, NULL, 10);
            if (width > 0) {
                const char* comma = strchr(value, ',');
                table[n].width = (int32_t)width;
                table[n].order = comma ? (int32_t)strtol(comma + 1, NULL, 10) : 0;
            } else {
                // The special widths (rest, half) stay special. The table's own default (the
                // program's is scaled to the display) is the least width.
                int32_t standard = n < COLUMN_COUNT ? kDefaultColumns[n].width : table[n].width;
                int32_t scaled = standard > 0 ? ScaleToScreen(standard) : standard;
                table[n].width = scaled > 0 && table[n].width > scaled ? table[n].width : scaled;
            }
        }
        if (read == 0 && count > 0) {
            if (table[0].order < 0) table[0].order = 0;
            if (table[0].width <= 10) table[0].width = 100;
        }
    }
    if (checkOrder) {
        for (int value = 0; value <= count; value++) {
            int found = 0;
            for (int n = 0; n < count && !found; n++)
                found = table[n].order == value;
            if (found) continue;
            if (value == 0)
                for (int n = 0; n < count; n++)
                    table[n].order = n;
            break;
        }
    } else {
        for (int n = 0; n < count; n++)
            table[n].order = n;
    }
}

void SaveColumns(Store* store, const Column* table, const char* section) {
    for (int n = 0; table[n].textId; n++) {
        char key[16], value[32];
        FormatText(key, sizeof key, "Col%ld", (long)n);
        FormatText(value, sizeof value, "%ld,%ld", (long)table[n].width, (long)table[n].order);
        WriteText(store, section, key, value);
    }
}
