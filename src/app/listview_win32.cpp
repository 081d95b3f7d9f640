// The product list view: creation, columns, styles, row operations.
#include "app/listview.h"
#include <commctrl.h>
#include <string.h>
#include "app/appstate.h"
#include "app/mainwindow.h"
#include "platform/dpi.h"
#include "platform/procs_win.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "platform/theme.h"
#include "settings/strings.h"

enum { STATE_COLUMN = 3 };

struct ListThreadCall {
    void (*work)(void* argument);
    void* argument;
    int done;
};
// The call a worker waits for. The message names it but carries no code address, so a
// message from elsewhere can at most run the awaited work early, and never twice.
static ListThreadCall* volatile gListThreadCall;

static void RunListThreadCall(LPARAM lParam) {
    void* call = InterlockedCompareExchangePointer((void* volatile*)&gListThreadCall, NULL, (void*)lParam);
    if (!call || call != (void*)lParam) return;
    ListThreadCall* c = (ListThreadCall*)call;
    c->work(c->argument);
    c->done = 1;
}

void RunOnListThread(HWND listView, void (*work)(void* argument), void* argument) {
    ListThreadCall call = {work, argument, 0};
    if (GetWindowThreadProcessId(listView, NULL) != GetCurrentThreadId() &&
        !InterlockedCompareExchangePointer((void* volatile*)&gListThreadCall, &call, NULL)) {
        SendMessageA(listView, MSG_RUN_ON_LIST_THREAD, 0, (LPARAM)&call);
        InterlockedCompareExchangePointer((void* volatile*)&gListThreadCall, NULL, &call);
    }
    if (!call.done) work(argument);
}

static LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == MSG_RUN_ON_LIST_THREAD) {
        RunListThreadCall(lParam);
        return 0;
    }
    if (message == WM_SIZE)
        SendMessageA(window, LVM_ARRANGE, LVA_ALIGNLEFT, 0);
    else if (message == WM_SETFOCUS && gMainWindow)
        UpdateCommandStates(gMainWindow);
    return CallWindowProcA(gApp->listViewProc, window, message, wParam, lParam);
}

static void CreateStateImages() {
    int size = StateIconSize();
    gApp->stateImages = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 64, 32);
    if (!gApp->stateImages) return;
    for (int id = 70; id <= 74; id++) {
        HICON icon = (HICON)LoadImageA(gApp->instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0);
        ImageList_AddIcon(gApp->stateImages, icon);
        if (icon) DestroyIcon(icon);
    }
}

void ApplyListStyles(HWND listView) {
    DWORD style = (DWORD)SendMessageA(listView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    style &= ~(DWORD)(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
    if (gApp->options & OPTION_FULL_ROW_SELECT) style |= LVS_EX_FULLROWSELECT;
    if (gApp->options & OPTION_GRID_LINES) style |= LVS_EX_GRIDLINES;
    SendMessageA(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style);
}

static void ApplyListColours(HWND listView) {
    if (!gTheme.dark) return;
    ThemeApplyToWindow(listView, L"DarkMode_Explorer");
    SendMessageA(listView, LVM_SETBKCOLOR, 0, ThemeColor(COLOR_WINDOW));
    SendMessageA(listView, LVM_SETTEXTBKCOLOR, 0, ThemeColor(COLOR_WINDOW));
    SendMessageA(listView, LVM_SETTEXTCOLOR, 0, ThemeColor(COLOR_WINDOWTEXT));
}

// Width of a column at creation: the special widths take what the others leave.
static int CreationWidth(const Column* table, int n, int clientWidth) {
    int scrollBar = GetSystemMetrics(SM_CXVSCROLL) + ScaleToDpi(4), least = ScaleToDpi(100);
    int width = table[n].width;
    if (width == WIDTH_REST) {
        width = clientWidth - scrollBar;
        for (int i = 0; table[i].textId; i++)
            if (table[i].width > 0) width -= table[i].width;
    } else if (width == WIDTH_HALF) {
        width = (clientWidth - scrollBar) / 2;
        if (width < least) width = least;
        gColumns[n].width = width;
    }
    return width < least && table[n].width < 0 ? least : width;
}

int CreateListView(HWND mainWindow) {
    // The built-in widths are for 100 %; widths read from the settings are kept as saved.
    memcpy(gColumns, kDefaultColumns, sizeof gColumns);
    for (int n = 0; gColumns[n].textId; n++)
        if (gColumns[n].width > 0) gColumns[n].width = ScaleToDpi(gColumns[n].width);
    LoadColumns(&gSettings, gColumns, PROGRAM_SECTION, 1);
    CreateStateImages();
    gApp->listView =
        CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SORTASCENDING |
                            LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
                        0, 0, 0, 0, mainWindow, (HMENU)(INT_PTR)LIST_VIEW_ID, gApp->instance, NULL);
    if (!gApp->listView) return 1;
    HWND listView = gApp->listView;
    SendMessageA(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, (WPARAM)-1, LVS_EX_HEADERDRAGDROP | LVS_EX_INFOTIP);
    gApp->listViewProc = ReplaceWindowProc(listView, ListViewProc);

    RECT client;
    GetClientRect(listView, &client);
    int orders[COLUMN_COUNT], inserted = 0, reorder = 0;
    for (int n = 0; gColumns[n].textId; n++) {
        if (gColumns[n].order < 0) continue;
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_ORDER;
        column.fmt = gColumns[n].align & 3;
        column.cx = CreationWidth(gColumns, n, client.right - client.left);
        column.pszText = (char*)"";
        column.iOrder = gColumns[n].order;
        SendMessageA(listView, LVM_INSERTCOLUMNA, (WPARAM)inserted, (LPARAM)&column);
        if (gColumns[n].order != inserted) reorder = 1;
        orders[inserted++] = gColumns[n].order;
    }
    if (reorder) SendMessageA(listView, LVM_SETCOLUMNORDERARRAY, (WPARAM)inserted, (LPARAM)orders);
    ApplyListStyles(listView);
    ApplyListColours(listView);
    SendMessageA(listView, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)gApp->stateImages);
    return 0;
}

