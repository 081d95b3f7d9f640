// Extracting an update package into a product's folder: joining entry names to the folder
// without ever leaving it, and staging the files so that a failed update leaves the
// product exactly as it was.
//
// The files are written into a staging folder inside the target folder (so on the same
// volume, and writable whenever the target is). Only when the package was read to its end
// and its checksum matched are they moved into place, in package order; a file they
// replace is first moved into the staging folder as well. When a move fails, every step
// done so far is undone in reverse order (which also handles a name that occurs twice),
// and the staging folder is removed.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "platform/errors.h"
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"
#include "update/package.h"

static const char kStageName[] = "~qxstage";

// Device names that open a device instead of a file in any folder.
static int IsDeviceName(const char* part, size_t length) {
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    size_t base = 0;
    while (base < length && part[base] != '.')
        base++;
    while (base > 0 && part[base - 1] == ' ')
        base--;
    char name[8];
    if (base == 0 || base >= sizeof name) return 0;
    CopyTextN(name, sizeof name, part, base);
    SysUpperCase(name);
    for (size_t i = 0; i < sizeof kDevices / sizeof kDevices[0]; i++)
        if (strcmp(name, kDevices[i]) == 0) return 1;
    return base == 4 && (StartsWith(name, "COM") || StartsWith(name, "LPT")) && name[3] >= '0' &&
           name[3] <= '9';
}

// Checks the parts of a relative name. Windows drops trailing dots and blanks of a part,
// so ". ." or "..." would act as "..": a part made only of dots and blanks is refused
// unless it is a single ".".
static int CheckEntryName(const char* name) {
    if (!name[0] || IsPathSeparator(name[0])) return ERR_INVALID_NAME;
    const char* part = name;
    for (const char* p = name;; p++) {
        unsigned char c = (unsigned char)*p;
        if (c == 0 || IsPathSeparator((char)c)) {
            size_t length = (size_t)(p - part);
            if (c == 0 && (length == 0 || (length == 1 && part[0] == '.')))
                return ERR_INVALID_NAME; // a folder
            int onlyDots = length > 0;
            for (size_t i = 0; i < length; i++)
                if (part[i] != '.' && part[i] != ' ') onlyDots = 0;
            if (onlyDots && !(length == 1 && part[0] == '.')) return ERR_INVALID_NAME;
            if (IsDeviceName(part, length)) return ERR_INVALID_NAME;
            if (c == 0) return 0;
            part = p + 1;
            continue;
        }
        if (c < 32 || strchr(":*?\"<>|", (char)c)) return ERR_INVALID_NAME;
    }
}

int JoinEntryPath(const char* folder, const char* name, char* out, size_t size) {
    if (size == 0) return ERR_FILENAME_EXCED_RANGE;
    out[0] = 0;
    if (IsPathSeparator(name[0])) name++;
    int e = CheckEntryName(name);
    if (e) return e;
    size_t folderLength = strlen(folder);
    size_t need = folderLength + 1 + strlen(name) + 1;
    if (need > size) return ERR_FILENAME_EXCED_RANGE;
    CopyText(out, size, folder);
    if (folderLength == 0 || !IsPathSeparator(folder[folderLength - 1])) AppendText(out, size, "\\");
    AppendText(out, size, name);
    if (strchr(out, '/'))
        for (char* p = out; *p; p++)
            if (*p == '\\') *p = '/';
    return 0;
}

// ---------------------------------------------------------------------------------------

struct Staging {
    const FsProvider* fs;
    const char* target;
    char stage[PACKAGE_PATH_SIZE]; // the staging folder
    char stageName[32];            // its name inside the target folder
    char* paths;                   // the target path of each staged file, zero-terminated
    size_t used, capacity;
    uint32_t count;
};

static void StagedPath(const Staging* s, char kind, uint32_t index, char* out, size_t size) {
    FormatText(out, size, "%s\\%c%u", s->stage, kind, (unsigned)index);
}

static int Remember(Staging* s, const char* path) {
    size_t n = strlen(path) + 1;
    if (s->used + n > s->capacity) {
        size_t capacity = (s->capacity + n) * 2;
        char* grown = (char*)realloc(s->paths, capacity);
        if (!grown) return ERR_NOT_ENOUGH_MEMORY;
        s->paths = grown, s->capacity = capacity;
    }
    memcpy(s->paths + s->used, path, n);
    s->used += n;
    s->count++;
    return 0;
}

// Whether the first folder of an entry name ("." parts aside) is the staging folder.
static int NamesStage(const Staging* s, const char* name) {
    for (;;) {
        while (IsPathSeparator(*name))
            name++;
        size_t n = 0;
        while (name[n] && !IsPathSeparator(name[n]))
            n++;
        if (n == 1 && name[0] == '.') {
            name++;
            continue;
        }
        char first[sizeof s->stageName];
        if (n == 0 || n >= sizeof first) return 0;
        CopyTextN(first, sizeof first, name, n);
        return SysCompareNoCase(first, s->stageName) == 0;
    }
}

