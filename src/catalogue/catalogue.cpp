// The catalogue: downloading server text files, splitting lines, merging the catalogue.
#include "catalogue/catalogue.h"
#include <stdlib.h>
#include <string.h>
#include "platform/fs.h"
#include "platform/text.h"
#include "update/tempfiles.h"

DownloadProc gDownload;
ListCheckProc gCheckList;

enum { LINE_PIECE = 1023 };

char* DownloadText(const char* relativePath, size_t* size) {
    char path[1024] = "";
    MakeTempFileName("", path, sizeof path);
    if (!path[0] || !gDownload || gDownload(relativePath, path) != 0) return NULL;
    char* text = NULL;
    size_t got = 0;
    if (FsLocal()->ReadWhole(path, &text, &got)) text = NULL;
    FsLocal()->Delete(path);
    if (size) *size = got;
    return text;
}

char* DownloadList(const char* relativePath, Store* store, int* refused) {
    *refused = 0;
    size_t size = 0;
    char* text = DownloadText(relativePath, &size);
    if (text && gCheckList) *refused = gCheckList(relativePath, text, size, store);
    if (!*refused) return text;
    free(text);
    return NULL;
}

void ForEachLine(const char* text, LineProc proc, void* context) {
    if (!text) return;
    const char* p = text;
    while (*p) {
        while (*p == '\r' || *p == '\n')
            p++;
        if (!*p) break;
        size_t n = strcspn(p, "\r\n");
        if (n > LINE_PIECE) n = LINE_PIECE;
        char line[LINE_PIECE + 1];
        CopyTextN(line, sizeof line, p, n);
        p += n;
        if (proc(line, context)) return;
    }
}

// A line that cannot be a product: a code that is not two printable, non-blank ASCII
// characters, or a control character anywhere (binary bytes must not reach the table or the
// settings file).
static int UnusableLine(const char* line) {
    for (int i = 0; i < 2; i++)
        if ((unsigned char)line[i] <= ' ' || (unsigned char)line[i] >= 0x7F) return 1;
    for (const unsigned char* p = (const unsigned char*)line; *p; p++)
        if (*p < ' ' || *p == 0x7F) return 1;
    return 0;
}

int CatalogueLineToRecord(const char* line, Product* record) {
    memset(record, 0, sizeof *record);
    const char* space = strchr(line, ' ');
    if (!space || strlen(line) < 2 || UnusableLine(line)) return 0;
    CopyTextN(record->code, sizeof record->code, line, 2);
    size_t versionLength = space > line + 2 ? (size_t)(space - line - 2) : 0;
    CopyTextN(record->actVersion, sizeof record->actVersion, line + 2, versionLength);
    CopyText(record->name, sizeof record->name, space + 1);
    return 1;
}

struct CatalogueWalk {
    const RowStore* rows;
    int initialCount;
    int used;
};

static int MergeLine(const char* line, void* context) {
    CatalogueWalk* walk = (CatalogueWalk*)context;
    Product record;
    if (!CatalogueLineToRecord(line, &record)) return 0;
    if (MergeProduct(&record, walk->rows) == 0 && walk->initialCount == 0 && strcmp(record.code, "qz") != 0)
        WriteProductRow(&record, walk->rows, -1);
    // A catalogue of endless lines must not grow the table (or the time on the window's
    // thread) without bound.
    return ++walk->used >= CATALOGUE_ROWS_MAX;
}

void MergeCatalogue(const RowStore* rows, const char* text, int initialCount) {
    CatalogueWalk walk = {rows, initialCount, 0};
    ForEachLine(text, MergeLine, &walk);
}

struct CatalogueMerge {
    const char* text; // NULL after a failed download
    int initialCount;
};

// The table's part of a refresh, in one batch on the rows' own thread.
static void MergeAndMark(const RowStore* rows, void* argument) {
    const CatalogueMerge* merge = (const CatalogueMerge*)argument;
    if (merge->text) {
        MergeCatalogue(rows, merge->text, merge->initialCount);
        rows->FitColumn(rows->context, COL_PRODUCT);
    }
    MarkUpdatesDue(rows);
}

int RefreshCatalogue(const RowStore* rows, Store* store) {
    CatalogueMerge merge;
    merge.initialCount = rows->Count(rows->context);
    int refused = 0;
    char* text = DownloadList("products.txt", store, &refused);
    merge.text = text;
    BatchRows(rows, MergeAndMark, &merge);
    free(text);
    return refused;
}
