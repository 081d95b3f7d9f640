// The downloader over URLDownloadToFileA. Each transfer runs on a thread of its own, with a
// status callback object that records the progress, the HTTP answer and the binding. The
// calling thread watches it: it drives the status line, notices Stop and a server that has
// gone quiet, and then has the binding aborted on the transfer's own thread. A transfer
// that does not end soon after is left to end by itself, so a download never hangs its caller.
// The file is stored under a name of its own and moved into place only when it is whole.
#include "update/download.h"
#include "update/download_win.h"
#include <new>
#include <stdlib.h>
#include <string.h>
#include "app/appstate.h"
#include "platform/fs.h"
#include "platform/procs_win.h"
#include "platform/text.h"
#include "update/signature.h"
#include "update/statusline.h"

#ifndef INET_E_OBJECT_NOT_FOUND
#define INET_E_OBJECT_NOT_FOUND ((HRESULT)0x800C0006L)
#endif
#ifndef INET_E_DOWNLOAD_FAILURE
#define INET_E_DOWNLOAD_FAILURE ((HRESULT)0x800C0008L)
#endif
#ifndef INET_E_CONNECTION_TIMEOUT
#define INET_E_CONNECTION_TIMEOUT ((HRESULT)0x800C000BL)
#endif

// How often the calling thread looks at the transfer, and how long it waits for an aborted
// transfer to end before leaving it to end on its own.
static const DWORD kWatchMs = 50;
static const DWORD kAbortGraceMs = 1000;
static const char kTransferClass[] = "QXUpdateTransfer";

// urlmon.dll is not one of the system's known DLLs: imported at load time, a copy beside the
// program would be loaded in its place. It is loaded from the system folder on first use.
static decltype(URLDownloadToFileA)* gSystemDownload;

static BOOL CALLBACK LoadUrlMoniker(INIT_ONCE*, void*, void**) {
    gSystemDownload =
        ProcAddress<decltype(URLDownloadToFileA)>(LoadSystemLibrary("urlmon.dll"), "URLDownloadToFileA");
    return TRUE;
}

HRESULT WINAPI SystemUrlDownload(LPUNKNOWN caller, LPCSTR address, LPCSTR path, DWORD reserved,
                                 LPBINDSTATUSCALLBACK callback) {
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&once, LoadUrlMoniker, NULL, NULL);
    if (!gSystemDownload) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    return gSystemDownload(caller, address, path, reserved, callback);
}

UrlDownloadProc gUrlDownload = SystemUrlDownload;

long OnDownloadProgress(DownloadProgress* progress, unsigned long position, unsigned long maximum) {
    if (gApp && gApp->cancelRequested) return E_ABORT;
    uint64_t total = maximum;
    if (total > progress->largestTotal) {
        progress->largestTotal = total;
        ProgressSetTotal(&gStatusLine, total);
    }
    if (position) ProgressSetPosition(&gStatusLine, position);
    return S_OK;
}

// Shared by the calling thread and the transfer thread; freed by whichever lets go last.
// The callbacks run on the transfer thread and touch nothing but this record.
struct Transfer final : IBindStatusCallback, IHttpNegotiate {
    char address[1024] = "";
    char partPath[1024] = ""; // where the service stores the file until it is judged whole
    volatile LONG refs = 2;
    volatile LONG abortRequested = 0;
    volatile LONG position = 0, maximum = 0;
    volatile LONG activity = 0;  // counts the notifications that brought bytes from the server
    HWND volatile window = NULL; // the transfer thread's message window, while it binds
    IBinding* binding = NULL;    // used on the transfer thread only
    DWORD httpStatus = 0;
    int announced = 0;
    uint64_t announcedLength = 0;
    HRESULT result = E_FAIL;
    // The most bytes taken; for a package, lowered to its signed size once its leading part
    // can be read from the file the service fills while the transfer runs.
    uint64_t cap = LIST_BYTES_MAX;
    int package = 0, leadRead = 0;
    char cacheFile[1024] = "";
    volatile LONG cacheKnown = 0;

