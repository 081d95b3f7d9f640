// Drives a running QXUpdate from outside, as another program would. Each argument is one
// step, done in order:
//   N             command N to the main window (101, close: posted, then waits up to ten
//                 seconds for the window to go; exits 2 when it stays)
//   wait:N        pauses N milliseconds
//   idle:N        waits up to N milliseconds until no job runs ("Update and install now" is
//                 enabled again); exits 3 when one still runs
//   window:C:N    waits up to N milliseconds for a top-level window of class C; exits 4
//   rows          prints the product list, one row a line, the columns separated by " | "
// Without arguments: command 101. Exits 1 when no QXUpdate window appears within ten seconds.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { COMMAND_CLOSE = 101, COMMAND_UPDATE_NOW = 105, COLUMNS = 5, TEXT_SIZE = 1024 };

static HWND WaitForWindow(const char* windowClass, DWORD milliseconds) {
    HWND window = FindWindowA(windowClass, NULL);
    for (DWORD waited = 0; !window && waited < milliseconds; waited += 100) {
        Sleep(100);
        window = FindWindowA(windowClass, NULL);
    }
    return window;
}

static int Idle(HWND window) {
    HWND toolbar = FindWindowExA(window, NULL, TOOLBARCLASSNAMEA, NULL);
    return toolbar && SendMessageA(toolbar, TB_ISBUTTONENABLED, COMMAND_UPDATE_NOW, 0) != 0;
}

// LVITEMA as a 32-bit program lays it out: what a 64-bit qx_remote writes into a 32-bit
// QXUpdate (the shipped one) for its list view to fill.
struct ListItem32 {
    UINT mask;
    int item, subItem;
    UINT state, stateMask;
    UINT32 text;
    int textMax, image;
    UINT32 param;
    int indent, groupId;
    UINT columns;
    UINT32 columnsList, columnFormats;
    int group;
};
static_assert(sizeof(ListItem32) == 60, "the 32-bit LVITEMA");
enum { ITEM_SPACE = 128 }; // either record fits before the text

static int RunsUnderWow64(HANDLE process) {
    BOOL wow64 = FALSE;
    return IsWow64Process(process, &wow64) && wow64;
}

// The width of the other process's pointers: 32 or 64; 0 when this 32-bit program cannot
// reach a 64-bit one's memory.
static int PointerBits(HANDLE process) {
    if (RunsUnderWow64(process)) return 32;
    if (sizeof(void*) == 8) return 64;
    return RunsUnderWow64(GetCurrentProcess()) ? 0 : 32;
}

// Writes the request for one cell's text, laid out for the other process.
static BOOL WriteItemRequest(HANDLE process, int bits, char* remote, int column) {
    char* text = remote + ITEM_SPACE;
    if (bits == 32) {
        ListItem32 item = {};
        item.subItem = column;
        item.text = (UINT32)(UINT_PTR)text;
        item.textMax = TEXT_SIZE;
        return WriteProcessMemory(process, remote, &item, sizeof item, NULL);
    }
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = TEXT_SIZE;
    return WriteProcessMemory(process, remote, &item, sizeof item, NULL);
}

// The list view lives in the other process: its texts are read through memory there.
static void PrintRows(HWND window) {
    static_assert(sizeof(LVITEMA) <= ITEM_SPACE, "the record fits before the text");
    HWND list = FindWindowExA(window, NULL, WC_LISTVIEWA, NULL);
    DWORD owner = 0;
    GetWindowThreadProcessId(list, &owner);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                     PROCESS_QUERY_LIMITED_INFORMATION,
                                 FALSE, owner);
    int bits = process ? PointerBits(process) : 32;
    if (bits == 0) {
        printf("  (the list of a 64-bit program is read by the 64-bit qx_remote)\n");
        CloseHandle(process);
        return;
    }
    char* remote =
        process ? (char*)VirtualAllocEx(process, NULL, ITEM_SPACE + TEXT_SIZE, MEM_COMMIT, PAGE_READWRITE)
                : NULL;
    if (!remote) {
        printf("  (the list cannot be read)\n");
        if (process) CloseHandle(process);
        return;
    }
    int count = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int row = 0; row < count; row++) {
        printf("  ");
        for (int column = 0; column < COLUMNS; column++) {
            char text[TEXT_SIZE] = "";
            if (WriteItemRequest(process, bits, remote, column) &&
                SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)row, (LPARAM)remote) >= 0)
                ReadProcessMemory(process, remote + ITEM_SPACE, text, sizeof text - 1, NULL);
            text[TEXT_SIZE - 1] = 0;
            printf("%s%s", column ? " | " : "", text);
        }
        printf("\n");
    }
    if (count == 0) printf("  (no rows)\n");
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
}

static HWND MainWindow() {
    static HWND window;
    if (!window) window = WaitForWindow("QXUpdate", 10000);
    if (!window) exit(1);
    return window;
}

int main(int argc, char** argv) {
    const char* close[] = {"", "101"};
    if (argc < 2) argv = (char**)close, argc = 2;
    for (int i = 1; i < argc; i++) {
        const char* step = argv[i];
        if (strncmp(step, "wait:", 5) == 0) {
            Sleep((DWORD)atoi(step + 5));
        } else if (strncmp(step, "idle:", 5) == 0) {
            DWORD limit = (DWORD)atoi(step + 5), waited = 0;
            for (; !Idle(MainWindow()) && waited < limit; waited += 100)
                Sleep(100);
            if (!Idle(MainWindow())) return 3;
        } else if (strncmp(step, "window:", 7) == 0) {
            char windowClass[256];
            const char* colon = strchr(step + 7, ':');
            size_t n = colon ? (size_t)(colon - step - 7) : strlen(step + 7);
            if (n >= sizeof windowClass) n = sizeof windowClass - 1;
            memcpy(windowClass, step + 7, n);
            windowClass[n] = 0;
            if (!WaitForWindow(windowClass, colon ? (DWORD)atoi(colon + 1) : 10000)) return 4;
        } else if (strcmp(step, "rows") == 0) {
            PrintRows(MainWindow());
            fflush(stdout);
        } else if (atoi(step) == COMMAND_CLOSE) {
            HWND window = MainWindow();
            PostMessageA(window, WM_COMMAND, COMMAND_CLOSE, 0);
            for (int n = 0; n < 100 && IsWindow(window); n++)
                Sleep(100);
            return IsWindow(window) ? 2 : 0;
        } else {
            // Sent, so that a job it starts has shut the command gate when this returns.
            DWORD_PTR answer;
            SendMessageTimeoutA(MainWindow(), WM_COMMAND, (WPARAM)atoi(step), 0, SMTO_NORMAL, 5000, &answer);
        }
    }
    return 0;
}
