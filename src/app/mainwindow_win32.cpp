// The main window: its procedure, handlers, command table and command gate.
#include "app/mainwindow.h"
#include <commctrl.h>
#include <ole2.h>
#include <string.h>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/jobs.h"
#include "app/listview.h"
#include "app/toolbar.h"
#include "app/tooltips.h"
#include "platform/dpi.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "platform/theme.h"
#include "settings/dialogs_win.h"
#include "settings/placement.h"
#include "update/statusline.h"
#include "update/tempfiles.h"

enum {
    TOOLBAR_ID = 1,
    ICON_PROGRAM = 1,
    ICON_ACTIVITY = 71,
};

// The command gate: which commands are disabled, and what the toolbar was last told.
struct CommandState {
    int command;
    int disabledWhenBusy; // 0: disabled while idle (Stop)
    int disabled;
    int sent;
};

static CommandState gCommandStates[] = {
    {CMD_STOP, 0, 0, 0},           {CMD_REMOVE_ROWS, 1, 0, 0},
    {CMD_SEARCH_UPDATES, 1, 0, 0}, {CMD_SEARCH_INSTALLED, 1, 0, 0},
    {CMD_UPDATE_NOW, 1, 0, 0},     {CMD_CONFIGURATION, 1, 0, 0},
};

void UpdateCommandStates(HWND mainWindow) {
    if (!mainWindow) return;
    if (GetWindowThreadProcessId(mainWindow, NULL) != GetCurrentThreadId()) {
        // One thread decides, so a worker's late answer cannot undo a newer state.
        SendMessageA(mainWindow, MSG_UPDATE_COMMANDS, 0, 0);
        return;
    }
    int busy = gApp->busyCount != 0;
    for (CommandState& s : gCommandStates) {
        s.disabled = s.disabledWhenBusy ? busy : !busy;
        if (s.disabled == s.sent) continue;
        s.sent = s.disabled;
        SendMessageA(gApp->toolbar, TB_ENABLEBUTTON, (WPARAM)s.command, MAKELPARAM(!s.disabled, 0));
    }
}

// A new toolbar has every button enabled: the table starts over with it.
static void ResetCommandStates() {
    for (CommandState& s : gCommandStates)
        s.disabled = s.sent = 0;
}

int CommandDisabled(int command) {
    for (const CommandState& s : gCommandStates)
        if (s.command == command) return s.disabled;
    return 0;
}

