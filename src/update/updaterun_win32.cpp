// The update run on the product list view: its job, the closing of a running product and
// its restart.
#include "update/updaterun_win.h"
#include <windows.h>
#include "app/appstate.h"
#include "app/jobs.h"
#include "app/listview.h"
#include "catalogue/catalogue_win.h"
#include "catalogue/detect.h"
#include "platform/desktop_win.h"
#include "update/statusline.h"

enum { CLOSE_POLL_MS = 50, CLOSE_REMEMBERED = 64 };

static int FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE file =
        CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                    OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BOOL known = GetFileInformationByHandle(file, info);
    CloseHandle(file);
    return known;
}

// Two names of one file (short names, other separators, another drive letter for it).
static int SameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION fa, fb;
    if (!FileIdentity(a, &fa) || !FileIdentity(b, &fb)) return lstrcmpiA(a, b) == 0;
    return fa.dwVolumeSerialNumber == fb.dwVolumeSerialNumber && fa.nFileIndexHigh == fb.nFileIndexHigh &&
           fa.nFileIndexLow == fb.nFileIndexLow;
}

// Nonzero when the process runs the program file at path, or when that cannot be told.
static int RunsProgram(DWORD processId, const char* path) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return 1;
    char image[1024];
    DWORD size = sizeof image;
    BOOL known = QueryFullProcessImageNameA(process, 0, image, &size);
    CloseHandle(process);
    return !known || SameFile(image, path);
}

// The windows sent WM_DESTROY, and their processes (NULL when they could not be opened).
struct Closing {
    HWND windows[CLOSE_REMEMBERED];
    HANDLE processes[CLOSE_REMEMBERED];
    int count;
    DWORD start;
};

static int WasSent(const Closing* closing, HWND window) {
    for (int i = 0; i < closing->count; i++)
        if (closing->windows[i] == window) return 1;
    return 0;
}

static int TimeIsUp(const Closing* closing) {
    return GetTickCount() - closing->start >= CLOSE_WAIT_MS;
}

// Sends WM_DESTROY to the windows not yet sent it; nonzero while any window of the copy is there.
static int CloseWindows(Closing* closing, const char* windowClass, const char* path) {
    int found = 0;
    // Every window is looked at, also once the time is up: a window still there must count.
    for (HWND window = FindWindowExA(NULL, NULL, windowClass, NULL); window;
         window = FindWindowExA(NULL, window, windowClass, NULL)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == GetCurrentProcessId()) continue;
        if (WasSent(closing, window)) {
            found = 1;
            continue;
        }
        if (!RunsProgram(owner, path)) continue;
        found = 1;
        if (TimeIsUp(closing)) continue;
        if (closing->count < CLOSE_REMEMBERED) {
            closing->windows[closing->count] = window;
            closing->processes[closing->count++] = OpenProcess(SYNCHRONIZE, FALSE, owner);
        }
        // A window that does not answer in time is not waited for longer.
        DWORD_PTR answer;
        SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, CLOSE_SEND_TIMEOUT_MS,
                            &answer);
    }
    return found;
}

// Waits, within the close bound, for the closed processes to end, so that their program
// files are free.
static void WaitForProcesses(const Closing* closing) {
    for (int i = 0; i < closing->count; i++) {
        if (!closing->processes[i]) continue;
        DWORD waited = GetTickCount() - closing->start;
        DWORD left = waited < CLOSE_WAIT_MS ? CLOSE_WAIT_MS - waited : 0;
        if (WaitForSingleObject(closing->processes[i], left) != WAIT_OBJECT_0) return;
    }
}

int CloseRunningInstances(const char* windowClass, const char* path) {
    Closing closing = {};
    closing.start = GetTickCount();
    int stayed = 0;
    while (CloseWindows(&closing, windowClass, path)) {
        if (TimeIsUp(&closing)) {
            stayed = 1;
            break;
        }
        Sleep(CLOSE_POLL_MS);
    }
    // A copy whose windows are gone is closed, even while its process is still ending: it is
    // updated (a running program file can be renamed into the stage) and started again, not
    // left closed and old.
    if (!stayed) WaitForProcesses(&closing);
    for (int i = 0; i < closing.count; i++)
        if (closing.processes[i]) CloseHandle(closing.processes[i]);
    return stayed ? CLOSE_STAYED : closing.count;
}

static int HostIsSelected(void*, int row) {
    return IsRowSelected(gApp->listView, row);
}
static void HostDeselect(void*, int row) {
    SelectRow(gApp->listView, row, 0);
}
static void HostSetState(void*, int row, int state) {
    SetRowState(row, state);
}
static void HostSetStateText(void*, int row, int textId) {
    if (textId)
        SetRowStateText(row, textId);
    else
        SetRowText(gApp->listView, row, COL_STATE, "");
}
static void HostShowName(void*, const char* name) {
    PaneSetText(&gStatusLine, name, 0, 100);
}
static int HostCancelRequested(void*) {
    return gApp->cancelRequested != 0;
}
static int HostCloseRunningInstances(void*, const char* windowClass, const char* path) {
    return CloseRunningInstances(windowClass, path);
}
// As the user at the desktop, as it ran before it was closed, not as this administrator. A
// product that does not start is not the update's failure.
static void HostStartProgram(void*, const char* path) {
    StartAsDesktopUser(path, NULL, NULL, SW_SHOWNORMAL);
}
static void HostReadInstalledVersion(void*, Product* record) {
    ReadInstalledVersion(record);
}

UpdateHost gUpdateHost = {NULL,
                          HostIsSelected,
                          HostDeselect,
                          HostSetState,
                          HostSetStateText,
                          HostShowName,
                          HostCancelRequested,
                          HostCloseRunningInstances,
                          HostStartProgram,
                          HostReadInstalledVersion};

void UpdateRunJob(void*) {
    // No user input while the run works on the rows and their selection.
    EnableWindow(gApp->listView, FALSE);
    RowStore rows = ListViewRows(gApp->listView);
    UpdateRun run = {&rows, &gSettings, &gUpdateHost};
    UpdateRows(&run);
    EnableWindow(gApp->listView, TRUE);
}
