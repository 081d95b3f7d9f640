// A stand-in for one of the vendor's products, built in two versions: a window of the class
// list's class that closes on WM_DESTROY as the products do ("/stubborn": it ignores it), and
// a line in the file QX_STANDIN_LOG names, if any, when it starts and when it closes.
#include <windows.h>
#include <stdio.h>
#include <string.h>

static const char kClass[] = "QXNavigatorMain";
static int gStubborn;
static int gSlowExit; // "/slowexit": its window goes at once, the process six seconds later

static void Log(const char* what) {
    char path[1024];
    DWORD n = GetEnvironmentVariableA("QX_STANDIN_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path) return;
    FILE* file = fopen(path, "a");
    if (!file) return;
    fprintf(file, "QX Navigator %s %s (process %lu)\n", STANDIN_VERSION, what, GetCurrentProcessId());
    fclose(file);
}

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_DESTROY) return DefWindowProcA(window, message, wParam, lParam);
    if (!gStubborn) {
        Log("closed");
        PostQuitMessage(0);
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
    gStubborn = strstr(commandLine, "/stubborn") != NULL;
    gSlowExit = strstr(commandLine, "/slowexit") != NULL;
    Log("started");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClass;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA(kClass, "QX Navigator " STANDIN_VERSION, WS_OVERLAPPEDWINDOW, 600, 608, 320,
                                150, NULL, NULL, instance, NULL);
    if (!window) return 1;
    ShowWindow(window, show);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    if (gSlowExit) {
        DestroyWindow(window);
        Sleep(6000);
    }
    return 0;
}
