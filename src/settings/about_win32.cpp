// The product information box, the dialog class icon, help files through HTML Help,
// WinHelp or the shell, and the vendor's home page. Viewers and the browser are started as
// the user at the desktop: help files link to web pages, and a browser or viewer running as
// this administrator would open and run whatever the user then clicks with its rights.
#include <windows.h>
#include <htmlhelp.h>
#include <versionhelpers.h>
#include "app/appstate.h"
#include "platform/desktop_win.h"
#include "platform/fs.h"
#include "platform/procs_win.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "settings/about.h"
#include "settings/dialogs_win.h"
#include "update/download.h"

enum { TEMPLATE_ICON_SETTER = 90 };

typedef decltype(HtmlHelpA)* HtmlHelpProc;

// The desktop shell shows its own messages, owned by no window of this program.
void ShellOpen(HWND, const char* target) {
    StartAsDesktopUser(target, NULL, NULL, SW_SHOWNORMAL);
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

// HTML Help inside this process: only where no desktop shell answers.
static int OpenCompiledHelpHere(const HelpRequest* request, const char* path) {
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

// The system's HTML Help viewer, started by the desktop shell. Its window belongs to another
// process: it cannot be owned by the main window, and comes to the front as the shell starts it.
static int OpenCompiledHelp(const HelpRequest* request, const char* path) {
    char viewer[MAX_PATH + 32], parameters[1100];
    if (!WindowsFilePath("hh.exe", viewer, sizeof viewer) || !FsLocal()->Exists(viewer)) return 0;
    if (request->context)
        FormatText(parameters, sizeof parameters, "-mapid %d \"%s\"", request->context, path);
    else
        FormatText(parameters, sizeof parameters, "\"%s\"", path);
    // A shell that gave no answer in time may still start it: not a second viewer here then.
    int e = StartThroughDesktopShell(viewer, parameters, NULL, SW_SHOWNORMAL);
    if (e == 0 || e == ERROR_TIMEOUT) return 1;
    return OpenCompiledHelpHere(request, path);
}

static void OpenWinHelp(const HelpRequest* request, const char* path) {
    if (!IsWindowsVistaOrGreater() || IsWindowsServer()) {
        WinHelpA(request->owner, path, HELP_CONTENTS, 0);
        return;
    }
    // The system's own viewer is gone; an installed WinHelp opens the file named on its command
    // line. It is the one in the Windows folder: by bare name the program's and the current
    // folder come first.
    char viewer[MAX_PATH + 32], parameters[1100];
    if (!WindowsFilePath("winhlp32.exe", viewer, sizeof viewer)) return;
    FormatText(parameters, sizeof parameters, "\"%s\"", path);
    StartAsDesktopUser(viewer, parameters, NULL, SW_SHOWNORMAL);
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