void BringToFront(HWND window) {
    if (!IsWindow(window)) return;
    if (IsIconic(window) || !IsWindowVisible(window)) ShowWindow(window, SW_RESTORE);
    SetActiveWindow(window);
    SetForegroundWindow(window);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void ApplyAlwaysOnTop(HWND mainWindow) {
    SetWindowPos(mainWindow, (gApp->options & OPTION_ALWAYS_ON_TOP) ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0,
                 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void SelectLanguage(HWND mainWindow) {
    ChooseLanguage(&gSettings);
    UpdateCommandStates(mainWindow);
    if (gApp->listView) SetColumnTexts(gApp->listView, gColumns);
}

// The toolbar's pictures at each display scale: their size and the bitmaps of the normal
// and the hot strip.
static const struct {
    int scale, size, normal, hot;
} kToolbarPictures[] = {{100, 24, 3, 4}, {125, 30, 13, 14}, {150, 36, 23, 24}, {200, 48, 33, 34}};

static HWND CreateMainToolbar(HWND window) {
    int n = 0;
    while (n < 3 && kToolbarPictures[n].scale < PictureScale())
        n++;
    return CreateToolbar(window, gApp->instance, kToolbarButtons, 0, kToolbarPictures[n].normal,
                         kToolbarPictures[n].hot, 10, kToolbarPictures[n].size, TOOLBAR_ID);
}

// Set by the first WM_DESTROY, which another program can send at any time, and again: no job
// starts afterwards, and what a job still running uses is released only once it has ended.
static int gDestroyed;
static int gReleasePending;

static BOOL OnCreate(HWND window) {
    gMainWindow = window;
    gDestroyed = gReleasePending = 0;
    gApp->options = ReadOptions(&gSettings, PROGRAM_SECTION, 0);
    gApp->toolbar = CreateMainToolbar(window);
    ResetCommandStates();
    SendMessageA(gApp->toolbar, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
    StatusLineCreate(&gStatusLine, window, gApp->instance);
    int iconSize = StateIconSize();
    gApp->activityIcon =
        (HICON)LoadImageA(gApp->instance, MAKEINTRESOURCEA(ICON_ACTIVITY), IMAGE_ICON, iconSize, iconSize, 0);
    OleInitialize(NULL);
    if (!gApp->listView && CreateListView(window)) {
        PostQuitMessage(0);
        return TRUE;
    }
    ShowWindow(gApp->toolbar, SW_SHOW);
    StatusLineShow(&gStatusLine);
    ThemeApplyToWindow(window, L"DarkMode_Explorer");
    SelectLanguage(window);
    DetectInstalledProducts(gApp->listView);
    ApplyAlwaysOnTop(window);
    PostMessageA(window, WM_COMMAND, CMD_STARTUP, 2);
    return TRUE;
}

static void OnSize(HWND window, WPARAM wParam, LPARAM lParam) {
    if (wParam == SIZE_MINIMIZED) return;
    int width = LOWORD(lParam), height = HIWORD(lParam);
    if (width == 0 && height == 0) {
        RECT client;
        GetClientRect(window, &client);
        width = client.right, height = client.bottom;
    }
    int top = 0;
    if (gApp->toolbar && IsWindowVisible(gApp->toolbar)) {
        SendMessageA(gApp->toolbar, WM_SIZE, wParam, lParam);
        RECT r;
        GetWindowRect(gApp->toolbar, &r);
        top = r.bottom - r.top;
        height -= top;
    }
    StatusLineLayout(&gStatusLine, 0, top, width, &height);
    if (gApp->listView) {
        MoveWindow(gApp->listView, 0, top, width, height > 0 ? height : 0, TRUE);
        InvalidateRect(gApp->listView, NULL, TRUE);
    }
    InvalidateRect(window, NULL, TRUE);
}

static void OnClose(HWND window) {
    (void)window;
    ReadColumnsFromView(gApp->listView, gColumns);
    SaveColumns(&gSettings, gColumns, PROGRAM_SECTION);
}

static void SaveWindowState(HWND window) {
    SaveProductTable(gApp->listView);
    SavePlacementOfWindow(&gSettings, PROGRAM_SECTION, window);
}

// After a session ends the process is ended without WM_DESTROY or the store's destruction:
// everything is saved and written now, also while a job runs (the rows as they are).
static void OnEndSession(HWND window, BOOL ending) {
    if (!ending) return;
    OnClose(window);
    SaveWindowState(window);
    Flush(&gSettings);
}

static void ReleaseWindowResources() {
    OleUninitialize();
    DeleteProgramTempFolder();
}

static void OnDestroy(HWND window) {
    if (gDestroyed) return;
    gDestroyed = 1;
    SaveWindowState(window);
    if (gApp->busyCount != 0) {
        gApp->cancelRequested = 1;
        gReleasePending = 1;
    } else {
        ReleaseWindowResources();
    }
    PostQuitMessage(0);
}

int FinishShutdown(DWORD timeoutMs) {
    if (WaitForJobs(timeoutMs)) return WAIT_TIMEOUT;
    if (gReleasePending) ReleaseWindowResources();
    gReleasePending = 0;
    return 0;
}

static void OnStartup(HWND window) {
    ShowProductInfo(window, 1);
    EditionCheckAtStart();
}

static void OnUpdateNow(HWND) {
    HWND list = gApp->listView;
    if (SelectedRowCount(list) == 0) SelectRow(list, -1, 1);
    if (SelectedRowCount(list) == 0) return;
    StartJob(gJobs.updateRun, NULL, 1);
}

static void OnRemoveRows(HWND) {
    HWND list = gApp->listView;
    for (int row = 0; row < RowCount(list);) {
        if (IsRowSelected(list, row))
            DeleteRow(list, row);
        else
            row++;
    }
}

static void OnConfiguration(HWND window) {
    if (!RunConfigurationDialog(window)) return;
    ApplyAlwaysOnTop(window);
    ApplyListStyles(gApp->listView);
    PostMessageA(window, WM_SIZE, 0, 0);
}

static void OnInformation(HWND window) {
    if (!OpenHelp(window, 0)) PostMessageA(window, WM_COMMAND, CMD_ABOUT, 0);
}

static void OnCommand(HWND window, int command) {
    if (gDestroyed && command != CMD_STOP && command != CMD_ESCAPE) return;
    switch (command) {
    case CMD_ESCAPE:
    case CMD_STOP: gApp->cancelRequested = 1; return;
    case CMD_CLOSE: PostMessageA(window, WM_CLOSE, 0, 0); return;
    case CMD_HOMEPAGE: OpenHomepage(window); return;
    case CMD_SELECT_ALL: SelectRow(gApp->listView, -1, 1); return;
    case CMD_STARTUP: OnStartup(window); return;
    case CMD_INFORMATION: OnInformation(window); return;
    case CMD_ABOUT: ShowProductInfo(window, 0); return;
    }
    if (CommandDisabled(command)) return;
    switch (command) {
    case CMD_SEARCH_UPDATES: StartJob(gJobs.catalogue, NULL, 0); break;
    case CMD_SEARCH_INSTALLED: StartJob(gJobs.driveScan, NULL, 1); break;
    case CMD_UPDATE_NOW: OnUpdateNow(window); break;
    case CMD_CONFIGURATION: OnConfiguration(window); break;
    case CMD_REMOVE_ROWS: OnRemoveRows(window); break;
    }
}

static void OnHelp(HWND window, const HELPINFO* help) {
    if (GetKeyState(VK_CONTROL) < 0) return;
    int context = 0;
    if (help && help->iCtrlId >= 109 && help->iCtrlId <= 5998 && gApp->configPage <= 1)
        context = gApp->configPage == 0 ? 52 : 53;
    if (!OpenHelp(window, context)) PostMessageA(window, WM_COMMAND, CMD_ABOUT, 0);
}

static LRESULT OnNotify(NMHDR* header) {
    if (header->code == TTN_GETDISPINFOA) {
        NMTTDISPINFOA* info = (NMTTDISPINFOA*)header;
        GetToolTipText((int)header->idFrom, info->szText, sizeof info->szText);
        info->lpszText = info->szText;
    }
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        if (!OnCreate(window)) return -1;
        break;
    case WM_DESTROY: OnDestroy(window); break;
    case WM_SIZE: OnSize(window, wParam, lParam); break;
    case WM_SETFOCUS:
        if (gApp->listView) SetFocus(gApp->listView);
        UpdateCommandStates(window);
        break;
    case WM_CLOSE:
        if (gApp->busyCount != 0) return 0;
        OnClose(window);
        break;
    case WM_ENDSESSION: OnEndSession(window, (BOOL)wParam); break;
    case WM_SETTINGCHANGE:
        if (gApp->listView) InvalidateRect(gApp->listView, NULL, TRUE);
        break;
    case WM_NOTIFY: OnNotify((NMHDR*)lParam); break;
    case WM_HELP: OnHelp(window, (const HELPINFO*)lParam); break;
    case WM_COMMAND: OnCommand(window, LOWORD(wParam)); break;
    case MSG_SET_ROW_IMAGE: SetRowImage(gApp->listView, (int)wParam, (int)(lParam & 0xF)); break;
    case MSG_UPDATE_COMMANDS: UpdateCommandStates(window); return 0;
    case MSG_JOB_ENDED:
        // Other programs can send any message to this window: only a job of ours ends a job.
        if (wParam != JobEndedKey() || gApp->busyCount <= 0) return 0;
        InterlockedDecrement(&gApp->busyCount);
        UpdateCommandStates(window);
        return 0;
    case MSG_BRING_TO_FRONT:
        if (lParam == WM_LBUTTONUP || lParam == WM_RBUTTONUP) BringToFront(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
