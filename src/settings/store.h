// The settings store: one INI-style settings file held whole in memory, read and edited
// there and written back in one piece by Flush, in the encoding it came in. It finds the file
// next to the program or in the user's profile, falls back from one to the other when the
// first cannot be written, and keeps a few entries of its own (desktop size, program version,
// relocation marker). Every operation takes the store's mutex with a 50 ms time-out; a
// timed-out read reports "not found", a timed-out write is dropped.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "platform/sys.h"
#include "settings/encoding.h"
#include "settings/ini.h"

#define PROGRAM_SECTION "QXUpdate"
#define PROGRAM_RELEASE "2025"

enum {
    STORE_NO_LOCATE = 1,       // caller: no automatic location, no fallback in Flush
    STORE_TRACK_DESKTOP = 2,   // caller: desktop check at opening, version stamp at Flush
    STORE_NO_PLACEMENT = 4,    // caller: SavePlacement writes nothing
    STORE_DESKTOP_CHANGED = 8, // store: the desktop differs in width and height
};

struct FsProvider;

struct Store {
    SysMutex* mutex;
    const FsProvider* fs; // the local disks, set by OpenStore (tests put a faulty one here)
    char* text;           // the whole file, zero-terminated; NULL until loaded or when there is none
    int utf8;             // the loaded file began with the UTF-8 byte order mark
    // How the loaded file holds the text: written back the same way; when the text could not
    // hold the file at path whole, the file is kept beside it before it is first overwritten.
    TextEncoding encoding;
    // The error of the last load of a file that exists but could not be read (held open by
    // another program): text did not come from it, so Flush writes nothing. 0 otherwise.
    int unreadable;
    int dirty;
    uint32_t flags;
    int suspendCount;
    char path[1024];
};

struct Placement {
    int32_t x, y, width, height;
    uint16_t showState; // 0 default, 1 normal, 3 maximised
};

// The position value that lets the window system choose.
#define PLACEMENT_DEFAULT_POSITION ((int32_t)0x80000000)

void OpenStore(Store* store, const char* path, uint32_t flags);
void CloseStore(Store* store);
int SetFile(Store* store, const char* path, int mode);
size_t LocalLocation(char* out, size_t size);
size_t ProfileLocation(char* out, size_t size);
void LoadContent(Store* store, const char* path);
void DropContent(Store* store);
int Flush(Store* store);
size_t GetFilePath(Store* store, char* out, size_t size);
// Names that running copies of the program share exactly when they use the same settings file,
// whatever the spelling of its path: "QXUpdate-" and 16 hex digits. SETTINGS_KEY_FOLDER is made
// from the identity of the file's folder (its long path where that cannot be read) and the file's
// long name; SETTINGS_KEY_FILE from the file's own identity, empty while the file does not exist.
enum { SETTINGS_KEY_FOLDER, SETTINGS_KEY_FILE, SETTINGS_KEYS };
size_t SettingsFileKey(Store* store, int which, char* out, size_t size);
void Suspend(Store* store);

// Reading: 0 found, 1 not found. A missing value yields the default (or ""); a value present
// but empty yields "".
int ReadValue(Store* store, const char* section, const char* key, const char* defaultText, char* out,
              size_t size);
int ReadText(Store* store, const char* section, const char* key, const char* defaultText, char* out,
             size_t size);
int32_t ReadInt(Store* store, const char* section, const char* key, int32_t defaultValue);
uint32_t ReadOptions(Store* store, const char* section, uint32_t defaultValue);
typedef int (*EnumKeyProc)(const char* name, void* context);
int EnumKeys(Store* store, const char* section, EnumKeyProc proc, void* context);
int EnumKeyValues(Store* store, const char* section, IniEntryProc proc, void* context);
void LoadPlacement(Store* store, const char* section, Placement* placement, int width, int height);
int DesktopChanged(Store* store);

// Writing changes the text in memory; the file changes at Flush.
void WriteText(Store* store, const char* section, const char* key, const char* value);
void WriteInt(Store* store, const char* section, const char* key, uint32_t value);
void WriteOptions(Store* store, const char* section, uint32_t value);
void DeleteKey(Store* store, const char* section, const char* key);
void DeleteSection(Store* store, const char* section);
void SavePlacement(Store* store, const char* section, const Placement* placement);

// n × (work-area width / 16, at least 100) / 100; the factor is computed once per run.
int ScaleToScreen(int n);
// Drops the factor, so that the next ScaleToScreen measures the work area again (tests).
void ForgetScreenScale();
