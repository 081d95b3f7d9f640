// The provider table and the helpers shared by every provider.
#include <string.h>
#include <new>
#include "platform/fs.h"
#include "platform/text.h"

FsProvider gFsProviders[FS_PROVIDER_SLOTS];

void FsReleaseProviders() {
    try {
        for (int i = 0; i < FS_PROVIDER_SLOTS; i++)
            if (gFsProviders[i].Release) gFsProviders[i].Release(&gFsProviders[i]);
    } catch (...) {
        // nothing sensible is left to do at this point of the shutdown
    }
}

struct TreeWalk {
    const FsProvider* fs;
    const char* folder;
    int error;
    char* names; // collected entries, each zero-terminated, then an attribute byte
    size_t used, capacity;
};

static int CollectEntry(const FsEntry* entry, void* context) {
    TreeWalk* walk = (TreeWalk*)context;
    size_t n = strlen(entry->name) + 2;
    if (walk->used + n > walk->capacity) {
        size_t capacity = (walk->capacity + n) * 2;
        char* grown = new (std::nothrow) char[capacity];
        if (!grown) {
            walk->error = ERR_NOT_ENOUGH_MEMORY;
            return 1;
        }
        if (walk->used) memcpy(grown, walk->names, walk->used);
        delete[] walk->names;
        walk->names = grown, walk->capacity = capacity;
    }
    memcpy(walk->names + walk->used, entry->name, n - 1);
    // 1: a folder to empty first; 2: a link to a folder, removed without following it.
    int kind = 0;
    if (entry->attributes & FILE_ATTR_DIRECTORY) kind = (entry->attributes & FILE_ATTR_REPARSE_POINT) ? 2 : 1;
    walk->names[walk->used + n - 1] = (char)kind;
    walk->used += n;
    return 0;
}

int FsDeleteTree(const FsProvider* fs, const char* folder) {
    TreeWalk walk = {fs, folder, 0, NULL, 0, 0};
    int r = fs->Enumerate(folder, CollectEntry, &walk);
    if (r) return r;
    int first = walk.error;
    for (size_t at = 0; at < walk.used;) {
        const char* name = walk.names + at;
        size_t n = strlen(name);
        int kind = walk.names[at + n + 1];
        char path[2048];
        CopyText(path, sizeof path, folder);
        size_t len = strlen(path);
        if (len && path[len - 1] != '\\' && path[len - 1] != '/') AppendText(path, sizeof path, "/");
        AppendText(path, sizeof path, name);
        if (kind == 1) {
            r = FsDeleteTree(fs, path);
        } else if (kind == 2) {
            r = fs->RemoveFolder(path);
        } else {
            uint32_t attributes = 0;
            if (!fs->GetAttributes(path, &attributes) && (attributes & FILE_ATTR_READONLY))
                fs->SetAttributes(path, attributes & ~(uint32_t)FILE_ATTR_READONLY);
            r = fs->Delete(path);
        }
        if (r && !first) first = r;
        at += n + 2;
    }
    delete[] walk.names;
    r = fs->RemoveFolder(folder);
    return first ? first : r;
}
