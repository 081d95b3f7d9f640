// The downloader's use of the system's download service, which tests may stand in for.
#pragma once
#include <windows.h>
#include <urlmon.h>

typedef HRESULT(WINAPI* UrlDownloadProc)(LPUNKNOWN, LPCSTR, LPCSTR, DWORD, LPBINDSTATUSCALLBACK);
// URLDownloadToFileA, called on the transfer thread; SystemUrlDownload unless a test stands in.
extern UrlDownloadProc gUrlDownload;
// URLDownloadToFileA of the system folder's urlmon.dll, loaded on first use (a failure code when
// the system has none).
HRESULT WINAPI SystemUrlDownload(LPUNKNOWN caller, LPCSTR address, LPCSTR path, DWORD reserved,
                                 LPBINDSTATUSCALLBACK callback);
