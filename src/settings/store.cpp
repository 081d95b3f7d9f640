// The settings store: location of the settings file, the in-memory text and its locking,
// and writing it back with fallback to the profile settings file.
#include "settings/store.h"
#include <stdlib.h>
#include <string.h>
#include "platform/fs.h"
#include "platform/text.h"
#include "settings/pathmacro.h"

enum { LOCK_TIMEOUT_MS = 50 };
static const char kBom[] = "\xEF\xBB\xBF";

// Holds the store's mutex for one operation; 'held' is 0 after a time-out.
struct StoreLock {
    Store* store;
    int held;
    explicit StoreLock(Store* s) : store(s), held(SysMutexLock(s->mutex, LOCK_TIMEOUT_MS) == 0) {}
    ~StoreLock() {
        if (held) SysMutexUnlock(store->mutex);
    }
};

static int HasInvalidNameCharacter(const char* path) {
    for (const unsigned char* p = (const unsigned char*)PathFileName(path); *p; p++)
        if (*p < 32 || strchr("<>:\"|?*", *p)) return 1;
    return 0;
}

size_t LocalLocation(char* out, size_t size) {
    char path[1024];
    SysModulePath(path, sizeof path);
    char* dot = strrchr(path, '.');
    if (dot) *dot = 0;
    char* name = (char*)PathFileName(path);
    if (strlen(name) > 5) name[5] = 0;
    AppendText(path, sizeof path, ".INI");
    return CopyText(out, size, path);
}

size_t ProfileLocation(char* out, size_t size) {
    char folder[1024] = "", host[1024], program[1024];
    if (SysExpandEnvironment("%U3_HOST_EXEC_PATH%", host, sizeof host) && host[0] && host[0] != '%') {
        SysModulePath(program, sizeof program);
        char data[1024];
        if (PathInside(program, host) && SysExpandEnvironment("%U3_APP_DATA_PATH%", data, sizeof data) &&
            data[0] && data[0] != '%' && FsLocal()->Exists(data)) {
            NormalisePath(data, sizeof data);
            size_t n = strlen(data);
            while (n > 1 && IsPathSeparator(data[n - 1]) && data[n - 2] != ':')
                data[--n] = 0;
            CopyText(folder, sizeof folder, data);
        }
    }
    if (!folder[0]) ProfileFolder(folder, sizeof folder, NULL);
    if (!folder[0]) return CopyText(out, size, "");
    char local[1024];
    LocalLocation(local, sizeof local);
    size_t n = strlen(folder);
    if (!IsPathSeparator(folder[n - 1])) AppendText(folder, sizeof folder, "\\");
    AppendText(folder, sizeof folder, PathFileName(local));
    return CopyText(out, size, folder);
}

int SetFile(Store* store, const char* path, int mode) {
    if (!path) return -1;
    StoreLock lock(store);
    if (!lock.held) return ERR_WAIT_TIMEOUT;
    if (SysCompareNoCase(path, store->path) == 0) return -1;
    const FsProvider* fs = FsLocal();
    if (path[0] && !(mode == 0 && !fs->Exists(path))) {
        if (HasInvalidNameCharacter(path)) return ERR_INVALID_NAME;
        FsFile* file;
        int r = fs->Open(path, FS_OPEN_READWRITE, 0, &file);
        if (r) return r;
        fs->Close(file);
    }
    CopyText(store->path, sizeof store->path, path);
    // A damaged original is kept only from being overwritten by its own text.
    store->encoding.damaged = 0;
    return 0;
}

void DropContent(Store* store) {
    StoreLock lock(store);
    if (!lock.held) return;
    free(store->text);
    store->text = NULL;
    store->unreadable = 0;
    FreeTextEncoding(&store->encoding);
}

