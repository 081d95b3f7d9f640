// The Product table on the product list view, and the catalogue and edition jobs.
#include "catalogue/catalogue_win.h"
#include <stdint.h>
#include "app/appstate.h"
#include "app/jobs.h"
#include "app/listview.h"
#include "catalogue/catalogue.h"
#include "catalogue/product.h"
#include "catalogue/rowcache.h"
#include "platform/procs_win.h"
#include "settings/strings.h"
#include "update/statusline.h"

static int RowsCount(void* context) {
    return RowCount((HWND)context);
}
static int RowsInsert(void* context, const char* name, int image, uint32_t data) {
    return InsertRow((HWND)context, -1, name, image, data);
}
static void RowsGetText(void* context, int row, int column, char* out, size_t size) {
    GetRowText((HWND)context, row, column, out, size);
}
static void RowsSetText(void* context, int row, int column, const char* text) {
    SetRowText((HWND)context, row, column, text);
}
static uint32_t RowsGetData(void* context, int row) {
    return GetRowData((HWND)context, row);
}
static void RowsSetData(void* context, int row, uint32_t data) {
    SetRowData((HWND)context, row, data);
}
static void RowsSetImage(void* context, int row, int image) {
    SetRowImage((HWND)context, row, image);
}
static void RowsFitColumn(void* context, int column) {
    FitColumn((HWND)context, column);
}

struct ListBatch {
    HWND listView;
    RowWork work;
    void* argument;
};

static int gListBatchDepth; // batches running on the window thread

static void RunListBatch(void* argument) {
    ListBatch* batch = (ListBatch*)argument;
    RowStore rows = ListViewRows(batch->listView);
    // Nothing is painted while the window thread works through a batch anyway; without
    // redrawing the list view does not invalidate and scroll for every single row.
    // (Redrawing turned on again makes a window visible: only a visible one is switched.)
    int quiet = gListBatchDepth++ == 0 && (GetWindowLongA(batch->listView, GWL_STYLE) & WS_VISIBLE);
    if (quiet) SendMessageA(batch->listView, WM_SETREDRAW, FALSE, 0);
    batch->work(&rows, batch->argument);
    if (quiet) {
        SendMessageA(batch->listView, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(batch->listView, NULL, TRUE);
    }
    gListBatchDepth--;
}

static void RowsBatch(void* context, RowWork work, void* argument) {
    ListBatch batch = {(HWND)context, work, argument};
    RunOnListThread((HWND)context, RunListBatch, &batch);
}

RowStore ListViewRows(HWND listView) {
    RowStore rows = {listView,    RowsCount,   RowsInsert,   RowsGetText,   RowsSetText,
                     RowsGetData, RowsSetData, RowsSetImage, RowsFitColumn, RowsBatch};
    return rows;
}

RowStore OpenListViewRows(HWND listView) {
    RowStore rows = ListViewRows(listView);
    return OpenRowCache(&rows);
}

int IsWow64() {
    // Looked up, not imported: the first systems without it still start the program.
    auto isWow64 = ProcAddress<decltype(IsWow64Process)>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64 && !isWow64(GetCurrentProcess(), &wow64)) wow64 = FALSE;
    return wow64 != 0;
}

static int AskSwitchTo64(void*) {
    char text[256];
    GetText(TEXT_SWITCH_TO_64, text, sizeof text);
    return MessageBoxA(gMainWindow, text, gAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

EditionHost gEditionHost = {IsWow64, AskSwitchTo64, NULL};

void SaveProductTable(HWND listView) {
    RowStore rows = ListViewRows(listView);
    SaveProductTable(&rows, &gSettings);
}

// Why a list of the server was refused, in the status line until another text replaces it.
static void ShowRefusal(int textId) {
    char text[260];
    GetText(textId, text, sizeof text);
    if (textId) PaneSetText(&gStatusLine, text, 0, 100);
}

void CatalogueJob(void*) {
    RowStore rows = OpenListViewRows(gApp->listView);
    ShowRefusal(RefreshCatalogue(&rows, &gSettings));
    CloseRowCache(&rows);
}

void EditionJob(void* parameter) {
    ShowRefusal(RefreshEditionList(&gSettings));
    OfferWin64Edition(&gSettings, (int)(intptr_t)parameter, &gEditionHost);
}

void EditionCheckAtStart() {
    switch (EditionStartAction(&gSettings)) {
    case EDITION_OFFER_NOW: OfferWin64Edition(&gSettings, 0, &gEditionHost); break;
    case EDITION_JOB: StartJob(gJobs.edition, (void*)(intptr_t)0, 0); break;
    case EDITION_JOB_FORCED: StartJob(gJobs.edition, (void*)(intptr_t)1, 0); break;
    }
}
