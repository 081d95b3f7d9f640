// Starting programs, documents and web pages as the user at the desktop. This program runs as
// administrator, and whatever it starts itself inherits that, with every DLL and plug-in it
// loads. The desktop shell runs with the user's own rights: its folder view's automation
// object (the one scripts get as Shell.Application) is asked to start the file, so the new
// process is the shell's child. Only where no desktop shell answers is it started from here.
#include "platform/desktop_win.h"
#include <windows.h>
#include <shellapi.h>
// The automation object's method below, not the ANSI or wide name of the shell's function.
#undef ShellExecute
#include <exdisp.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

volatile LONG gLastStartWay;

// One start as the automation object takes it: text as BSTRs, the optional parts as VARIANTs
// (VT_EMPTY for the shell's default).
struct ShellStart {
    BSTR file;
    VARIANT parameters, folder, verb, show;
};

// A text of the system's code page as a BSTR. A byte that is no character of that code page
// refuses the text: turned into a stand-in character it could name another file.
static int MakeBstr(const char* text, BSTR* out) {
    int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, NULL, 0);
    if (n <= 0) return (int)GetLastError();
    *out = SysAllocStringLen(NULL, (UINT)(n - 1));
    if (!*out) return ERROR_NOT_ENOUGH_MEMORY;
    int written = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, *out, n);
    return written == n ? 0 : (int)GetLastError();
}

static int MakeOptional(const char* text, VARIANT* out) {
    if (!text) return 0;
    out->vt = VT_BSTR;
    out->bstrVal = NULL;
    return MakeBstr(text, &out->bstrVal);
}

static void FreeStart(ShellStart* start) {
    SysFreeString(start->file);
    VariantClear(&start->parameters);
    VariantClear(&start->folder);
}

static int MakeStart(ShellStart* start, const char* file, const char* parameters, const char* folder,
                     int show) {
    start->file = NULL;
    VariantInit(&start->parameters);
    VariantInit(&start->folder);
    VariantInit(&start->verb);
    VariantInit(&start->show);
    start->show.vt = VT_I4;
    start->show.lVal = show;
    int error = MakeBstr(file, &start->file);
    if (!error) error = MakeOptional(parameters, &start->parameters);
    if (!error) error = MakeOptional(folder, &start->folder);
    return error;
}

// A call's result, and a failure too when it gave no object. The object is read through its
// address once the call has returned.
template <typename Object>
static HRESULT Got(HRESULT hr, Object* const* object) {
    return FAILED(hr) ? hr : *object ? S_OK : E_NOINTERFACE;
}

static void Drop(IUnknown* object) {
    if (object) object->Release();
}

// The desktop's window of the shell's window list, its browser and the browser's folder view.
static HRESULT FindDesktopView(IShellView** view, HWND* desktop) {
    IShellWindows* windows = NULL;
    IDispatch* top = NULL;
    IServiceProvider* services = NULL;
    IShellBrowser* browser = NULL;
    // Only the running shell's object will do: one made in this process would start the file
    // with this process's rights.
    HRESULT hr =
        CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows, (void**)&windows);
    hr = Got(hr, &windows);
    if (SUCCEEDED(hr)) {
        VARIANT location, root;
        VariantInit(&location);
        VariantInit(&root);
        location.vt = VT_I4;
        location.lVal = CSIDL_DESKTOP;
        long window = 0;
        hr = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &top);
        hr = Got(hr, &top);
        *desktop = (HWND)(LONG_PTR)window;
    }
    if (SUCCEEDED(hr)) hr = Got(top->QueryInterface(IID_IServiceProvider, (void**)&services), &services);
    if (SUCCEEDED(hr))
        hr = Got(services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, (void**)&browser), &browser);
    if (SUCCEEDED(hr)) hr = Got(browser->QueryActiveShellView(view), view);
    Drop(browser);
    Drop(services);
    Drop(top);
    Drop(windows);
    return hr;
}

// The folder view's background object, its dual interface and the shell's dispatch object.
static HRESULT FindDesktopShell(IShellDispatch2** shell, HWND* desktop) {
    IShellView* view = NULL;
    IDispatch* background = NULL;
    IShellFolderViewDual* folderView = NULL;
    IDispatch* application = NULL;
    HRESULT hr = FindDesktopView(&view, desktop);
    if (SUCCEEDED(hr))
        hr = Got(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, (void**)&background), &background);
    if (SUCCEEDED(hr))
        hr = Got(background->QueryInterface(IID_IShellFolderViewDual, (void**)&folderView), &folderView);
    if (SUCCEEDED(hr)) hr = Got(folderView->get_Application(&application), &application);
    if (SUCCEEDED(hr)) hr = Got(application->QueryInterface(IID_IShellDispatch2, (void**)shell), shell);
    Drop(application);
    Drop(folderView);
    Drop(background);
    Drop(view);
    return hr;
}

