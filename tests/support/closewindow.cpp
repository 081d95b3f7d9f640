// Sends commands to a running QXUpdate as another program would: each argument is a
// command id, or "wait:N" to pause N milliseconds. Without arguments: command 101 (close).
// After a close, exits 0 when the window is gone within ten seconds.
#include <windows.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    HWND window = FindWindowA("QXUpdate", NULL);
    if (!window) return 1;
    const char* close[] = {"", "101"};
    if (argc < 2) argv = (char**)close, argc = 2;
    for (int i = 1; i < argc; i++) {
        if (strncmp(argv[i], "wait:", 5) == 0) {
            Sleep((DWORD)atoi(argv[i] + 5));
            continue;
        }
        int command = atoi(argv[i]);
        PostMessageA(window, WM_COMMAND, (WPARAM)command, 0);
        if (command != 101) continue;
        for (int n = 0; n < 100 && IsWindow(window); n++)
            Sleep(100);
        return IsWindow(window) ? 2 : 0;
    }
    return 0;
}
