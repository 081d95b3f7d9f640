// A row store over an in-memory copy of another store's rows, written through.
#include "catalogue/rowcache.h"
#include <stdlib.h>
#include <string.h>
#include "platform/text.h"

enum { COLUMNS = 5 };

struct CachedRow {
    int loaded;
    uint32_t data;
    char* text[COLUMNS]; // NULL for an empty text
};

struct RowCache {
    RowStore rows; // the other store
    CachedRow* items;
    int count;
    int capacity;
    // Out of memory once: from then on every operation goes to the other store only.
    int failed;
};

static RowCache* Of(void* context) {
    return static_cast<RowCache*>(context);
}

static void FreeRow(CachedRow* row) {
    for (char*& text : row->text) {
        free(text);
        text = NULL;
    }
    row->loaded = 0;
}

static void FreeRows(RowCache* cache) {
    for (int i = 0; i < cache->count; i++)
        FreeRow(&cache->items[i]);
    free(cache->items);
    cache->items = NULL;
    cache->count = cache->capacity = 0;
}

static void Fail(RowCache* cache) {
    FreeRows(cache);
    cache->failed = 1;
}

// Replaces a kept text; 0 when memory ran out.
static int KeepText(char** kept, const char* text) {
    char* copy = NULL;
    if (text && text[0]) {
        size_t n = strlen(text) + 1;
        copy = (char*)malloc(n);
        if (!copy) return 0;
        memcpy(copy, text, n);
    }
    free(*kept);
    *kept = copy;
    return 1;
}

static int Grow(RowCache* cache, int count) {
    if (count <= cache->capacity) return 1;
    int capacity = cache->capacity ? cache->capacity : 64;
    while (capacity < count)
        capacity *= 2;
    CachedRow* items = (CachedRow*)realloc(cache->items, (size_t)capacity * sizeof(CachedRow));
    if (!items) return 0;
    memset(items + cache->capacity, 0, (size_t)(capacity - cache->capacity) * sizeof(CachedRow));
    cache->items = items, cache->capacity = capacity;
    return 1;
}

static void ReadAll(RowCache* cache) {
    FreeRows(cache);
    int count = cache->rows.Count(cache->rows.context);
    if (count < 0) count = 0;
    if (!Grow(cache, count)) return Fail(cache);
    cache->count = count;
}

// The row, read from the other store on first use; NULL for a row that does not exist.
static CachedRow* Row(RowCache* cache, int index) {
    if (index < 0 || index >= cache->count) return NULL;
    CachedRow* row = &cache->items[index];
    if (row->loaded) return row;
    const RowStore* rows = &cache->rows;
    row->data = rows->GetData(rows->context, index);
    for (int column = 0; column < COLUMNS; column++) {
        char text[ROW_CACHE_TEXT_SIZE];
        rows->GetText(rows->context, index, column, text, sizeof text);
        if (!KeepText(&row->text[column], text)) {
            Fail(cache);
            return NULL;
        }
    }
    row->loaded = 1;
    return row;
}

static int CacheCount(void* context) {
    RowCache* cache = Of(context);
    return cache->failed ? cache->rows.Count(cache->rows.context) : cache->count;
}

static int CacheInsert(void* context, const char* name, int image, uint32_t data) {
    RowCache* cache = Of(context);
    int at = cache->rows.Insert(cache->rows.context, name, image, data);
    if (cache->failed || at < 0) return at;
    if (at > cache->count) { // not where the other store could have put it: start over
        ReadAll(cache);
        return at;
    }
    if (!Grow(cache, cache->count + 1)) {
        Fail(cache);
        return at;
    }
    CachedRow* row = &cache->items[at];
    memmove(row + 1, row, (size_t)(cache->count - at) * sizeof(CachedRow));
    memset(row, 0, sizeof *row);
    cache->count++;
    row->data = data;
    row->loaded = 1;
    if (!KeepText(&row->text[COL_PRODUCT], name)) Fail(cache);
    return at;
}

