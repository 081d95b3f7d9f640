// "Update and install now" of a running product under Wine: the real main window in this
// process, the stand-in product started from each row's Location, its packages on the
// update server on loopback that bench/update.sh starts. The stand-in writes a line to the
// log QX_STANDIN_LOG names when it is asked to close and when it starts; a thread here
// stamps each line as it appears. Per row (a small and a large package) and round it prints
// the product's downtime (asked to close until the new version started), the whole update
// (the command until the new version started) and, as the reference, the time to download
// and decode the same package without writing anything; then the means and their ratios.
//
//   qx_update_bench update SETTINGSFILE BASEURL LOGFILE ROUNDS
//       the rows of the settings file: code, name, versions, the stand-in's program file;
//       next to each program file "QXNav.old" is the older version put back between rounds
//   qx_update_bench flush PACKAGE FOLDER ROUNDS
//       installs PACKAGE into fresh folders under FOLDER through the local provider, with
//       and without flushing the files, in turns; prints both times and their ratio
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "app/appstate.h"
#include "app/commands.h"
#include "app/listview.h"
#include "app/mainwindow.h"
#include "catalogue/catalogue_win.h"
#include "catalogue/product.h"
#include "catalogue/rowstore.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/theme.h"
#include "update/download.h"
#include "update/package.h"
#include "update/statusline.h"

static double Now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

static void Pump() {
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, NULL, FALSE, 1, QS_ALLINPUT);
}

static int WaitIdle() {
    DWORD start = GetTickCount();
    while (gApp->busyCount != 0 || CommandDisabled(CMD_UPDATE_NOW)) {
        if (GetTickCount() - start > 600000) return 0;
        Pump();
    }
    return 1;
}

// The stand-in's log, each line stamped when it was first seen.
enum { LOG_LINES = 256 };
struct LogWatch {
    const char* path;
    char lines[LOG_LINES][96];
    double at[LOG_LINES];
    volatile LONG count;
    volatile LONG stop;
};
static LogWatch gLog;

static DWORD WINAPI WatchLog(void*) {
    DWORD offset = 0;
    char line[96];
    size_t used = 0;
    while (!gLog.stop) {
        HANDLE file =
            CreateFileA(gLog.path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                        OPEN_EXISTING, 0, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            char buffer[512];
            DWORD got = 0;
            SetFilePointer(file, (LONG)offset, NULL, FILE_BEGIN);
            while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0) {
                double at = Now();
                offset += got;
                for (DWORD i = 0; i < got; i++) {
                    if (buffer[i] != '\n') {
                        if (used + 1 < sizeof line) line[used++] = buffer[i];
                        continue;
                    }
                    line[used] = 0;
                    used = 0;
                    LONG n = gLog.count;
                    if (n >= LOG_LINES) continue;
                    CopyText(gLog.lines[n], sizeof gLog.lines[n], line);
                    gLog.at[n] = at;
                    InterlockedIncrement(&gLog.count);
                }
            }
            CloseHandle(file);
        }
        Sleep(1);
    }
    return 0;
}

// The time of the first line from 'from' on that holds 'what', waiting up to 30 s; 0 if none.
static double LogTime(LONG from, const char* what) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
        for (LONG i = from; i < gLog.count; i++)
            if (strstr(gLog.lines[i], what)) return gLog.at[i];
        Pump();
    }
    return 0;
}

static void FolderOf(const char* path, char* out, size_t size) {
    CopyText(out, size, path);
    char* cut = strrchr(out, '\\');
    if (cut) *cut = 0;
}

// Puts the older version back in place of an updated one and shows it as installed.
static void Reset(int row, const char* location) {
    char folder[1024], path[1024];
    FolderOf(location, folder, sizeof folder);
    FormatText(path, sizeof path, "%s\\QXNav.old", folder);
    // The ended copy's program file may be held a moment longer.
    for (int i = 0; i < 50 && !CopyFileA(path, location, FALSE); i++)
        Sleep(100);
    FormatText(path, sizeof path, "%s\\data.bin", folder);
    DeleteFileA(path);
    SetRowText(gApp->listView, row, COL_INST_VERSION, "5.10");
}

static HANDLE Launch(const char* location) {
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION process;
    char command[1100];
    FormatText(command, sizeof command, "\"%s\"", location);
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) return NULL;
    CloseHandle(process.hThread);
    WaitForInputIdle(process.hProcess, 10000);
    return process.hProcess;
}

