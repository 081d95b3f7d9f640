// Temporary file names in the program's temporary folder.
#include "update/tempfiles.h"
#include <string.h>
#include <atomic>
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"

int MakeRandomName(char* out, size_t size) {
    uint8_t bytes[8];
    int e = SysRandom(bytes, sizeof bytes);
    if (e) return CopyText(out, size, ""), e;
    FormatText(out, size, "%02x%02x%02x%02x%02x%02x%02x%02x", bytes[0], bytes[1], bytes[2], bytes[3],
               bytes[4], bytes[5], bytes[6], bytes[7]);
    return 0;
}

struct RunTemp {
    char folder[1024]; // without a trailing separator; empty when none could be made
    FsFile* held;
};
static std::atomic<bool> gRunTempAsked; // whether the folder was asked for (and so made)

// The user's temporary folder may be written by all the user's programs: a fixed name there
// could be taken, or be a link, before this run comes.
static RunTemp MakeRunTemp() {
    RunTemp run = {};
    char temp[1024], program[1024], stem[256];
    SysTempFolder(temp, sizeof temp);
    SysModulePath(program, sizeof program);
    CopyText(stem, sizeof stem, PathFileName(program));
    char* dot = strrchr(stem, '.');
    if (dot) *dot = 0;
    if (!stem[0] || !temp[0]) return run;
    const FsProvider* fs = FsLocal();
    for (int tries = 0; tries < 8; tries++) {
        char unique[20];
        if (MakeRandomName(unique, sizeof unique)) break;
        FormatText(run.folder, sizeof run.folder, "%s%s-%s", temp, stem, unique);
        int e = fs->CreateFolderNew(run.folder);
        if (e == ERR_ALREADY_EXISTS) continue;
        if (!e && fs->Hold(run.folder, &run.held) == 0) return run;
        if (!e) fs->RemoveFolder(run.folder);
        break;
    }
    run.folder[0] = 0;
    return run;
}

static RunTemp* TheRunTemp() {
    gRunTempAsked = true;
    static RunTemp run = MakeRunTemp();
    return &run;
}

size_t ProgramTempFolder(char* out, size_t size) {
    const RunTemp* run = TheRunTemp();
    if (!run->folder[0]) return CopyText(out, size, "");
    CopyText(out, size, run->folder);
    return AppendText(out, size, "\\");
}

struct TempFiles {
    char names[64][64];
    int count;
};

static int CollectTempFile(const FsEntry* entry, void* context) {
    TempFiles* files = (TempFiles*)context;
    if (entry->attributes & (FILE_ATTR_DIRECTORY | FILE_ATTR_REPARSE_POINT) || strlen(entry->name) >= 64)
        return 0;
    CopyText(files->names[files->count++], sizeof files->names[0], entry->name);
    return files->count == 64;
}

void DeleteProgramTempFolder() {
    if (!gRunTempAsked) return; // none was made
    RunTemp* run = TheRunTemp();
    const FsProvider* fs = FsLocal();
    if (!run->held) return;
    // Held, the folder cannot be swapped on Windows; where a system cannot hold it, it is
    // checked again now.
    FsFile* still = NULL;
    int same = fs->Hold(run->folder, &still) == 0;
    fs->Close(still);
    for (int deleted = 1; same && deleted;) {
        TempFiles files = {};
        fs->Enumerate(run->folder, CollectTempFile, &files);
        deleted = 0;
        for (int i = 0; i < files.count; i++)
            deleted += fs->DeleteBelow(run->folder, files.names[i]) == 0;
    }
    fs->Close(run->held);
    run->held = NULL;
    if (same) fs->RemoveFolder(run->folder);
}

unsigned MakeTempFileName(const char* fileTemplate, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    char folder[1024];
    if (buffer[0]) {
        CopyText(folder, sizeof folder, buffer);
        char* cut = strrchr(folder, '\\');
        if (cut) cut[1] = 0;
    } else {
        ProgramTempFolder(folder, sizeof folder);
    }
    buffer[0] = 0;
    if (!folder[0]) return 0;
    size_t n = strlen(folder);
    if (!IsPathSeparator(folder[n - 1])) AppendText(folder, sizeof folder, "\\");
    const FsProvider* fs = FsLocal();
    const char* name = PathFileName(fileTemplate ? fileTemplate : "");
    if (name[0]) {
        char path[1024];
        CopyText(path, sizeof path, folder);
        AppendText(path, sizeof path, name);
        if (!fs->Exists(path)) {
            CopyText(buffer, size, path);
            return 1;
        }
    }
    const char* extension = strrchr(name, '.');
    for (unsigned number = 1; number < 100000; number++) {
        char path[1024];
        FormatText(path, sizeof path, "%s%u%s", folder, number, extension ? extension : "");
        if (!fs->Exists(path)) {
            CopyText(buffer, size, path);
            return number;
        }
    }
    return 0;
}
