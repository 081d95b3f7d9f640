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
    const FsProvider* fs = store->fs;
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
    int r = store->fs->ReadWhole(from, &data, &size);
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
    const FsProvider* fs = store->fs;
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
    store->fs = FsLocal();
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

// The folder part of path, without its trailing separator unless it is a drive's root.
static void FolderOf(const char* path, char* out, size_t size) {
    CopyText(out, size, path);
    *(char*)PathFileName(out) = 0;
    size_t n = strlen(out);
    if (n > 1 && IsPathSeparator(out[n - 1]) && out[n - 2] != ':') out[n - 1] = 0;
}

// "QXUpdate-" and the text's FNV-1a hash in 16 hex digits.
static size_t HashedKey(const char* text, char* out, size_t size) {
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char* p = (const unsigned char*)text; *p; p++)
        hash = (hash ^ *p) * 1099511628211ull;
    return FormatText(out, size, "QXUpdate-%08lx%08lx", (unsigned long)(uint32_t)(hash >> 32),
                      (unsigned long)(uint32_t)hash);
}

static void IdentityText(uint64_t volume, uint64_t index, char* out, size_t size) {
    FormatText(out, size, "%08lx:%08lx%08lx", (unsigned long)(uint32_t)volume,
               (unsigned long)(uint32_t)(index >> 32), (unsigned long)(uint32_t)index);
}

size_t SettingsFileKey(Store* store, int which, char* out, size_t size) {
    char path[1024];
    if (!GetFilePath(store, path, sizeof path)) LocalLocation(path, sizeof path);
    uint64_t volume, index;
    char text[1100];
    if (which == SETTINGS_KEY_FILE) {
        if (SysFileIdentity(path, &volume, &index)) return CopyText(out, size, "");
        IdentityText(volume, index, text, sizeof text);
        return HashedKey(text, out, size);
    }
    for (char* p = path; *p; p++)
        if (*p == '/') *p = '\\';
    NormalisePath(path, sizeof path);
    char name[1024], folder[1024];
    SysLongPath(path, name, sizeof name); // the file's long name, where it exists
    FolderOf(path, folder, sizeof folder);
    if (SysFileIdentity(folder, &volume, &index) == 0) {
        IdentityText(volume, index, text, sizeof text);
    } else {
        SysLongPath(folder, text, sizeof text);
        for (char* p = text; *p; p++)
            if (*p == '/') *p = '\\';
    }
    AppendText(text, sizeof text, "\\");
    AppendText(text, sizeof text, PathFileName(name));
    SysUpperCase(text);
    return HashedKey(text, out, size);
}

void Suspend(Store* store) {
    StoreLock lock(store);
    store->suspendCount++;
}

int DesktopChanged(Store* store) {
    return (store->flags & STORE_DESKTOP_CHANGED) != 0;
}

// Creates "<name>.new" beside the settings file, created anew (a name left by a save that
// was cut short is removed first; a link found there is never followed), with the folder
// made once when it is missing.
static int CreateBeside(const FsProvider* fs, const char* spare, uint32_t attributes, FsFile** file) {
    if (fs->Exists(spare)) fs->Delete(spare);
    int r = fs->Open(spare, FS_CREATE_NEW, attributes, file);
    if (r == ERR_PATH_NOT_FOUND) {
        char folder[1024];
        FolderOf(spare, folder, sizeof folder);
        fs->CreateFolder(folder);
        r = fs->Open(spare, FS_CREATE_NEW, attributes, file);
    }
    return r;
}

// Puts the finished new file in the settings file's place, read-only attribute removed first
// (and given back when the file stays); a second attempt follows, after a second's wait when the
// file is just then missing (another program replacing it).
static int SwapIn(const FsProvider* fs, const char* spare, const char* path) {
    uint32_t attributes = 0;
    int readOnly = fs->GetAttributes(path, &attributes) == 0 && (attributes & FILE_ATTR_READONLY);
    if (readOnly) fs->SetAttributes(path, attributes & ~(uint32_t)FILE_ATTR_READONLY);
    int r = fs->Replace(spare, path);
    if (r) {
        FsFile* probe;
        int p = fs->Open(path, FS_OPEN_READ, 0, &probe);
        if (p == 0) fs->Close(probe);
        if (p == ERR_FILE_NOT_FOUND) SysSleep(1000);
        r = fs->Replace(spare, path);
    }
    if (r && readOnly) fs->SetAttributes(path, attributes);
    return r;
}

// The settings file is never written in place: the text goes into a new file beside it, which
// reaches the disk and then takes the file's place in one step, so a killed process, a machine
// losing power or a full disk leaves the old file or the new one, never a part of it. The file's
// hidden and system attributes are kept. Where the folder takes no new file, or the file cannot
// be replaced, the result is 110 and the file stays as it was; a failed write gives its error.
static int WriteSettingsFile(const FsProvider* fs, const char* path, const char* text, size_t length) {
    uint32_t attributes = 0, keep = FILE_ATTR_NORMAL;
    if (fs->GetAttributes(path, &attributes) == 0 && (attributes & (FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM)))
        keep = attributes & (FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM);
    char spare[1040];
    FormatText(spare, sizeof spare, "%s.new", path);
    FsFile* file;
    if (CreateBeside(fs, spare, keep, &file)) return ERR_OPEN_FAILED;
    size_t done;
    int r = fs->Write(file, text, length, &done);
    if (!r && fs->Flush) r = fs->Flush(file);
    int c = fs->Close(file);
    if (!r) r = c;
    if (!r && SwapIn(fs, spare, path)) r = ERR_OPEN_FAILED;
    if (r) fs->Delete(spare);
    return r;
}

static int SameAsOnDisk(const FsProvider* fs, const char* path, const char* text, size_t length) {
    char* data;
    size_t size;
    if (fs->ReadWhole(path, &data, &size)) return 0;
    int same = size == length && memcmp(data, text, length) == 0;
    free(data);
    return same;
}

// Keeps a file that the text could not hold whole beside it, as "<name>.bak" (or .bak2 to
// .bak9 when that holds another file), unless a backup already holds the same bytes.
static int KeepDamagedFile(const FsProvider* fs, const char* path) {
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
        else if (SameAsOnDisk(fs, name, data, size))
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
    if (!SameAsOnDisk(store->fs, path, bytes, length)) {
        if (store->encoding.damaged) r = KeepDamagedFile(store->fs, path);
        if (!r) r = WriteSettingsFile(store->fs, path, bytes, length);
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