void LoadContent(Store* store, const char* path) {
    StoreLock lock(store);
    if (!lock.held) return;
    DropContent(store);
    if (store->suspendCount) return;
    const char* from = path ? path : store->path;
    if (!from[0]) return;
    char* data;
    size_t size;
    int r = FsLocal()->ReadWhole(from, &data, &size);
    if (r) {
        if (r != ERR_FILE_NOT_FOUND && r != ERR_PATH_NOT_FOUND) store->unreadable = r;
        return;
    }
    store->text = DecodeText(data, size, &store->encoding);
    if (path && SysCompareNoCase(path, store->path) != 0) store->encoding.damaged = 0;
    if (store->text && store->encoding.kind == TEXT_ANSI && size >= 3 && StartsWith(store->text, kBom))
        store->utf8 = 1;
}

static void LoadIfNeeded(Store* store) {
    if (!store->text) LoadContent(store, NULL);
}

static void LocateFile(Store* store) {
    char profile[1024], local[1024];
    ProfileLocation(profile, sizeof profile);
    LocalLocation(local, sizeof local);
    const FsProvider* fs = FsLocal();
    int profileExists = profile[0] && fs->Exists(profile);
    int localExists = fs->Exists(local);
    if (profileExists) SetFile(store, profile, 1);
    if (localExists) {
        // A profile file with the relocation marker wins; without it, a writable local file does.
        char marker[1024];
        ReadText(store, "UseThis", "Opt", "", marker, sizeof marker);
        if ((!marker[0] || !store->text) && SetFile(store, local, 2) == 0) {
            DropContent(store);
            DeleteSection(store, "UseThis");
        }
    }
    if (!store->path[0]) SetFile(store, local, 0);
    if (!profileExists && localExists && !store->path[0]) {
        // The local file exists but cannot be written: read it, and move the settings to the
        // profile file when there is one, so that changes are not lost. When it cannot be read
        // either, nothing moves: a marked profile file would hide it from every later start.
        LoadContent(store, local);
        if (!store->unreadable && profile[0] && SetFile(store, profile, 0) == 0)
            WriteText(store, "UseThis", "Opt", profile);
    }
}

static void CheckDesktop(Store* store) {
    char text[128];
    ReadValue(store, "Desk", ".", NULL, text, sizeof text);
    int32_t saved[2];
    int n = ParseIntList(text, saved, 2);
    int32_t now[2];
    SysWorkAreaSize(&now[0], &now[1]);
    if (n == 2 && saved[0] == now[0] && saved[1] == now[1]) return;
    FormatIntList(now, 2, 0, 1, text, sizeof text);
    WriteText(store, "Desk", ".", text);
    if (n == 2 && saved[0] != now[0] && saved[1] != now[1]) store->flags |= STORE_DESKTOP_CHANGED;
}

void OpenStore(Store* store, const char* path, uint32_t flags) {
    memset(store, 0, sizeof *store);
    store->flags = flags & ~(uint32_t)STORE_DESKTOP_CHANGED;
    store->mutex = SysMutexCreate();
    if (path)
        SetFile(store, path, 0);
    else if (!(flags & STORE_NO_LOCATE))
        LocateFile(store);
    if (flags & STORE_TRACK_DESKTOP) CheckDesktop(store);
}

void CloseStore(Store* store) {
    Flush(store);
    DropContent(store);
    SysMutexClose(store->mutex);
    store->mutex = NULL;
}

size_t GetFilePath(Store* store, char* out, size_t size) {
    StoreLock lock(store);
    return CopyText(out, size, lock.held ? store->path : "");
}

size_t SettingsFileKey(Store* store, char* out, size_t size) {
    char path[1024];
    if (!GetFilePath(store, path, sizeof path)) LocalLocation(path, sizeof path);
    for (char* p = path; *p; p++)
        if (*p == '/') *p = '\\';
    NormalisePath(path, sizeof path);
    SysUpperCase(path);
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const unsigned char* p = (const unsigned char*)path; *p; p++)
        hash = (hash ^ *p) * 1099511628211ull;
    return FormatText(out, size, "QXUpdate-%08lx%08lx", (unsigned long)(uint32_t)(hash >> 32),
                      (unsigned long)(uint32_t)hash);
}

