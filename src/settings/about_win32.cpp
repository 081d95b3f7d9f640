// The product information box, the dialog class icon, help files through HTML Help,
// WinHelp or the shell, and the vendor's home page.
#include <windows.h>
#include <shellapi.h>
#include <htmlhelp.h>
#include <versionhelpers.h>
#include "app/appstate.h"
#include "platform/fs.h"
#include "platform/procs_win.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/about.h"
#include "settings/dialogs_win.h"
#include "update/download.h"

enum { TEMPLATE_ICON_SETTER = 90 };

typedef decltype(HtmlHelpA)* HtmlHelpProc;

void ShellOpen(HWND owner, const char* target) {
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpFile = target;
    info.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&info);
}

static INT_PTR CALLBACK IconSetterProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    // Every later dialog and message box of the process shows the program icon.
    SetClassLongPtrA(dialog, GCLP_HICON, (LONG_PTR)gApp->largeIcon);
    EndDialog(dialog, 11);
    return TRUE;
}

void ShowProductInfo(HWND owner, int atStartup) {
    if (atStartup) {
        DialogBoxParamA(gApp->instance, MAKEINTRESOURCEA(TEMPLATE_ICON_SETTER), owner, IconSetterProc, 0);
        return;
    }
    char title[256] = "";
    if (gMainWindow) GetWindowTextA(gMainWindow, title, sizeof title);
    if (!title[0]) CopyText(title, sizeof title, gAppTitle);
    ProductFolders folders;
    GatherProductFolders(&gSettings, &folders);
    char text[8192], caption[256];
    FormatProductInfo(title, &folders, text, sizeof text);
    ProductInfoCaption(caption, sizeof caption);
    MessageBoxA(owner, text, caption, MB_OK | MB_ICONINFORMATION);
}

// HTML Help's entry point, loaded on first use; NULL when the system has none.
static HtmlHelpProc HtmlHelpEntry() {
    static HMODULE module;
    static HtmlHelpProc entry;
    if (!module) {
        module = LoadSystemLibrary("hhctrl.ocx");
        entry = ProcAddress<decltype(HtmlHelpA)>(module, MAKEINTRESOURCEA(14)); // HtmlHelpA
    }
    return entry;
}

struct HelpRequest {
    HWND owner;
    int context;
};

static int OpenCompiledHelp(const HelpRequest* request, const char* path) {
    HtmlHelpProc htmlHelp = HtmlHelpEntry();
    if (!htmlHelp) return 0;
    // Over an always-on-top main window only a window it owns can be seen.
    int owned = (gApp->options & OPTION_ALWAYS_ON_TOP) != 0;
    HWND owner = owned ? request->owner : GetDesktopWindow();
    HWND help = request->context ? htmlHelp(owner, path, HH_HELP_CONTEXT, (DWORD_PTR)request->context)
                                 : htmlHelp(owner, path, HH_DISPLAY_TOPIC, 0);
    if (!help) return 0;
    if (!owned) {
        UINT keep = SWP_NOMOVE | SWP_NOSIZE;
        SetWindowPos(help, HWND_TOPMOST, 0, 0, 0, 0, keep);
        SetWindowPos(help, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
        SetWindowPos(help, HWND_TOP, 0, 0, 0, 0, keep);
    }
    return 1;
}

static void OpenWinHelp(const HelpRequest* request, const char* path) {
    if (!IsWindowsVistaOrGreater() || IsWindowsServer()) {
        WinHelpA(request->owner, path, HELP_CONTENTS, 0);
        return;
    }
    // The system's own viewer is gone; an installed WinHelp answers this command line. It is
    // the one in the Windows folder: by bare name the program's and the current folder come first.
    char viewer[MAX_PATH + 32], command[1100];
    if (!WindowsFilePath("winhlp32.exe", viewer, sizeof viewer)) return;
    FormatText(command, sizeof command, "WinHelp \"%s\"", path);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (CreateProcessA(viewer, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

static int HelpExists(const char* path, void*) {
    return FsLocal()->Exists(path);
}

static int OpenHelpOfKind(const char* path, int kind, void* context) {
    const HelpRequest* request = (const HelpRequest*)context;
    switch (kind) {
    case HELP_CHM: return OpenCompiledHelp(request, path);
    case HELP_HLP: OpenWinHelp(request, path); return 1;
    default: ShellOpen(request->owner, path); return 1;
    }
}

int OpenHelp(HWND owner, int context) {
    char program[1024];
    SysModulePath(program, sizeof program);
    HelpRequest request = {owner, context};
    HelpOpener opener = {HelpExists, OpenHelpOfKind, &request};
    return OpenHelpFile(program, gLanguage.code, &opener);
}

void OpenHomepage(HWND owner) {
    char address[1100];
    HomepageAddress(kHomepageBaseUrl, SysSystemLanguage(), address, sizeof address);
    ShellOpen(owner, address);
}
