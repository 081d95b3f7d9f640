// Start-up: the entry function's steps and the creation of the main window.
#include <stdlib.h>
#include <string.h>
#include "app/appstate.h"
#include "app/mainwindow.h"
#include "platform/fs.h"
#include "platform/procs_win.h"
#include "platform/text.h"
#include "catalogue/catalogue.h"
#include "update/download.h"
#include "update/listsign.h"

enum { JOB_END_WAIT_MS = 15000 };

void RestrictDllSearch() {
    // A DLL loaded by name comes from the system folder only, never from the program's folder
    // (wherever the release was unpacked) or the current one. The call needs Windows 8, or 7 and
    // Vista with the update that added it; without it at least the current folder is left out.
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto setDefault = ProcAddress<decltype(SetDefaultDllDirectories)>(kernel, "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryA("");
    // SearchPath, with which system components find files by bare name, looks in the current
    // folder only after the system folders (and cannot be switched back).
    auto setSearchMode = ProcAddress<decltype(SetSearchPathMode)>(kernel, "SetSearchPathMode");
    if (setSearchMode) setSearchMode(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE | BASE_SEARCH_PATH_PERMANENT);
}

static void InitControls() {
    InitCommonControls();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_DATE_CLASSES};
    InitCommonControlsEx(&controls);
}

int StartedHidden(const char* commandLine) {
    const char* p = commandLine ? commandLine : "";
    while (*p == ' ' || *p == '\t')
        p++;
    if (*p == '"') {
        p = strchr(p + 1, '"');
        p = p ? p + 1 : "";
    } else {
        while (*p && *p != ' ' && *p != '\t')
            p++;
    }
    while (*p == ' ' || *p == '\t')
        p++;
    // The first argument as the program's C runtime sees it: quotes group and are dropped.
    char argument[3];
    size_t n = 0;
    for (int quoted = 0; *p && (quoted || (*p != ' ' && *p != '\t')); p++) {
        if (*p == '"')
            quoted = !quoted;
        else if (n == 2)
            return 0;
        else
            argument[n++] = *p;
    }
    if (n != 2) return 0;
    argument[n] = 0;
    return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, argument, -1, "/A", -1) == CSTR_EQUAL;
}

static void RegisterMainClass(HINSTANCE instance, HICON smallIcon) {
    WNDCLASSEXA existing = {sizeof existing};
    HBRUSH background = (HBRUSH)(COLOR_BTNFACE + 1);
    if (GetClassInfoExA(instance, MAIN_WINDOW_CLASS, &existing)) {
        if (existing.hbrBackground == background) return;
        UnregisterClassA(MAIN_WINDOW_CLASS, instance);
    }
    WNDCLASSEXA wc = {sizeof wc};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbWndExtra = 4;
    wc.hInstance = instance;
    wc.hIcon = gApp->largeIcon;
    wc.hIconSm = smallIcon;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = MAIN_WINDOW_CLASS;
    RegisterClassExA(&wc);
}

HWND CreateMainWindow(HINSTANCE instance, int showCommand) {
    InitControls();
    gApp->instance = instance;
    CopyText(gApp->title, sizeof gApp->title, PROGRAM_TITLE);
    gAppTitle = gApp->title;
    gLanguages = &gLanguageSet;
    gDownload = DownloadFile;
    gCheckList = CheckServerList;
    gApp->largeIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
    Placement placement;
    LoadPlacement(&gSettings, PROGRAM_SECTION, &placement, 800, 600);
    HICON smallIcon = (HICON)LoadImageA(instance, MAKEINTRESOURCEA(1), IMAGE_ICON,
                                        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0);
    RegisterMainClass(instance, smallIcon);
    HWND window = CreateWindowExA(0, MAIN_WINDOW_CLASS, PROGRAM_TITLE, WS_OVERLAPPEDWINDOW, placement.x,
                                  placement.y, placement.width, placement.height, NULL, NULL, instance, NULL);
    if (window && !StartedHidden(GetCommandLineA()))
        ShowWindow(window, placement.showState == 3 ? SW_SHOWMAXIMIZED : showCommand);
    return window;
}

int RunApplication(HINSTANCE instance, int showCommand) {
    InitControls();
    if (HandOverToRunningCopy(&gSettings, StartedHidden(GetCommandLineA()))) return 0;
    gApp = (AppState*)calloc(1, sizeof(AppState));
    if (!gApp) return 0;
    gAccelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(1));
    FsSetUpProviders();
    int exitCode = 0;
    if (CreateMainWindow(instance, showCommand)) {
        MSG message;
        while (GetMessageA(&message, NULL, 0, 0) > 0) {
            if (gAccelerators && TranslateAcceleratorA(gMainWindow, gAccelerators, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        exitCode = (int)message.wParam;
    }
    if (FinishShutdown(JOB_END_WAIT_MS)) {
        // A job that did not stop in time may still use the App state, the providers and every
        // process-wide object: the settings are written and the process ends without freeing any.
        Flush(&gSettings);
        TerminateProcess(GetCurrentProcess(), (UINT)exitCode);
    }
    FsReleaseProviders();
    free(gApp);
    gApp = NULL;
    return exitCode;
}
