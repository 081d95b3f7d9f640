// "Seach for new updates" (F5) on an empty table, for catalogues of several sizes: the real
// main window in this process, downloading from the update server on loopback that
// bench/rows.sh starts. Prints the time from the command to the idle window per size.
//
//   qx_rows_bench SETTINGSFILE BASEURL LINES...   (the catalogue of n lines is BASEURL n/products.txt)
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "app/mainwindow.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/theme.h"
#include "update/download.h"
#include "update/statusline.h"

static void Pump() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
}

// Pumps until no job runs and the window thread has opened the gate again; 0 after a minute.
static int WaitIdle() {
    DWORD start = GetTickCount();
    while (gApp->busyCount != 0 || CommandDisabled(CMD_SEARCH_UPDATES)) {
        if (GetTickCount() - start > 60000) return 0;
        Pump();
    }
    return 1;
}

static double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: qx_rows_bench SETTINGSFILE BASEURL LINES...\n");
        return 2;
    }
    gApp = (AppState*)calloc(1, sizeof(AppState));
    StatusLineConstruct(&gStatusLine, 3, 1, MainStatusLayout);
    ThemeOpen(&gTheme);
    FsSetUpProviders();
    OpenStore(&gSettings, argv[1], STORE_NO_LOCATE);
    HWND window = CreateMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
    if (!window || !WaitIdle()) return 1;
    int failed = 0;
    // The first round only warms up: the download service loads its libraries on first use.
    for (int i = 2; i < argc; i++) {
        int lines = atoi(argv[i == 2 ? 3 : i]);
        FormatText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, "%s%d/", argv[2], lines);
        SelectRow(gApp->listView, -1, 1);
        SendMessageA(window, WM_COMMAND, CMD_REMOVE_ROWS, 0);
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        SendMessageA(window, WM_COMMAND, CMD_SEARCH_UPDATES, 0);
        int idle = WaitIdle();
        QueryPerformanceCounter(&end);
        int rows = RowCount(gApp->listView);
        printf("%s, %d catalogue lines: %.3f s, %d rows\n", i == 2 ? "warm-up" : "F5 on an empty table",
               lines, Seconds(start, end), rows);
        if (!idle || rows != lines) failed = 1;
    }
    fflush(stdout);
    DestroyWindow(window);
    CloseStore(&gSettings);
    return failed;
}