// The entry callback of an update: refuses what the in-place writing would have failed
// on (a missing folder, a read-only file or a folder of the entry's name) and sends the
// data to the staging folder.
static int StageEntry(char* path, const uint8_t* data, size_t size, void* user) {
    (void)size;
    Staging* s = (Staging*)user;
    if (data) return 0;
    if (!path[0]) return 0;
    char joined[PACKAGE_PATH_SIZE];
    int e = JoinEntryPath(s->target, path, joined, sizeof joined);
    if (e) return -e;
    if (NamesStage(s, path)) return -ERR_PATH_NOT_FOUND; // did not exist before the update

    char folder[PACKAGE_PATH_SIZE];
    CopyText(folder, sizeof folder, joined);
    char* cut = folder + strlen(folder);
    while (cut > folder && !IsPathSeparator(cut[-1]))
        cut--;
    if (cut > folder) cut[-1] = 0;
    uint32_t attributes = 0;
    if (strlen(folder) > strlen(s->target) &&
        (s->fs->GetAttributes(folder, &attributes) || !(attributes & FILE_ATTR_DIRECTORY)))
        return -ERR_PATH_NOT_FOUND;
    if (!s->fs->GetAttributes(joined, &attributes) &&
        (attributes & (FILE_ATTR_DIRECTORY | FILE_ATTR_READONLY)))
        return -ERR_ACCESS_DENIED;

    e = Remember(s, joined);
    if (e) return -e;
    StagedPath(s, 'f', s->count, path, PACKAGE_PATH_SIZE);
    return 1;
}

static int CreateStage(Staging* s) {
    for (int n = 0; n < 100; n++) {
        if (n == 0)
            CopyText(s->stageName, sizeof s->stageName, kStageName);
        else
            FormatText(s->stageName, sizeof s->stageName, "%s%d", kStageName, n);
        if (JoinEntryPath(s->target, s->stageName, s->stage, sizeof s->stage))
            return ERR_FILENAME_EXCED_RANGE;
        if (s->fs->Exists(s->stage)) continue;
        return s->fs->CreateFolder(s->stage);
    }
    return ERR_ALREADY_EXISTS;
}

// Undoes the moves of the files before index 'done' (and the backup of 'done' itself when
// backedUp says so). Returns 0 when every original file is back.
static int Undo(Staging* s, const char** targets, const uint8_t* backedUp, uint32_t done) {
    int failed = 0;
    for (uint32_t i = done + 1; i-- > 0;) {
        char backup[PACKAGE_PATH_SIZE];
        StagedPath(s, 'b', i + 1, backup, sizeof backup);
        if (i == done) {
            if (backedUp[i] && s->fs->Move(backup, targets[i])) failed = 1;
            continue;
        }
        int e = backedUp[i] ? s->fs->Move(backup, targets[i]) : s->fs->Delete(targets[i]);
        if (e) failed = 1;
    }
    return failed;
}

// Moves every staged file into place. Returns 0, or -1235 after undoing what was done;
// *kept is set when an original file could not be put back and stays in the stage.
static int Commit(Staging* s, int* kept) {
    *kept = 0;
    if (s->count == 0) return 0;
    const char** targets = (const char**)malloc(s->count * sizeof(char*));
    uint8_t* backedUp = (uint8_t*)calloc(s->count, 1);
    if (!targets || !backedUp) {
        free(targets);
        free(backedUp);
        return -ERR_REQUEST_ABORTED;
    }
    const char* p = s->paths;
    for (uint32_t i = 0; i < s->count; i++, p += strlen(p) + 1)
        targets[i] = p;

    int result = 0;
    for (uint32_t i = 0; i < s->count; i++) {
        char staged[PACKAGE_PATH_SIZE], backup[PACKAGE_PATH_SIZE];
        StagedPath(s, 'f', i + 1, staged, sizeof staged);
        StagedPath(s, 'b', i + 1, backup, sizeof backup);
        int e = 0;
        if (s->fs->Exists(targets[i])) {
            e = s->fs->Move(targets[i], backup);
            if (!e) backedUp[i] = 1;
        }
        if (!e) e = s->fs->Move(staged, targets[i]);
        if (e) {
            *kept = Undo(s, targets, backedUp, i);
            result = -ERR_REQUEST_ABORTED;
            break;
        }
    }
    free(targets);
    free(backedUp);
    return result;
}

int ExtractUpdatePackageWith(const char* packagePath, const char* targetFolder, const FsProvider* fs) {
    if (!targetFolder[0]) return ERR_PATH_NOT_FOUND;
    Staging s = {};
    s.fs = fs ? fs : FsLocal();
    s.target = targetFolder;
    // Without a folder to write to, no file of the package could be created.
    uint32_t attributes = 0;
    if (s.fs->GetAttributes(targetFolder, &attributes) || !(attributes & FILE_ATTR_DIRECTORY) ||
        CreateStage(&s))
        return -ERR_REQUEST_ABORTED;
    PackageOptions options = {};
    options.fs = s.fs;
    int result = ExtractPackageWith(packagePath, StageEntry, &s, &options);
    int kept = 0;
    if (result == 0) result = Commit(&s, &kept);
    // An original that could not be put back stays in the stage rather than being lost.
    if (!kept) FsDeleteTree(s.fs, s.stage);
    free(s.paths);
    return result;
}

int ExtractUpdatePackage(const char* packagePath, const char* targetFolder) {
    return ExtractUpdatePackageWith(packagePath, targetFolder, NULL);
}