// Ends the restarted copy, which this process did not start: it is found by its window,
// which it makes a moment after it logged its start.
static void EndStandIns() {
    for (int i = 0; i < 500 && !FindWindowA("QXNavigatorMain", NULL); i++)
        Sleep(10);
    for (int i = 0; i < 50; i++) {
        HWND window = FindWindowA("QXNavigatorMain", NULL);
        if (!window) break;
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process) break;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

// One update of one row with its product running; 0 on success.
static int TimeUpdate(HWND window, int row, const char* location, double* downtime, double* whole) {
    HANDLE process = Launch(location);
    if (!process) return 1;
    for (int i = 0; i < 200 && !FindWindowA("QXNavigatorMain", NULL); i++)
        Sleep(10);
    CloseHandle(process);
    LONG from = gLog.count;
    SelectRow(gApp->listView, -1, 0);
    SelectRow(gApp->listView, row, 1);
    double start = Now();
    SendMessageA(window, WM_COMMAND, CMD_UPDATE_NOW, 0);
    if (!WaitIdle()) return 1;
    double closed = LogTime(from, "5.10 closed"), started = LogTime(from, "5.20 started");
    EndStandIns();
    if (closed == 0 || started == 0) return fprintf(stderr, "no close or no start in the log\n"), 1;
    *downtime = started - closed;
    *whole = started - start;
    return 0;
}

// Download and decode of a row's package, nothing written.
static int TimeReference(const char* code, double* reference) {
    char request[64], temp[MAX_PATH], folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    GetTempFileNameA(folder, "qxb", 0, temp);
    FormatText(request, sizeof request, "dw/a.cgi?%sd", code);
    double start = Now();
    int e = DownloadFile(request, temp) != 0 || ExtractPackage(temp, NULL, NULL) != 0;
    *reference = Now() - start;
    DeleteFileA(temp);
    return e;
}

enum { ROWS_MAX = 4 };

static int Update(int argc, char** argv) {
    if (argc < 6) return 2;
    OpenStore(&gSettings, argv[2], STORE_NO_LOCATE);
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, argv[3]);
    gLog.path = argv[4];
    SetEnvironmentVariableA("QX_STANDIN_LOG", argv[4]); // also for the restarted copies
    int rounds = atoi(argv[5]);
    HWND window = CreateMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
    if (!window || !WaitIdle()) return 1;
    HANDLE watcher = CreateThread(NULL, 0, WatchLog, NULL, 0, NULL);
    int rows = RowCount(gApp->listView), failed = 0;
    if (rows > ROWS_MAX) rows = ROWS_MAX;
    Product records[ROWS_MAX];
    RowStore store = ListViewRows(gApp->listView);
    for (int row = 0; row < rows; row++)
        ReadProductRow(&records[row], &store, row);
    double downtime[ROWS_MAX] = {0}, whole[ROWS_MAX] = {0}, reference[ROWS_MAX] = {0};
    // Round 0, the first row only, warms up the download service and the disk cache.
    for (int round = 0; round <= rounds; round++) {
        for (int row = 0; row < rows && (round > 0 || row == 0); row++) {
            const Product* r = &records[row];
            Reset(row, r->location);
            double d = 0, w = 0, f = 0;
            int e = TimeUpdate(window, row, r->location, &d, &w) || TimeReference(r->code, &f);
            Reset(row, r->location);
            failed |= e;
            printf("%s, %s: downtime %.3f s, whole update %.3f s, download + decode %.3f s%s\n",
                   round ? "round" : "warm-up", r->name, d, w, f, e ? " FAILED" : "");
            fflush(stdout);
            if (round) downtime[row] += d / rounds, whole[row] += w / rounds, reference[row] += f / rounds;
        }
    }
    for (int row = 0; row < rows; row++)
        printf("%s, mean of %d: downtime %.3f s; whole update %.3f s = %.2f x download + decode (%.3f s)\n",
               records[row].name, rounds, downtime[row], whole[row], whole[row] / reference[row],
               reference[row]);
    if (rows >= 2)
        printf("downtime %s / %s: %.2f; %s limit 1.5 x %.3f + 0.3 = %.3f s\n", records[rows - 1].name,
               records[0].name, downtime[rows - 1] / downtime[0],
               downtime[rows - 1] <= 1.5 * downtime[0] + 0.3 ? "within the" : "over the", downtime[0],
               1.5 * downtime[0] + 0.3);
    gLog.stop = 1;
    WaitForSingleObject(watcher, 2000);
    DestroyWindow(window);
    CloseStore(&gSettings);
    return failed;
}

static int Install(const char* package, const char* folder, const FsProvider* fs, double* seconds) {
    FsDeleteTree(FsLocal(), folder);
    FsLocal()->CreateFolder(folder);
    double start = Now();
    int e = ExtractUpdatePackageWith(package, folder, fs);
    *seconds = Now() - start;
    return e;
}

static int Flush(int argc, char** argv) {
    if (argc < 5) return 2;
    FsProvider noFlush = *FsLocal();
    noFlush.Flush = NULL;
    int rounds = atoi(argv[4]), failed = 0;
    double with = 0, without = 0;
    char folder[1024];
    FormatText(folder, sizeof folder, "%s\\target", argv[3]);
    for (int round = 0; round <= rounds; round++) {
        double a = 0, b = 0;
        failed |= Install(argv[2], folder, FsLocal(), &a) | Install(argv[2], folder, &noFlush, &b);
        printf("%s: with flush %.3f s, without %.3f s\n", round ? "round" : "warm-up", a, b);
        if (round) with += a, without += b;
    }
    FsDeleteTree(FsLocal(), folder);
    printf("install with flush / without: %.2f (%.3f s against %.3f s a round)\n", with / without,
           with / rounds, without / rounds);
    return failed;
}

int main(int argc, char** argv) {
    gApp = (AppState*)calloc(1, sizeof(AppState));
    StatusLineConstruct(&gStatusLine, 3, 1, MainStatusLayout);
    ThemeOpen(&gTheme);
    FsSetUpProviders();
    if (argc >= 2 && strcmp(argv[1], "update") == 0) return Update(argc, argv);
    if (argc >= 2 && strcmp(argv[1], "flush") == 0) return Flush(argc, argv);
    fprintf(stderr, "usage: qx_update_bench update SETTINGSFILE BASEURL LOGFILE ROUNDS\n"
                    "       qx_update_bench flush PACKAGE FOLDER ROUNDS\n");
    return 2;
}
