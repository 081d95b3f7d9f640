// A row store that keeps a copy of another store's rows in memory for the length of one
// job. Reads come from the copy; every change goes to the other store and to the copy.
// Each row of the other store is read once, when it is first used, so a job that reads
// the whole table for every record it merges reads the list view only once. An inserted
// row takes the index the other store gives it, so the order stays the other store's.
//
// While a cached store is open, the rows are changed only through it (the command gate
// keeps other jobs away); after a change made directly to the other store, call
// RefreshRowCache. A cached store is used by one thread at a time: its Batch takes the copy
// along to the rows' own thread while the caller waits. Writes of a text or item data that
// a row already has are not passed on.
#pragma once
#include "catalogue/rowstore.h"

// Texts are read from the other store into buffers of this size (every reader of a row
// uses one at most this large).
enum { ROW_CACHE_TEXT_SIZE = 1024 };

// A cached store over a copy of rows. When memory runs out it passes everything on to rows.
RowStore OpenRowCache(const RowStore* rows);
// Reads a row from the other store again at its next use; row < 0: every row and the count.
void RefreshRowCache(const RowStore* cached, int row);
// Frees the copy; afterwards cached is the other store itself.
void CloseRowCache(RowStore* cached);
