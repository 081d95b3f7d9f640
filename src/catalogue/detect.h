// Installed-product detection: the registry folders searched at start-up, the scan of the
// fixed drives, and the version resources of the program files found.
#pragma once
#include <stddef.h>
#include "catalogue/product.h"
#include "platform/fs.h"

// The names of the vendor's program files, and the vendor named in their version resources.
#define PROGRAM_FILE_MASK "QX*.exe"
#define VENDOR_NAME "Corvanware"

// Reads CompanyName (at most 63 characters), ProductName (63) and FileVersion (31) of a
// program file's version resource into zero-filled buffers of 64, 64 and 32 bytes. A file
// without a version resource gets defaultText in all three; a string that cannot be found
// or is empty gets defaultText.
typedef void (*ReadVersionProc)(const char* path, char* company, char* product, char* version,
                                const char* defaultText);
void ReadVersionStrings(const char* path, char* company, char* product, char* version,
                        const char* defaultText);
// Sets the record's instVersion from the FileVersion of the file at its location, when that
// FileVersion is not empty.
void ReadInstalledVersion(Product* record);

// True when the file-name part of fileName matches one of the ';'-separated masks, each
// applied as a rename mask ('?' takes the name's character, '*' the rest of the part) and
// the result compared with the name ignoring case.
int MatchesMaskList(const char* fileName, const char* masks);

// What a scan needs of the system: the Windows layer gives it the version-resource reader,
// pane 0 of the status line and the App state's Stop flag; tests give stand-ins.
struct ScanHost {
    ReadVersionProc ReadVersion;
    void (*ShowFolder)(const char* folder);
    const volatile long* cancelRequested;
};

// Paths are built in buffers of this size; a path that does not fit is not scanned.
enum { SCAN_PATH_SIZE = 1024 };

// One scan: where the rows go, the folder being enumerated and the subfolder names
// collected in it (each zero-terminated, one after another).
struct ScanContext {
    const RowStore* rows;
    const FsProvider* fs;
    const ScanHost* host;
    char folder[SCAN_PATH_SIZE];
    char* names;
    size_t used, capacity;
    int count;
};

void BeginScan(ScanContext* context, const RowStore* rows, const FsProvider* fs, const ScanHost* host);
void EndScan(ScanContext* context);
// Scans a folder and every folder below it for the vendor's program files and merges each
// one found into the rows. Links to folders (junctions) are not entered: what they point to
// is scanned where it lives, and a link back up the tree would never end.
void ScanFolderForProducts(const char* folder, ScanContext* context);
// Looks at one entry of the folder being enumerated; nonzero when the scan is to stop.
int ExamineFolderEntry(const FsEntry* entry, ScanContext* context);

// Turns a registry value's raw data (size bytes, of any type) into a folder to scan. Only
// the text up to the first zero byte counts; it must be a full path (a drive's root or a
// network share), as a relative one would name whatever the current folder is. Returns 1
// with the folder in out, or 0 when the value names no folder that can be scanned.
int RegistryValueToFolder(const char* data, size_t size, char* out, size_t outSize);
