// Installed-product detection on Windows: the registry folders searched at start-up, the
// drive scan job and the refresh of the installed versions already in the table.
#include <windows.h>
#include <string.h>
#include "app/appstate.h"
#include "app/jobs.h"
#include "catalogue/catalogue_win.h"
#include "catalogue/detect.h"
#include "catalogue/lists.h"
#include "catalogue/rowcache.h"
#include "platform/text.h"
#include "update/statusline.h"

// The products' own keys under HKEY_CURRENT_USER\Software, each with the value "Dir".
static const char* const kProductKeys[] = {
    "Corvanware\\QXNV",  "QXNavigator",      "QXNavigatorLite", "Corvanware\\QXTWN", "QXSeek",
    "Corvanware\\QXLed", "Corvanware\\QXMD", "QXTaskKp",        "Corvanware\\QXTAL", "QXHstWch",
};
// Values of HKEY_CURRENT_USER\Software\Corvanware named by a product code.
static const char* const kProductCodes[] = {"qj", "qv", "qz", "jq", "vq", "zq", "xj", "jx", "vz", "kq"};
#define VENDOR_KEY "Software\\" VENDOR_NAME

static void ShowFolder(const char* folder) {
    PaneSetText(&gStatusLine, folder, 0, 100);
}

static ScanHost WindowsScanHost() {
    ScanHost host = {ReadVersionStrings, ShowFolder, gApp ? &gApp->cancelRequested : NULL};
    return host;
}

static void ScanFolder(HWND listView, const char* folder) {
    RowStore rows = ListViewRows(listView);
    ScanHost host = WindowsScanHost();
    ScanContext context;
    BeginScan(&context, &rows, FsLocal(), &host);
    ScanFolderForProducts(folder, &context);
    EndScan(&context);
}

void ScanRegistryFolder(HWND listView, const char* subKey, const char* valueName) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char data[1024];
    DWORD size = sizeof data;
    LONG r = RegQueryValueExA(key, valueName, NULL, NULL, (BYTE*)data, &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return;
    char folder[SCAN_PATH_SIZE];
    if (RegistryValueToFolder(data, size < sizeof data ? size : sizeof data, folder, sizeof folder))
        ScanFolder(listView, folder);
}

void RefreshInstalledVersions(HWND listView) {
    RowStore rows = ListViewRows(listView);
    int total = rows.Count(rows.context);
    for (int i = 0; i < total; i++) {
        Product record;
        ReadProductRow(&record, &rows, i);
        ReadInstalledVersion(&record);
        WriteProductRow(&record, &rows, i);
    }
}

static int ScanClassKey(const char* name, void* context) {
    ScanRegistryFolder((HWND)context, VENDOR_KEY, name);
    return 0;
}

void DetectInstalledProducts(HWND listView) {
    RowStore rows = ListViewRows(listView);
    LoadProductTable(&rows, &gSettings);
    RefreshInstalledVersions(listView);
    for (const char* key : kProductKeys) {
        char subKey[64] = "Software\\";
        AppendText(subKey, sizeof subKey, key);
        ScanRegistryFolder(listView, subKey, "Dir");
    }
    for (const char* code : kProductCodes)
        ScanRegistryFolder(listView, VENDOR_KEY, code);
    EnumKeys(&gSettings, CLASS_SECTION, ScanClassKey, listView);
    MarkUpdatesDue(&rows);
    // The last folder searched is no news once the window shows.
    PaneSetText(&gStatusLine, "", 0, 100);
}

void DriveScanJob(void*) {
    // Each find is merged into the whole table: from the worker, through a copy of it.
    RowStore rows = OpenListViewRows(gApp->listView);
    ScanHost host = WindowsScanHost();
    ScanContext context;
    BeginScan(&context, &rows, FsLocal(), &host);
    char drives[128] = {0};
    DWORD length = GetLogicalDriveStringsA(sizeof drives, drives);
    // The buffer holds all 26 drive roots; an answer that does not fit leaves it unfilled.
    if (length >= sizeof drives) length = 0;
    for (const char* root = drives; root < drives + length && *root; root += strlen(root) + 1) {
        if (gApp->cancelRequested) break;
        if (GetDriveTypeA(root) == DRIVE_FIXED) ScanFolderForProducts(root, &context);
    }
    EndScan(&context);
    MarkUpdatesDue(&rows);
    CloseRowCache(&rows);
}
