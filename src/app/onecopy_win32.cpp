// One running copy per settings file. The first copy creates small named shared records (named
// after its settings file's identity, so that every spelling of the file's path gives the same
// names) holding its process id; a later copy for the same file finds a record, brings the running
// copy's window to the front (unless started hidden) and exits without writing anything, so two
// copies never overwrite each other's settings or run an update of the same product at once.
// Any program of the user can create a record first: one whose holder shows no main window of
// this program and does not end within a bounded wait is passed over, and the program starts.
#include "app/appstate.h"
#include "app/commands.h"
#include "app/mainwindow.h"

enum { RECORD_WAIT_MS = 10000 };

// What a record says about this start.
enum { RECORD_TAKEN, RECORD_HANDED_OVER, RECORD_PASSED_OVER };

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

// The running copy's main window, waiting while that copy is still creating it; NULL when the
// process ends first (a copy that was ending) or shows none within the wait (no copy of ours).
static HWND WaitForMainWindow(DWORD processId, HANDLE process) {
    WindowSearch search = {processId, NULL};
    for (DWORD waited = 0; waited < RECORD_WAIT_MS; waited += 50) {
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

// Creates the record of that name, or hands over to the copy that holds it.
static int TakeRecord(Store* settings, const char* name, int hidden) {
    for (int attempt = 0; attempt < 2; attempt++) {
        HANDLE record =
            CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, sizeof(DWORD), name);
        if (!record) return RECORD_PASSED_OVER; // cannot tell: run as before
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            // The first copy: the handle stays open until the process ends, after the settings
            // are written at exit.
            DWORD* shared = (DWORD*)MapViewOfFile(record, FILE_MAP_WRITE, 0, 0, sizeof(DWORD));
            if (shared) {
                *shared = GetCurrentProcessId();
                UnmapViewOfFile(shared);
            }
            return RECORD_TAKEN;
        }
        DWORD id = RunningCopyId(record);
        CloseHandle(record);
        if (!id) return RECORD_PASSED_OVER; // no copy of ours writes no id
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (process) {
            HWND window = WaitForMainWindow(id, process);
            int ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
            CloseHandle(process);
            if (window) {
                if (!hidden) {
                    AllowSetForegroundWindow(id);
                    PostMessageA(window, MSG_BRING_TO_FRONT, 0, WM_LBUTTONUP);
                }
                return RECORD_HANDED_OVER;
            }
            if (!ended) return RECORD_PASSED_OVER; // a process that is no copy of ours holds it
        }
        // The running copy has ended (it saved its settings): start in its place, from them.
        DropContent(settings);
    }
    return RECORD_PASSED_OVER; // still there though its copy has ended: held by another program
}

int HandOverToRunningCopy(Store* settings, int hidden) {
    for (int which = 0; which < SETTINGS_KEYS; which++) {
        char name[64];
        if (SettingsFileKey(settings, which, name, sizeof name) &&
            TakeRecord(settings, name, hidden) == RECORD_HANDED_OVER) {
            Suspend(settings);
            return 1;
        }
    }
    return 0;
}
