// The downloader: fetches one resource of the update server into a local file through the
// system's URL download service, with progress in the status line and abort on Stop.
#pragma once
#include <stdint.h>

// The update server's base URL (an address ending in a slash); every relative path is
// appended to it. A build-time setting, writable so that tests can point it elsewhere.
extern char gUpdateBaseUrl[1024];
// The vendor's web site (ending in a slash), for the home page command.
extern const char kHomepageBaseUrl[];

// Returns 0 when the file was stored, else a failure code (an HRESULT): the download
// service's, or for an HTTP error answer 0x800C0006 (404) or 0x800C0008 (others), after
// deleting the stored error page.
long DownloadFile(const char* relativePath, const char* localPath);

// The progress of one download: the status line follows the largest total seen so far.
struct DownloadProgress {
    uint64_t largestTotal;
};
// One progress notification: 0 to go on, or E_ABORT (0x80004004) once Stop was given.
long OnDownloadProgress(DownloadProgress* progress, unsigned long position, unsigned long maximum);
