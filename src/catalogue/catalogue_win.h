// The Product table, the catalogue and the edition lists on the product list view.
#pragma once
#include <windows.h>
#include "catalogue/lists.h"
#include "catalogue/rowstore.h"

// A row store over a list view's rows. Its Batch runs on the list view's thread, which does
// not redraw the list until the batch ends.
RowStore ListViewRows(HWND listView);
// The same rows for one job, read once and written through (catalogue/rowcache.h); the job
// ends with CloseRowCache.
RowStore OpenListViewRows(HWND listView);

// Reads one value of a key under HKEY_CURRENT_USER and scans the folder it names.
void ScanRegistryFolder(HWND listView, const char* subKey, const char* valueName);
// Re-reads the installed version of every row from its program file.
void RefreshInstalledVersions(HWND listView);

// The 64-bit offer's questions to the system; tests replace them.
extern EditionHost gEditionHost;
int IsWow64();
