// The catalogue "products.txt" and the other text files of the update server.
//
// Catalogue lines (CR, LF or runs of them end a line; a line is read in pieces of at most
// 1023 characters): characters 1 and 2 are the product code ("qz": update only, never
// added), then the version up to the first space, then the display name to the end of the
// line; versions and names are cut at 31 characters. A line without a space, with a code
// that is not two printable non-blank ASCII characters, or with a control character anywhere
// is skipped. One catalogue gives at most CATALOGUE_ROWS_MAX products; later lines are ignored.
#pragma once
#include <stddef.h>
#include "catalogue/product.h"

struct Store;

// The lines are merged on the window's thread, each against every row: at this size a 4 MiB
// catalogue keeps the window from answering for about a third of a second (10,000 rows: 25 s).
const int CATALOGUE_ROWS_MAX = 1000;

// Fetches a file of the update server into a local file: 0 or a failure (an HRESULT).
typedef long (*DownloadProc)(const char* relativePath, const char* localPath);
// The download the program uses; the Windows layer sets it to DownloadFile.
extern DownloadProc gDownload;

// Checks a downloaded server list before anything of it is used: 0 to use it, else the text
// id that tells the user why not. The program sets it to CheckServerList; NULL: lists are
// used unchecked.
typedef int (*ListCheckProc)(const char* relativePath, const char* data, size_t size, Store* store);
extern ListCheckProc gCheckList;

// Downloads a server file into a temporary file, reads it whole and deletes the temporary
// file. Returns the zero-terminated text (free()) and its size when size is not NULL, or
// NULL on any failure.
char* DownloadText(const char* relativePath, size_t* size);
// The same for a server list, through gCheckList: NULL also when the list was refused, with
// the reason's text id in *refused (0 otherwise).
char* DownloadList(const char* relativePath, Store* store, int* refused);

// Calls proc for every non-empty line piece of text, in order; nonzero stops.
typedef int (*LineProc)(const char* line, void* context);
void ForEachLine(const char* text, LineProc proc, void* context);

// Fills a zero-filled record from a catalogue line; 0 when the line is not usable.
int CatalogueLineToRecord(const char* line, Product* record);
// Merges the catalogue text into the table; rows are added only when it had none.
void MergeCatalogue(const RowStore* rows, const char* text, int initialCount);
// Downloads the catalogue and merges it; marks the rows due for an update in any case.
// Returns 0, or the text id of the reason the catalogue was refused.
int RefreshCatalogue(const RowStore* rows, Store* store);