void Suspend(Store* store) {
    StoreLock lock(store);
    store->suspendCount++;
}

int DesktopChanged(Store* store) {
    return (store->flags & STORE_DESKTOP_CHANGED) != 0;
}

// Creates or truncates the settings file and writes text, keeping hidden and system attributes.
static int WriteSettingsFile(const char* path, const char* text, size_t length) {
    const FsProvider* fs = FsLocal();
    int folderCreated = 0;
    for (;;) {
        uint32_t attributes = 0, keep = FILE_ATTR_NORMAL;
        if (fs->GetAttributes(path, &attributes) == 0) {
            if (attributes & FILE_ATTR_READONLY)
                fs->SetAttributes(path, attributes & ~(uint32_t)FILE_ATTR_READONLY);
            if (attributes & (FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM))
                keep = attributes & (FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM);
        }
        FsFile* file;
        int r = fs->Open(path, FS_CREATE_WRITE, keep, &file);
        if (r && r != ERR_PATH_NOT_FOUND) {
            FsFile* probe;
            int p = fs->Open(path, FS_OPEN_READ, 0, &probe);
            if (p == 0) fs->Close(probe);
            if (p == ERR_FILE_NOT_FOUND) SysSleep(1000);
            r = fs->Open(path, FS_CREATE_WRITE, keep, &file);
        }
        if (r == ERR_PATH_NOT_FOUND && !folderCreated) {
            char folder[1024];
            CopyText(folder, sizeof folder, path);
            *(char*)PathFileName(folder) = 0;
            size_t n = strlen(folder);
            if (n > 1 && IsPathSeparator(folder[n - 1])) folder[n - 1] = 0;
            fs->CreateFolder(folder);
            folderCreated = 1;
            continue;
        }
        if (r) return ERR_OPEN_FAILED;
        size_t done;
        r = fs->Write(file, text, length, &done);
        int c = fs->Close(file);
        return r ? r : c;
    }
}

static int SameAsOnDisk(const char* path, const char* text, size_t length) {
    char* data;
    size_t size;
    if (FsLocal()->ReadWhole(path, &data, &size)) return 0;
    int same = size == length && memcmp(data, text, length) == 0;
    free(data);
    return same;
}

// Keeps a file that the text could not hold whole beside it, as "<name>.bak" (or .bak2 to
// .bak9 when that holds another file), unless a backup already holds the same bytes.
static int KeepDamagedFile(const char* path) {
    const FsProvider* fs = FsLocal();
    char* data;
    size_t size;
    int r = fs->ReadWhole(path, &data, &size);
    if (r) return r == ERR_FILE_NOT_FOUND ? 0 : r;
    r = ERR_FILE_EXISTS;
    for (int i = 1; i <= 9 && r == ERR_FILE_EXISTS; i++) {
        char name[1040];
        FormatText(name, sizeof name, "%s.bak", path);
        if (i > 1) FormatText(name, sizeof name, "%s.bak%d", path, i);
        if (!fs->Exists(name))
            r = fs->WriteWhole(name, data, size);
        else if (SameAsOnDisk(name, data, size))
            r = 0;
    }
    free(data);
    return r;
}

// Writes the text to path in the file's encoding, unless the file holds it already.
static int SaveText(Store* store, const char* path) {
    char* encoded;
    size_t length;
    if (EncodeText(&store->encoding, store->text, &encoded, &length)) return ERR_NOT_ENOUGH_MEMORY;
    const char* bytes = encoded ? encoded : store->text;
    int r = 0;
    if (!SameAsOnDisk(path, bytes, length)) {
        if (store->encoding.damaged) r = KeepDamagedFile(path);
        if (!r) r = WriteSettingsFile(path, bytes, length);
        if (!r) store->encoding.damaged = 0;
    }
    free(encoded);
    return r;
}