static void CacheGetText(void* context, int index, int column, char* out, size_t size) {
    RowCache* cache = Of(context);
    CachedRow* row = !cache->failed && column >= 0 && column < COLUMNS ? Row(cache, index) : NULL;
    if (cache->failed)
        cache->rows.GetText(cache->rows.context, index, column, out, size);
    else
        CopyText(out, size, row ? row->text[column] : "");
}

static int SameText(const char* kept, const char* text) {
    return strcmp(kept ? kept : "", text ? text : "") == 0;
}

static void CacheSetText(void* context, int index, int column, const char* text) {
    RowCache* cache = Of(context);
    int valid = !cache->failed && index >= 0 && index < cache->count && column >= 0 && column < COLUMNS;
    CachedRow* row = valid ? &cache->items[index] : NULL;
    // Most writes of a merge give a row the texts it has: they cost no message.
    if (row && row->loaded && SameText(row->text[column], text)) return;
    cache->rows.SetText(cache->rows.context, index, column, text);
    if (!row) return;
    if (column == COL_PRODUCT)
        ReadAll(cache); // the other store may sort the row to another place
    else if (row->loaded && !KeepText(&row->text[column], text))
        Fail(cache);
}

static uint32_t CacheGetData(void* context, int index) {
    RowCache* cache = Of(context);
    CachedRow* row = cache->failed ? NULL : Row(cache, index);
    if (cache->failed) return cache->rows.GetData(cache->rows.context, index);
    return row ? row->data : 0;
}

static void CacheSetData(void* context, int index, uint32_t data) {
    RowCache* cache = Of(context);
    CachedRow* row = !cache->failed && index >= 0 && index < cache->count ? &cache->items[index] : NULL;
    if (row && row->loaded && row->data == data) return;
    cache->rows.SetData(cache->rows.context, index, data);
    if (row) row->data = data;
}

static void CacheSetImage(void* context, int index, int image) {
    RowCache* cache = Of(context);
    cache->rows.SetImage(cache->rows.context, index, image);
}

static void CacheFitColumn(void* context, int column) {
    RowCache* cache = Of(context);
    cache->rows.FitColumn(cache->rows.context, column);
}

static void CacheBatch(void* context, RowWork work, void* argument);

static RowStore CachedStore(RowCache* cache) {
    RowStore cached = {cache,        CacheCount,   CacheInsert,   CacheGetText,   CacheSetText,
                       CacheGetData, CacheSetData, CacheSetImage, CacheFitColumn, CacheBatch};
    return cached;
}

struct CacheBatchCall {
    RowCache* cache;
    RowWork work;
    void* argument;
};

// The copy goes along with the work to the rows' thread (its caller waits meanwhile) and
// writes through the store it is given there.
static void CacheBatchWork(const RowStore* rows, void* argument) {
    CacheBatchCall* call = (CacheBatchCall*)argument;
    RowStore own = call->cache->rows;
    call->cache->rows = *rows;
    RowStore cached = CachedStore(call->cache);
    call->work(&cached, call->argument);
    call->cache->rows = own;
}

static void CacheBatch(void* context, RowWork work, void* argument) {
    CacheBatchCall call = {Of(context), work, argument};
    RowStore own = call.cache->rows;
    BatchRows(&own, CacheBatchWork, &call);
}

RowStore OpenRowCache(const RowStore* rows) {
    RowCache* cache = (RowCache*)calloc(1, sizeof(RowCache));
    if (!cache) return *rows;
    cache->rows = *rows;
    ReadAll(cache);
    return CachedStore(cache);
}

void RefreshRowCache(const RowStore* cached, int row) {
    if (cached->Count != CacheCount) return;
    RowCache* cache = Of(cached->context);
    if (cache->failed) return;
    if (row < 0)
        ReadAll(cache);
    else if (row < cache->count)
        FreeRow(&cache->items[row]);
}

void CloseRowCache(RowStore* cached) {
    if (cached->Count != CacheCount) return;
    RowCache* cache = Of(cached->context);
    *cached = cache->rows;
    FreeRows(cache);
    free(cache);
}