    // IBindStatusCallback; never handed out, not reference-counted.
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        // Only the HTTP answer is of interest beyond the callback itself.
        if (IsEqualIID(iid, IID_IHttpNegotiate)) {
            *object = static_cast<IHttpNegotiate*>(this);
            return S_OK;
        }
        *object = NULL;
        return E_NOTIMPL;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 0; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    STDMETHODIMP OnStartBinding(DWORD, IBinding* started) override {
        if (abortRequested) return E_ABORT;
        if (started) {
            started->AddRef();
            binding = started;
        }
        return S_OK;
    }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP OnProgress(ULONG at, ULONG total, ULONG status, LPCWSTR text) override {
        if (abortRequested) return E_ABORT;
        if (status == BINDSTATUS_CACHEFILENAMEAVAILABLE && text && !cacheKnown &&
            WideCharToMultiByte(CP_ACP, 0, text, -1, cacheFile, sizeof cacheFile, NULL, NULL) > 0)
            InterlockedExchange(&cacheKnown, 1);
        if (at != (ULONG)position) {
            InterlockedExchange(&position, (LONG)at);
            InterlockedIncrement(&activity);
        }
        InterlockedExchange(&maximum, (LONG)total);
        return S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override {
        ReleaseBinding();
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override {
        // Keep what the service asks for, and always fetch the newest copy: a changed
        // catalogue or a replaced package must be the one that is read.
        if (flags) *flags |= BINDF_GETNEWESTVERSION | BINDF_RESYNCHRONIZE | BINDF_PRAGMA_NO_CACHE;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

    // IHttpNegotiate: reached through QueryInterface; records the answer.
    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override {
        if (additional) *additional = NULL;
        return S_OK;
    }
    STDMETHODIMP OnResponse(DWORD status, LPCWSTR headers, LPCWSTR, LPWSTR* additional) override {
        if (additional) *additional = NULL;
        httpStatus = status;
        announced = 0;
        InterlockedIncrement(&activity);
        int size = headers ? WideCharToMultiByte(CP_ACP, 0, headers, -1, NULL, 0, NULL, NULL) : 0;
        char* text = size > 0 ? (char*)malloc((size_t)size) : NULL;
        if (text && WideCharToMultiByte(CP_ACP, 0, headers, -1, text, size, NULL, NULL) > 0)
            announced = AnnouncedLength(text, &announcedLength);
        free(text);
        return S_OK;
    }

    void ReleaseBinding() {
        IBinding* held = binding;
        binding = NULL;
        if (held) held->Release();
    }
};

static void ReleaseTransfer(Transfer* t) {
    if (InterlockedDecrement(&t->refs)) return;
    FsLocal()->Delete(t->partPath); // still there only when the download failed
    delete t;
}

static UINT AbortMessage() {
    static UINT message = RegisterWindowMessageA("QXUpdateTransferAbort");
    return message;
}

// Runs on the transfer thread, inside the service's wait, when the calling thread asks for
// the abort: the binding is aborted by the thread that owns it.
static LRESULT CALLBACK TransferWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == AbortMessage() && message) {
        Transfer* t = (Transfer*)GetWindowLongPtrA(window, GWLP_USERDATA);
        IBinding* held = t ? t->binding : NULL;
        if (held) {
            t->binding = NULL; // the abort reports the stop at once, and once is enough
            held->Abort();
            held->Release();
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static DWORD WINAPI TransferThread(void* parameter) {
    Transfer* t = (Transfer*)parameter;
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TransferWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = kTransferClass;
    RegisterClassA(&windowClass); // fails harmlessly once the class exists
    HWND window = CreateWindowExA(0, kTransferClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                  windowClass.hInstance, NULL);
    if (window) SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)t);
    t->window = window;
    t->result = gUrlDownload(NULL, t->address, t->partPath, 0, t);
    t->window = NULL;
    if (window) DestroyWindow(window);
    t->ReleaseBinding();
    if (SUCCEEDED(com)) CoUninitialize();
    ReleaseTransfer(t);
    return 0;
}

static void RequestAbort(Transfer* t) {
    InterlockedExchange(&t->abortRequested, 1);
    HWND window = t->window;
    if (!window) return; // not binding yet: the first callback answers the abort
    // A sent message is delivered inside the service's wait whenever it looks at the queue;
    // the posted one makes it look now.
    SendNotifyMessageA(window, AbortMessage(), 0, 0);
    PostMessageA(window, WM_NULL, 0, 0);
}

// A package's signed size, read from the file the service fills, once its leading part is
// there; the cap stays as it is when the package states none.
static void ReadSignedSize(Transfer* t, const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return;
    uint8_t block[SIGNATURE_BINDING_SIZE + SIGNATURE_BLOCK_SIZE];
    DWORD got = 0;
    LONG at = (LONG)SIGNATURE_BINDING_AT;
    if (SetFilePointer(file, at, NULL, FILE_BEGIN) == (DWORD)at &&
        ReadFile(file, block, sizeof block, &got, NULL) && got == sizeof block) {
        uint64_t total = 0;
        if (SignedPackageSize(block, sizeof block, &total) == 0 && total < t->cap) t->cap = total;
        t->leadRead = 1;
    }
    CloseHandle(file);
}

// Whether the transfer has passed its cap, or announced that it will.
static int OverCap(Transfer* t) {
    uint64_t position = (ULONG)t->position;
    if (t->package && !t->leadRead && t->cacheKnown && position >= PACKAGE_LEAD_SIZE)
        ReadSignedSize(t, t->cacheFile);
    return position > t->cap || (t->announced && t->announcedLength > t->cap);
}

static uint64_t FileSize(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return 0;
    return ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

// Watches the transfer until it ends, or until an abort it asked for has had its grace
// time. Returns the transfer's result as judged here, or the reason for giving up on it.
static HRESULT WatchTransfer(Transfer* t, HANDLE thread, const char* localPath) {
    DownloadProgress progress = {0};
    HRESULT stop = S_OK; // E_ABORT after Stop, the time-out after a stall
    LONG seen = 0;
    DWORD quietSince = GetTickCount(), abortedAt = 0;
    int ended = 0;
    for (;;) {
        if (OnDownloadProgress(&progress, (ULONG)t->position, (ULONG)t->maximum) == E_ABORT && !stop)
            stop = E_ABORT;
        if (ended) break;
        DWORD now = GetTickCount();
        if (!stop && OverCap(t)) stop = DOWNLOAD_TOO_LARGE;
        if (t->activity != seen) {
            seen = t->activity;
            quietSince = now;
        } else if (!stop && now - quietSince >= gDownloadStallMs) {
            stop = INET_E_CONNECTION_TIMEOUT;
        }
        if (stop) {
            if (!abortedAt) abortedAt = now ? now : 1;
            if (now - abortedAt >= kAbortGraceMs) return stop; // it ends on its own later
            RequestAbort(t);
        }
        ended = WaitForSingleObject(thread, kWatchMs) == WAIT_OBJECT_0;
    }
    HRESULT result = t->result;
    if (result == S_OK && t->httpStatus >= 400)
        result = t->httpStatus == 404 ? INET_E_OBJECT_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
    // The service ends a cut answer as if it were whole: its length tells.
    if (result == S_OK && t->announced && t->httpStatus >= 200 && t->httpStatus < 300 &&
        FileSize(t->partPath) != t->announcedLength)
        result = INET_E_DOWNLOAD_FAILURE;
    // Bytes that came between two looks and ended the transfer past its cap.
    if (result == S_OK && t->package && !t->leadRead) ReadSignedSize(t, t->partPath);
    if (result == S_OK && (OverCap(t) || FileSize(t->partPath) > t->cap)) result = DOWNLOAD_TOO_LARGE;
    if (result != S_OK && stop) result = stop;
    if (result == S_OK) {
        int error = FsLocal()->Move(t->partPath, localPath);
        if (error) result = HRESULT_FROM_WIN32(error);
    }
    return result;
}

long DownloadFile(const char* relativePath, const char* localPath) {
    char folder[1024];
    CopyText(folder, sizeof folder, localPath);
    char* cut = strrchr(folder, '\\');
    char* slash = strrchr(folder, '/');
    if (slash > cut) cut = slash;
    if (cut) {
        *cut = 0;
        FsLocal()->CreateFolder(folder);
    }
    Transfer* t = new (std::nothrow) Transfer();
    if (!t) return E_OUTOFMEMORY;
    CopyText(t->address, sizeof t->address, gUpdateBaseUrl);
    AppendText(t->address, sizeof t->address, relativePath);
    t->package = strncmp(relativePath, "dw/a.cgi?", 9) == 0;
    if (t->package) t->cap = PACKAGE_BYTES_MAX;
    // A name no other transfer uses, not even one that was left to end on its own.
    static volatile LONG serial = 0;
    FormatText(t->partPath, sizeof t->partPath, "%s.%ld~", localPath, InterlockedIncrement(&serial));
    if (strlen(localPath) + 16 >= sizeof t->partPath) {
        delete t;
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    ProgressBegin(&gStatusLine);
    HRESULT result;
    HANDLE thread = CreateThread(NULL, 0, TransferThread, t, 0, NULL);
    if (thread) {
        result = WatchTransfer(t, thread, localPath);
        CloseHandle(thread);
    } else {
        result = HRESULT_FROM_WIN32(GetLastError());
        InterlockedDecrement(&t->refs);
    }
    ProgressEnd(&gStatusLine);
    ReleaseTransfer(t);
    return (long)result;
}
