// The local-disk provider over the ANSI Win32 file functions.
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include "platform/fs.h"
#include "platform/text.h"

struct FsFile {
    HANDLE handle;
};

static int LastErrorOr(int fallback) {
    DWORD e = GetLastError();
    return e ? (int)e : fallback;
}

static int Win32Enumerate(const char* folder, FsEntryProc proc, void* context) {
    char pattern[MAX_PATH * 4];
    CopyText(pattern, sizeof pattern, folder);
    size_t len = strlen(pattern);
    if (len && pattern[len - 1] != '\\' && pattern[len - 1] != '/') AppendText(pattern, sizeof pattern, "\\");
    AppendText(pattern, sizeof pattern, "*.*");
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_PATH_NOT_FOUND);
    do {
        if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0) continue;
        FsEntry entry = {fd.cFileName, fd.dwFileAttributes};
        if (proc(&entry, context)) break;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return 0;
}

static int Win32CreateFolder(const char* path) {
    if (!path || !path[0]) return ERROR_INVALID_NAME;
    if (CreateDirectoryA(path, NULL)) return 0;
    DWORD e = GetLastError();
    if (e == ERROR_ALREADY_EXISTS) {
        DWORD a = GetFileAttributesA(path);
        return (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) ? 0 : (int)e;
    }
    if (e != ERROR_PATH_NOT_FOUND) return (int)e;
    char parent[MAX_PATH * 4];
    CopyText(parent, sizeof parent, path);
    char* cut = strrchr(parent, '\\');
    char* slash = strrchr(parent, '/');
    if (slash > cut) cut = slash;
    if (!cut || cut == parent || cut[-1] == ':') return (int)e;
    *cut = 0;
    int r = Win32CreateFolder(parent);
    if (r) return r;
    return CreateDirectoryA(path, NULL) ? 0 : LastErrorOr(ERROR_PATH_NOT_FOUND);
}

static int Win32RemoveFolder(const char* path) {
    return RemoveDirectoryA(path) ? 0 : LastErrorOr(5);
}

static int Win32Open(const char* path, int mode, uint32_t attributes, FsFile** file) {
    *file = NULL;
    DWORD access = 0, share = 0, disposition = 0, flags = FILE_ATTRIBUTE_NORMAL;
    switch (mode) {
    case FS_OPEN_READ: access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING; break;
    case FS_OPEN_READWRITE:
        access = GENERIC_READ | GENERIC_WRITE, share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        disposition = OPEN_EXISTING;
        break;
    case FS_CREATE_WRITE:
    case FS_CREATE_NEW:
        access = GENERIC_WRITE, share = 0, disposition = mode == FS_CREATE_NEW ? CREATE_NEW : CREATE_ALWAYS;
        flags = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
        break;
    default: return ERROR_INVALID_PARAMETER;
    }
    HANDLE h = CreateFileA(path, access, share, NULL, disposition, flags, NULL);
    if (h == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_OPEN_FAILED);
    FsFile* f = (FsFile*)malloc(sizeof(FsFile));
    if (!f) {
        CloseHandle(h);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    f->handle = h;
    *file = f;
    return 0;
}

static int Win32Read(FsFile* file, void* buffer, size_t size, size_t* done) {
    *done = 0;
    while (size > 0) {
        DWORD piece = size > 0x40000000 ? 0x40000000 : (DWORD)size, got = 0;
        if (!ReadFile(file->handle, buffer, piece, &got, NULL)) return LastErrorOr(ERROR_READ_FAULT);
        if (got == 0) break;
        *done += got, size -= got, buffer = (char*)buffer + got;
    }
    return 0;
}

static int Win32Write(FsFile* file, const void* data, size_t size, size_t* done) {
    *done = 0;
    while (size > 0) {
        DWORD piece = size > 0x40000000 ? 0x40000000 : (DWORD)size, put = 0;
        if (!WriteFile(file->handle, data, piece, &put, NULL)) return LastErrorOr(ERROR_WRITE_FAULT);
        if (put == 0) return ERROR_WRITE_FAULT;
        *done += put, size -= put, data = (const char*)data + put;
    }
    return 0;
}

static int Win32Seek(FsFile* file, uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = (LONGLONG)offset;
    return SetFilePointerEx(file->handle, to, NULL, FILE_BEGIN) ? 0 : LastErrorOr(ERROR_INVALID_PARAMETER);
}

static int Win32Size(FsFile* file, uint64_t* size) {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(file->handle, &s)) return LastErrorOr(ERROR_INVALID_HANDLE);
    *size = (uint64_t)s.QuadPart;
    return 0;
}

