// The downloader over URLDownloadToFileA with a status callback object that drives the
// status line's progress, aborts on Stop, bypasses stale cached answers and records the
// HTTP status, so that an error page is never taken for the resource.
#include "update/download.h"
#include <windows.h>
#include <urlmon.h>
#include <string.h>
#include "app/appstate.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "update/statusline.h"

#ifndef INET_E_OBJECT_NOT_FOUND
#define INET_E_OBJECT_NOT_FOUND ((HRESULT)0x800C0006L)
#endif
#ifndef INET_E_DOWNLOAD_FAILURE
#define INET_E_DOWNLOAD_FAILURE ((HRESULT)0x800C0008L)
#endif

// Lives on DownloadFile's stack for one call; not reference-counted.
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

struct DownloadStatusCallback : IBindStatusCallback, IHttpNegotiate {
    DownloadProgress progress = {0};
    DWORD httpStatus = 0;

    // IBindStatusCallback
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        // Only the HTTP answer is of interest beyond the callback itself.
        if (IsEqualIID(iid, IID_IHttpNegotiate)) {
            *object = static_cast<IHttpNegotiate*>(this);
            return S_OK;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 0; }
    STDMETHODIMP_(ULONG) Release() override { return 0; }
    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP OnProgress(ULONG position, ULONG maximum, ULONG, LPCWSTR) override {
        return (HRESULT)OnDownloadProgress(&progress, position, maximum);
    }
    STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override {
        // Always the newest answer, and nothing left in the cache: a changed catalogue or
        // a replaced package must be the one that is read.
        *flags = BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE | BINDF_RESYNCHRONIZE;
        (void)info;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

    // IHttpNegotiate: reached through QueryInterface; records the answer's status.
    STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional) override {
        if (additional) *additional = NULL;
        return S_OK;
    }
    STDMETHODIMP OnResponse(DWORD status, LPCWSTR, LPCWSTR, LPWSTR* additional) override {
        if (additional) *additional = NULL;
        httpStatus = status;
        return S_OK;
    }
};

long DownloadFile(const char* relativePath, const char* localPath) {
    DownloadStatusCallback callback;
    char folder[1024];
    CopyText(folder, sizeof folder, localPath);
    char* cut = strrchr(folder, '\\');
    char* slash = strrchr(folder, '/');
    if (slash > cut) cut = slash;
    if (cut) {
        *cut = 0;
        FsLocal()->CreateFolder(folder);
    }
    char address[1024];
    CopyText(address, sizeof address, gUpdateBaseUrl);
    AppendText(address, sizeof address, relativePath);
    ProgressBegin(&gStatusLine);
    HRESULT result = URLDownloadToFileA(NULL, address, localPath, 0, &callback);
    ProgressEnd(&gStatusLine);
    if (result == S_OK && callback.httpStatus >= 400) {
        FsLocal()->Delete(localPath);
        result = callback.httpStatus == 404 ? INET_E_OBJECT_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
    }
    return (long)result;
}
