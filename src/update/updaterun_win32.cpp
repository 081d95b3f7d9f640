// The update run on the product list view: its job, the closing of a running product and
// its restart.
#include "update/updaterun_win.h"
#include <windows.h>
#include <shellapi.h>
#include "app/appstate.h"
#include "app/jobs.h"
#include "app/listview.h"
#include "catalogue/catalogue_win.h"
#include "catalogue/detect.h"
#include "update/statusline.h"

enum { CLOSE_POLL_MS = 50, CLOSE_REMEMBERED = 64 };

static int WasSent(const HWND* sent, int count, HWND window) {
    for (int i = 0; i < count; i++)
        if (sent[i] == window) return 1;
    return 0;
}

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

int CloseRunningInstances(const char* windowClass, const char* path) {
    HWND sent[CLOSE_REMEMBERED];
    int count = 0;
    DWORD start = GetTickCount();
    for (;;) {
        int found = 0;
        for (HWND window = FindWindowExA(NULL, NULL, windowClass, NULL); window;
             window = FindWindowExA(NULL, window, windowClass, NULL)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == GetCurrentProcessId()) continue;
            if (WasSent(sent, count, window)) {
                found = 1;
                continue;
            }
            if (!RunsProgram(owner, path)) continue;
            found = 1;
            if (count < CLOSE_REMEMBERED) sent[count++] = window;
            // A window that does not answer in time is not waited for longer.
            DWORD_PTR answer;
            SendMessageTimeoutA(window, WM_DESTROY, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                CLOSE_SEND_TIMEOUT_MS, &answer);
            if (GetTickCount() - start >= CLOSE_WAIT_MS) break;
        }
        if (!found) return count;
        if (GetTickCount() - start >= CLOSE_WAIT_MS) return CLOSE_STAYED;
        Sleep(CLOSE_POLL_MS);
    }
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
static void HostStartProgram(void*, const char* path) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info); // a product that does not start is not the update's failure
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