int Flush(Store* store) {
    if (store->suspendCount) return 0;
    StoreLock lock(store);
    if (!lock.held || !store->path[0] || !store->dirty) return 0;
    if (!store->text) {
        store->dirty = 0;
        return 0;
    }
    if (store->unreadable) {
        // A text built without the file's own sections would hide them wherever it went,
        // over the file or in the profile file: the file is left as it is.
        store->dirty = 0;
        return store->unreadable;
    }
    if (store->flags & STORE_TRACK_DESKTOP)
        IniWriteValue(&store->text, PROGRAM_SECTION, "Version", PROGRAM_RELEASE);
    int r = SaveText(store, store->path);
    if (r && !(store->flags & STORE_NO_LOCATE)) {
        char profile[1024];
        ProfileLocation(profile, sizeof profile);
        if (profile[0] && SysCompareNoCase(profile, store->path) != 0) {
            int e = SetFile(store, profile, 0);
            if (e) {
                store->dirty = 0;
                if (e < 0) e = SysLastError() ? SysLastError() : ERR_ACCESS_DENIED;
                return e;
            }
            IniWriteValue(&store->text, "UseThis", "Opt", profile);
            r = SaveText(store, profile);
        }
    }
    store->dirty = 0;
    return r;
}

int ReadValue(Store* store, const char* section, const char* key, const char* defaultText, char* out,
              size_t size) {
    if (!out) return 1;
    StoreLock lock(store);
    if (!lock.held) return 1;
    LoadIfNeeded(store);
    if (size) out[0] = 0;
    size_t length;
    const char* value = IniFindValue(store->text, section, key, &length);
    if (value) {
        CopyTextN(out, size, value, length);
        return 0;
    }
    if (defaultText) CopyText(out, size, defaultText);
    return 1;
}

int ReadText(Store* store, const char* section, const char* key, const char* defaultText, char* out,
             size_t size) {
    if (!out || size == 0) return 1;
    char* scratch = (char*)malloc(2 * size);
    if (!scratch) {
        CopyText(out, size, defaultText ? defaultText : "");
        return 1;
    }
    int utf8 = 0;
    int r = ReadValue(store, section, key, NULL, scratch, 2 * size);
    utf8 = store->utf8 && store->encoding.kind == TEXT_ANSI;
    if (r)
        CopyText(out, size, defaultText ? defaultText : "");
    else if (utf8)
        SysUtf8ToAnsi(scratch, out, size);
    else if (StartsWith(scratch, kBom))
        SysUtf8ToAnsi(scratch + 3, out, size);
    else
        CopyText(out, size, scratch);
    free(scratch);
    return r;
}

int32_t ReadInt(Store* store, const char* section, const char* key, int32_t defaultValue) {
    char text[64];
    if (ReadValue(store, section, key, NULL, text, sizeof text) || !text[0]) return defaultValue;
    const char* p = text;
    while (*p == ' ' || *p == '\t')
        p++;
    int negative = *p == '-';
    if (*p == '-' || *p == '+') p++;
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        value = value * 10u + (uint32_t)(*p - '0');
    return (int32_t)(negative ? 0u - value : value);
}

uint32_t ReadOptions(Store* store, const char* section, uint32_t defaultValue) {
    return (uint32_t)ReadInt(store, section, "Opt", (int32_t)defaultValue);
}

// Runs one edit of the text: loads it first, ignores it while suspended, marks a change.
static void Edit(Store* store, int (*edit)(char**, const char*, const char*, const char*),
                 const char* section, const char* key, const char* value) {
    StoreLock lock(store);
    if (!lock.held || store->suspendCount) return;
    LoadIfNeeded(store);
    if (edit(&store->text, section, key, value) > 0) store->dirty = 1;
}

