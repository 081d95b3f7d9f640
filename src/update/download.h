// The downloader: fetches one resource of the update server into a local file through the
// system's URL download service, with progress in the status line and abort on Stop.
#pragma once
#include <stdint.h>

// The update server's base URL (an address ending in a slash); every relative path is
// appended to it. A build-time setting, writable so that tests can point it elsewhere.
extern char gUpdateBaseUrl[1024];
// The vendor's web site (ending in a slash), for the home page command.
extern const char kHomepageBaseUrl[];

// The most bytes a server list ("products.txt", "dw/cls.txt", "dw/edi.txt", their ".sig"
// files) may have; more ends the download.
const uint64_t LIST_BYTES_MAX = (uint64_t)4 << 20;
// What a download failed with when the answer passed its cap, or announced a longer one.
const long DOWNLOAD_TOO_LARGE = (long)0x800700DFL; // HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)

// Returns 0 when the file was stored, else a failure code (an HRESULT): the download
// service's; 0x80004004 (E_ABORT) after Stop; 0x800C000B when no byte came for the stall
// time; 0x800C0008 for a body shorter or longer than its announced length and for an HTTP
// error answer (0x800C0006 for 404); DOWNLOAD_TOO_LARGE for an answer longer than its cap.
// The cap of a package request ("dw/a.cgi?...") is PACKAGE_BYTES_MAX, and, once its leading
// part has arrived, the whole size its signature block states; any other file's cap is
// LIST_BYTES_MAX. A failed download leaves no file and an existing file at the local path
// unchanged. Returns within about a second of Stop whatever the server does.
long DownloadFile(const char* relativePath, const char* localPath);

// How long a download may go without a byte from the server (connecting and the first byte
// included) before it fails. Writable so that tests can shorten it.
const unsigned long kDownloadStallMs = 30000;
extern unsigned long gDownloadStallMs;

// Reads an answer's header lines ("Name: value", CR LF or LF): 1 with the body's length when
// the answer announces one that the stored file must match, 0 when it does not (no
// Content-Length, or a transfer or content encoding that the service undoes).
int AnnouncedLength(const char* headers, uint64_t* length);

// The progress of one download: the status line follows the largest total seen so far.
struct DownloadProgress {
    uint64_t largestTotal;
};
// The transfer's progress as the downloader last saw it (it looks every 50 ms): 0 to go on,
// or E_ABORT (0x80004004) once Stop was given.
long OnDownloadProgress(DownloadProgress* progress, unsigned long position, unsigned long maximum);