FindDesktopShellProc gFindDesktopShell = FindDesktopShell;

// Any failure means that no desktop shell answered.
static HRESULT AskDesktopShell(ShellStart* start) {
    IShellDispatch2* shell = NULL;
    HWND desktop = NULL;
    HRESULT hr = Got(gFindDesktopShell(&shell, &desktop), &shell);
    if (SUCCEEDED(hr)) {
        // The user asked for it here: the shell may bring it to the front.
        DWORD process = 0;
        if (GetWindowThreadProcessId(desktop, &process)) AllowSetForegroundWindow(process);
        hr = shell->ShellExecute(start->file, start->parameters, start->folder, start->verb, start->show);
    }
    Drop(shell);
    if (SUCCEEDED(hr)) InterlockedExchange(&gLastStartWay, START_BY_DESKTOP_SHELL);
    return hr;
}

static int StartHere(const char* file, const char* parameters, const char* folder, int show) {
    InterlockedExchange(&gLastStartWay, START_BY_THIS_PROCESS);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = folder;
    info.nShow = show;
    return ShellExecuteExA(&info) ? 0 : (int)GetLastError();
}

unsigned gDesktopShellWait = 5000;

// One request to the desktop shell, asked on a thread of its own with COM of its own: a
// shell that does not answer must not hold the window, or the update run, that asked.
// Whichever of the two is done last frees it.
struct ShellCall {
    ShellStart start;
    HRESULT hr;
    HANDLE done;
    volatile LONG users;
};

static void ReleaseCall(ShellCall* call) {
    if (InterlockedDecrement(&call->users) != 0) return;
    FreeStart(&call->start);
    if (call->done) CloseHandle(call->done);
    free(call);
}

static DWORD WINAPI AskOnOwnThread(void* context) {
    ShellCall* call = (ShellCall*)context;
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    call->hr = AskDesktopShell(&call->start);
    if (SUCCEEDED(com)) CoUninitialize();
    SetEvent(call->done);
    ReleaseCall(call);
    return 0;
}

// The shell's answer: 0 once it took the start, ERROR_TIMEOUT when it gave none in time (it may
// still start the file later), else the failure.
static HRESULT AskInTime(const char* file, const char* parameters, const char* folder, int show) {
    ShellCall* call = (ShellCall*)calloc(1, sizeof *call);
    if (!call) return E_OUTOFMEMORY;
    call->users = 1;
    call->done = CreateEventA(NULL, TRUE, FALSE, NULL);
    int error = call->done ? MakeStart(&call->start, file, parameters, folder, show) : (int)GetLastError();
    HANDLE thread = NULL;
    if (!error) {
        call->users = 2;
        thread = CreateThread(NULL, 0, AskOnOwnThread, call, 0, NULL);
        if (!thread) error = (int)GetLastError(), call->users = 1;
    }
    HRESULT hr = HRESULT_FROM_WIN32(error);
    if (thread) {
        CloseHandle(thread);
        hr = WaitForSingleObject(call->done, gDesktopShellWait) == WAIT_OBJECT_0
                 ? call->hr
                 : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    ReleaseCall(call);
    return hr;
}

static int Start(const char* file, const char* parameters, const char* folder, int show, int fallback) {
    HRESULT hr = AskInTime(file, parameters, folder, show);
    if (SUCCEEDED(hr)) return 0;
    // A text that is no exact text, or a shell still busy with it: starting it here could
    // start another file, or this one twice.
    int refused =
        hr == HRESULT_FROM_WIN32(ERROR_TIMEOUT) || hr == HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
    if (fallback && !refused) return StartHere(file, parameters, folder, show);
    return HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : (int)hr;
}

int StartThroughDesktopShell(const char* file, const char* parameters, const char* folder, int show) {
    return Start(file, parameters, folder, show, 0);
}

int StartAsDesktopUser(const char* file, const char* parameters, const char* folder, int show) {
    return Start(file, parameters, folder, show, 1);
}
