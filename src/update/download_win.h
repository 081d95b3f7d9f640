// The downloader's use of the system's download service, which tests may stand in for.
#pragma once
#include <windows.h>
#include <urlmon.h>

typedef HRESULT(WINAPI* UrlDownloadProc)(LPUNKNOWN, LPCSTR, LPCSTR, DWORD, LPBINDSTATUSCALLBACK);
// URLDownloadToFileA, called on the transfer thread.
extern UrlDownloadProc gUrlDownload;
