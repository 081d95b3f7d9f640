// Asks a running QXUpdate to close, as another program would: command 101 to the window of
// class "QXUpdate". Exits 0 when the window was found and is gone within ten seconds.
#include <windows.h>

int main() {
    HWND window = FindWindowA("QXUpdate", NULL);
    if (!window) return 1;
    PostMessageA(window, WM_COMMAND, 101, 0);
    for (int i = 0; i < 100 && IsWindow(window); i++) Sleep(100);
    if (IsWindow(window)) PostMessageA(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 50 && IsWindow(window); i++) Sleep(100);
    return IsWindow(window) ? 2 : 0;
}
