// One running copy per settings file. The first copy creates a small named shared record
// (named after its settings file) holding its process id; a later copy for the same file finds
// the record, brings the running copy's window to the front (unless started hidden) and exits
// without writing anything, so two copies never overwrite each other's settings or run an
// update of the same product at once.
#include "app/appstate.h"
#include "app/commands.h"
#include "app/mainwindow.h"

enum { WINDOW_WAIT_MS = 15000, PROCESS_WAIT_MS = 15000 };

struct WindowSearch {
    DWORD processId;
    HWND found;
};

static BOOL CALLBACK MatchMainWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = (WindowSearch*)lParam;
    DWORD owner = 0;
    char name[32];
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !GetClassNameA(window, name, sizeof name) ||
        lstrcmpA(name, MAIN_WINDOW_CLASS) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The running copy's main window, waiting while that copy is still creating it.
static HWND WaitForMainWindow(DWORD processId, HANDLE process) {
    WindowSearch search = {processId, NULL};
    for (DWORD waited = 0; waited < WINDOW_WAIT_MS; waited += 50) {
        EnumWindows(MatchMainWindow, (LPARAM)&search);
        if (search.found) return search.found;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    }
    return NULL;
}

// The process id in the record; the first copy may be writing it just now.
static DWORD RunningCopyId(HANDLE record) {
    volatile DWORD* shared = (volatile DWORD*)MapViewOfFile(record, FILE_MAP_READ, 0, 0, sizeof(DWORD));
    if (!shared) return 0;
    DWORD id = 0;
    for (int i = 0; i < 20 && (id = *shared) == 0; i++)
        Sleep(50);
    UnmapViewOfFile((const void*)shared);
    return id;
}

int HandOverToRunningCopy(Store* settings, int hidden) {
    char name[64];
    SettingsFileKey(settings, name, sizeof name);
    for (int attempt = 0; attempt < 2; attempt++) {
        HANDLE record =
            CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(DWORD), name);
        if (!record) return 0; // cannot tell: run as before
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            // The first copy: the handle stays open until the process ends, after the settings
            // are written at exit.
            DWORD* shared = (DWORD*)MapViewOfFile(record, FILE_MAP_WRITE, 0, 0, sizeof(DWORD));
            if (shared) {
                *shared = GetCurrentProcessId();
                UnmapViewOfFile(shared);
            }
            return 0;
        }
        DWORD id = RunningCopyId(record);
        CloseHandle(record);
        HANDLE process = id ? OpenProcess(SYNCHRONIZE, FALSE, id) : NULL;
        if (process) {
            HWND window = WaitForMainWindow(id, process);
            if (window) {
                if (!hidden) {
                    AllowSetForegroundWindow(id);
                    PostMessageA(window, MSG_BRING_TO_FRONT, 0, WM_LBUTTONUP);
                }
                CloseHandle(process);
                break;
            }
            // Its window is gone: the running copy is ending. Wait until it has saved its settings.
            DWORD ended = WaitForSingleObject(process, PROCESS_WAIT_MS);
            CloseHandle(process);
            if (ended != WAIT_OBJECT_0) break;
        } else if (!id) {
            break;
        }
        // The running copy has ended: start in its place, from the settings it saved.
        DropContent(settings);
    }
    Suspend(settings);
    return 1;
}