static int EditDeleteKey(char** text, const char* section, const char* key, const char*) {
    return IniDeleteKey(text, section, key);
}

static int EditDeleteSection(char** text, const char* section, const char*, const char*) {
    return IniDeleteSection(text, section);
}

void WriteText(Store* store, const char* section, const char* key, const char* value) {
    Edit(store, IniWriteValue, section, key, value);
}

void WriteInt(Store* store, const char* section, const char* key, uint32_t value) {
    char text[16];
    FormatText(text, sizeof text, "%lu", (unsigned long)value);
    WriteText(store, section, key, text);
}

void WriteOptions(Store* store, const char* section, uint32_t value) {
    WriteInt(store, section, "Opt", value);
}
void DeleteKey(Store* store, const char* section, const char* key) {
    Edit(store, EditDeleteKey, section, key, "");
}
void DeleteSection(Store* store, const char* section) {
    Edit(store, EditDeleteSection, section, "", "");
}

// The walk runs over a copy of the text, outside the lock, so that a callback may use the store.
static char* CopyOfText(Store* store) {
    StoreLock lock(store);
    if (!lock.held) return NULL;
    LoadIfNeeded(store);
    return store->text ? strdup(store->text) : NULL;
}

int EnumKeyValues(Store* store, const char* section, IniEntryProc proc, void* context) {
    char* text = CopyOfText(store);
    if (!text) return 0;
    int count = IniEnumEntries(text, section, proc, context);
    free(text);
    return count;
}

struct KeyWalk {
    EnumKeyProc proc;
    void* context;
};

static int CallKeyProc(const char* name, const char*, void* context) {
    KeyWalk* walk = (KeyWalk*)context;
    return walk->proc(name, walk->context);
}

int EnumKeys(Store* store, const char* section, EnumKeyProc proc, void* context) {
    KeyWalk walk = {proc, context};
    return EnumKeyValues(store, section, CallKeyProc, &walk);
}

static int gScaleFactor; // 0 until measured

static int ScaleFactor() {
    if (!gScaleFactor) {
        int width, height;
        SysWorkAreaSize(&width, &height);
        gScaleFactor = width / 16 < 100 ? 100 : width / 16;
    }
    return gScaleFactor;
}

void ForgetScreenScale() {
    gScaleFactor = 0;
}

int ScaleToScreen(int n) {
    return (int)((int64_t)n * ScaleFactor() / 100);
}

void LoadPlacement(Store* store, const char* section, Placement* placement, int width, int height) {
    char text[128];
    ReadValue(store, section, "Pos", NULL, text, sizeof text);
    int32_t v[5];
    int n = ParseIntList(text, v, 5);
    int screenWidth, screenHeight;
    SysScreenSize(&screenWidth, &screenHeight);
    if (n == 5 && v[2] >= 50 && v[3] >= 50 && (int64_t)v[2] <= 2 * (int64_t)screenWidth &&
        (int64_t)v[3] <= 2 * (int64_t)screenHeight) {
        placement->x = v[0], placement->y = v[1], placement->width = v[2], placement->height = v[3];
        uint16_t state = (uint16_t)v[4];
        placement->showState = (state == 1 || state == 3) ? state : 0;
        return;
    }
    placement->x = placement->y = PLACEMENT_DEFAULT_POSITION;
    placement->width = width >= 1 ? ScaleToScreen(width) : width;
    placement->height = height >= 1 ? ScaleToScreen(height) : height;
    placement->showState = 0;
}

void SavePlacement(Store* store, const char* section, const Placement* placement) {
    if (store->flags & STORE_NO_PLACEMENT) return;
    int32_t v[5] = {placement->x, placement->y, placement->width, placement->height, 0};
    if (placement->showState == 1 || placement->showState == 3) v[4] = placement->showState;
    char text[128];
    FormatIntList(v, 5, 1, 0, text, sizeof text);
    WriteText(store, section, "Pos", text);
}
