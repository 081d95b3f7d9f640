// A row store: the table of operations through which the Product table's logic reads and
// writes rows. On Windows the rows are those of the product list view; tests use a store
// in memory that sorts like the list view. Columns: 0 Product, 1 Act.Version,
// 2 Inst.Version, 3 State, 4 Location.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Row states (the low four bits of a row's item data, mirrored as its icon).
enum { ROW_NONE = 0, ROW_IN_PROGRESS = 1, ROW_ERROR = 2, ROW_DONE = 3, ROW_STOPPED = 4 };

enum { COL_PRODUCT = 0, COL_ACT_VERSION = 1, COL_INST_VERSION = 2, COL_STATE = 3, COL_LOCATION = 4 };

struct RowStore;
typedef void (*RowWork)(const RowStore* rows, void* argument);

struct RowStore {
    void* context;
    int (*Count)(void* context);
    // Appends a row; the store sorts it in by its Product text. Returns its index, or -1.
    int (*Insert)(void* context, const char* name, int image, uint32_t data);
    void (*GetText)(void* context, int row, int column, char* out, size_t size);
    void (*SetText)(void* context, int row, int column, const char* text);
    uint32_t (*GetData)(void* context, int row); // 0 for a row that does not exist
    void (*SetData)(void* context, int row, uint32_t data);
    void (*SetImage)(void* context, int row, int image);
    void (*FitColumn)(void* context, int column);
    // Runs work at once on the thread that owns the rows, with a store for that thread, while
    // the caller waits; a bulk change then costs the caller one message. The window does not
    // answer meanwhile: no download or scan inside a batch. NULL: work runs here.
    void (*Batch)(void* context, RowWork work, void* argument);
};

// Runs work through the store's Batch, or directly when it has none.
inline void BatchRows(const RowStore* rows, RowWork work, void* argument) {
    if (rows->Batch)
        rows->Batch(rows->context, work, argument);
    else
        work(rows, argument);
}
