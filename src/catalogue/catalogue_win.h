// The Product table, the catalogue and the edition lists on the product list view.
#pragma once
#include <windows.h>
#include "catalogue/lists.h"
#include "catalogue/rowstore.h"

// A row store over a list view's rows.
RowStore ListViewRows(HWND listView);

// Reads one value of a key under HKEY_CURRENT_USER and scans the folder it names.
void ScanRegistryFolder(HWND listView, const char* subKey, const char* valueName);
// Re-reads the installed version of every row from its program file.
void RefreshInstalledVersions(HWND listView);

// The 64-bit offer's questions to the system; tests replace them.
extern EditionHost gEditionHost;
int IsWow64();