void SetColumnTexts(HWND listView, const Column* table) {
    for (int n = 0, position = 0; table[n].textId; n++) {
        if (table[n].order < 0) continue;
        char text[256] = "";
        if ((int16_t)table[n].textId > 0) GetText(table[n].textId, text, sizeof text);
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = text;
        SendMessageA(listView, LVM_SETCOLUMNA, (WPARAM)position++, (LPARAM)&column);
    }
}

void ReadColumnsFromView(HWND listView, Column* table) {
    int positions[COLUMN_COUNT], count = 0;
    for (int n = 0; table[n].textId && count < COLUMN_COUNT; n++) {
        if (table[n].order < 0) continue;
        LVCOLUMNA column = {};
        column.mask = LVCF_WIDTH | LVCF_ORDER;
        if (SendMessageA(listView, LVM_GETCOLUMNA, (WPARAM)count, (LPARAM)&column)) {
            table[n].width = column.cx;
            table[n].order = column.iOrder;
        }
        positions[count++] = n;
    }
    int orders[COLUMN_COUNT];
    if (count && SendMessageA(listView, LVM_GETCOLUMNORDERARRAY, (WPARAM)count, (LPARAM)orders))
        for (int i = 0; i < count; i++)
            table[positions[i]].order = orders[i];
}

int RowCount(HWND listView) {
    return (int)SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0);
}

int InsertRow(HWND listView, int index, const char* text, int image, uint32_t data) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = index < 0 ? RowCount(listView) : index;
    item.pszText = (char*)text;
    item.iImage = image;
    item.lParam = (LPARAM)data;
    return (int)SendMessageA(listView, LVM_INSERTITEMA, 0, (LPARAM)&item);
}

void DeleteRow(HWND listView, int row) {
    SendMessageA(listView, LVM_DELETEITEM, (WPARAM)row, 0);
}

void SetRowText(HWND listView, int row, int column, const char* text) {
    if (row < 0 || row >= RowCount(listView)) return;
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = (char*)(text ? text : "");
    SendMessageA(listView, LVM_SETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
}

void GetRowText(HWND listView, int row, int column, char* out, size_t size) {
    if (!out || size == 0) return;
    out[0] = 0;
    if (row < 0 || row >= RowCount(listView)) return;
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = out;
    item.cchTextMax = size > 0x7FFFFFFF ? 0x7FFFFFFF : (int)size;
    SendMessageA(listView, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)&item);
    out[size - 1] = 0;
}

void SetRowData(HWND listView, int row, uint32_t data) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = (LPARAM)data;
    SendMessageA(listView, LVM_SETITEMA, 0, (LPARAM)&item);
}

uint32_t GetRowData(HWND listView, int row) {
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageA(listView, LVM_GETITEMA, 0, (LPARAM)&item)) return 0;
    return (uint32_t)item.lParam;
}

void SetRowImage(HWND listView, int row, int image) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = image;
    SendMessageA(listView, LVM_SETITEMA, 0, (LPARAM)&item);
}

int GetRowImage(HWND listView, int row) {
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!SendMessageA(listView, LVM_GETITEMA, 0, (LPARAM)&item)) return -1;
    return item.iImage;
}

void SelectRow(HWND listView, int row, int select) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = select ? LVIS_SELECTED : 0;
    SendMessageA(listView, LVM_SETITEMSTATE, (WPARAM)row, (LPARAM)&item);
}

int IsRowSelected(HWND listView, int row) {
    return (SendMessageA(listView, LVM_GETITEMSTATE, (WPARAM)row, LVIS_SELECTED) & LVIS_SELECTED) != 0;
}

int SelectedRowCount(HWND listView) {
    return (int)SendMessageA(listView, LVM_GETSELECTEDCOUNT, 0, 0);
}

void FitColumn(HWND listView, int column) {
    SendMessageA(listView, LVM_SETCOLUMNWIDTH, (WPARAM)column, MAKELPARAM(LVSCW_AUTOSIZE, 0));
}

void SetRowState(int row, int state) {
    uint32_t data = (GetRowData(gApp->listView, row) & ~(uint32_t)0xF) | ((uint32_t)state & 0xF);
    SetRowData(gApp->listView, row, data);
    PostMessageA(gMainWindow, MSG_SET_ROW_IMAGE, (WPARAM)row, (LPARAM)data);
}

void SetRowStateText(int row, int textId) {
    char text[1024];
    GetText(textId, text, sizeof text);
    if (textId == TEXT_UPDATED_AT) {
        SysTime now;
        SysLocalTime(&now);
        char date[256], time[256];
        SysFormatDate(&now, date, sizeof date);
        AppendText(text, sizeof text, date);
        if (strlen(text) < 1019) {
            SysFormatTime(&now, time, sizeof time);
            AppendText(text, sizeof text, "  ");
            AppendText(text, sizeof text, time);
        }
    }
    SetRowText(gApp->listView, row, STATE_COLUMN, text);
    FitColumn(gApp->listView, STATE_COLUMN);
}