static int Win32SetTimes(FsFile* file, uint64_t fileTime) {
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)fileTime;
    ft.dwHighDateTime = (DWORD)(fileTime >> 32);
    return SetFileTime(file->handle, &ft, &ft, &ft) ? 0 : LastErrorOr(ERROR_INVALID_HANDLE);
}

static int Win32Close(FsFile* file) {
    if (!file) return 0;
    int r = CloseHandle(file->handle) ? 0 : LastErrorOr(ERROR_INVALID_HANDLE);
    free(file);
    return r;
}

static int Win32Flush(FsFile* file) {
    return FlushFileBuffers(file->handle) ? 0 : LastErrorOr(ERROR_WRITE_FAULT);
}

static int Win32DeleteAtRestart(const char* path) {
    return MoveFileExA(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
}

static int Win32ReadWhole(const char* path, char** data, size_t* size) {
    *data = NULL;
    *size = 0;
    FsFile* f;
    int r = Win32Open(path, FS_OPEN_READ, 0, &f);
    if (r) return r;
    uint64_t length = 0;
    r = Win32Size(f, &length);
    if (!r && length > (uint64_t)0x7FFFFFF0) r = ERROR_NOT_ENOUGH_MEMORY;
    char* buffer = r ? NULL : (char*)calloc((size_t)length + 2, 1);
    if (!r && !buffer) r = ERROR_NOT_ENOUGH_MEMORY;
    size_t got = 0;
    if (!r) r = Win32Read(f, buffer, (size_t)length, &got);
    Win32Close(f);
    if (r) {
        free(buffer);
        return r;
    }
    *data = buffer;
    *size = got;
    return 0;
}

static int Win32WriteWhole(const char* path, const void* data, size_t size) {
    FsFile* f;
    int r = Win32Open(path, FS_CREATE_WRITE, FILE_ATTRIBUTE_NORMAL, &f);
    if (r) return r;
    size_t done;
    r = Win32Write(f, data, size, &done);
    int c = Win32Close(f);
    return r ? r : c;
}

static int Win32Delete(const char* path) {
    return DeleteFileA(path) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
}

static int Win32GetAttributes(const char* path, uint32_t* attributes) {
    DWORD a = GetFileAttributesA(path);
    if (a == INVALID_FILE_ATTRIBUTES) return LastErrorOr(ERROR_FILE_NOT_FOUND);
    *attributes = a;
    return 0;
}

static int Win32SetAttributes(const char* path, uint32_t attributes) {
    return SetFileAttributesA(path, attributes) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
}

static int Win32Exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static int Win32Move(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
}

// ReplaceFileA keeps what the old file carries (attributes, security); where it cannot, or
// when there is no old file, the new one is moved in its place.
static int Win32Replace(const char* from, const char* to) {
    if (GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES &&
        ReplaceFileA(to, from, NULL, REPLACEFILE_WRITE_THROUGH, NULL, NULL))
        return 0;
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : LastErrorOr(ERROR_ACCESS_DENIED);
}

static const FsProvider kLocalProvider = {
    "local",
    NULL,
    NULL,
    Win32Enumerate,
    Win32CreateFolder,
    Win32RemoveFolder,
    Win32ReadWhole,
    Win32WriteWhole,
    Win32Delete,
    Win32GetAttributes,
    Win32SetAttributes,
    Win32Exists,
    Win32Move,
    Win32Replace,
    Win32Open,
    Win32Read,
    Win32Write,
    Win32Seek,
    Win32Size,
    Win32SetTimes,
    Win32Close,
    Win32Flush,
    Win32DeleteAtRestart,
    NULL,
};

const FsProvider* FsLocal() {
    return &kLocalProvider;
}

void FsSetUpProviders() {
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    try {
        memset(gFsProviders, 0, sizeof gFsProviders);
        gFsProviders[0] = kLocalProvider;
        for (int i = 0; i < FS_PROVIDER_SLOTS; i++)
            if (gFsProviders[i].SetUp) gFsProviders[i].SetUp(&gFsProviders[i]);
    } catch (...) {
        // a provider that cannot start is simply not used
    }
    SetErrorMode(previous);
}
