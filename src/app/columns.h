// The product list's columns: their text ids, widths, display orders and alignment, kept
// between runs as "Col0" to "Col4" in the program section of the settings.
#pragma once
#include <stdint.h>

struct Store;

struct Column {
    uint16_t textId; // 0 ends the table
    int32_t width;   // -1: the rest of the width; -2: half of it
    int32_t order;   // below 0: the column is hidden
    uint16_t align;  // the list's column format: 0 left, 1 right, 2 centre
};

enum { COLUMN_COUNT = 5, WIDTH_REST = -1, WIDTH_HALF = -2 };

// The built-in defaults (Product, Act.Version, Inst.Version, State, Location), zero-terminated.
extern const Column kDefaultColumns[COLUMN_COUNT + 1];
// The program's column table.
extern Column gColumns[COLUMN_COUNT + 1];

void LoadColumns(Store* store, Column* table, const char* section, int checkOrder);
void SaveColumns(Store* store, const Column* table, const char* section);
