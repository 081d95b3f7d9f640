// The Product record and the Product table: one row per product offered by the catalogue
// or per installed copy found on the machine. A row's item data holds the product code in
// bits 8 to 31 (first character in bits 8 to 15) and the state nibble in bits 0 to 3.
// Between runs the table lives in the settings section "Products", one entry per row:
// code;name;actVersion;instVersion;state;location, a field with ';' or '"' in quotes that the
// reader takes back whole (see FormatProductEntry).
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "catalogue/rowstore.h"

struct Store;

struct Product {
    uint32_t image; // icon of a new row; every producer sets 0
    char code[4];
    char name[32];
    char actVersion[32];
    char instVersion[32];
    char state[1024];
    char location[1024];
};

enum { PRODUCT_ENTRY_SIZE = 2210, IMAGE_UPDATE_DUE = 4 };

#define PRODUCTS_SECTION "Products"

// Names that never enter the table, and the names that are normalised.
int IsExcludedProductName(const char* name);
void NormalizeProductName(char* name);

uint32_t CodeToRowData(const char* code);
void RowDataToCode(uint32_t data, char* code, size_t size);

void ReadProductRow(Product* record, const RowStore* rows, int index);
// Appends (index < 0) or updates a row; returns the row's index, or -1 for an excluded name.
int WriteProductRow(Product* record, const RowStore* rows, int index);
// Merges a record into every matching row; returns how many rows it updated.
int MergeProduct(Product* record, const RowStore* rows);
// Marks rows whose versions are both set and differ: icon 4 and "Please update!".
void MarkUpdatesDue(const RowStore* rows);

// Every field comes back whole from ParseProductEntry, except that CR and LF become spaces, and
// a field holding both '";' and "';" has its double quotes turned into single quotes.
void FormatProductEntry(const Product* record, char* out, size_t size);
void ParseProductEntry(const char* value, Product* record);
void SaveProductTable(const RowStore* rows, Store* store);
void LoadProductTable(const RowStore* rows, Store* store);
