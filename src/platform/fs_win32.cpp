// The local-disk provider over the ANSI Win32 file functions.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
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

// Only the administrators and the system; set as the owner, the administrators may always
// reach the folder again. A process that may not name them owner gets its default owner.
static int CreateFolderFor(const char* path, const char* descriptor) {
    PSECURITY_DESCRIPTOR sd = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptor, SDDL_REVISION_1, &sd, NULL))
        return LastErrorOr(ERROR_INVALID_PARAMETER);
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd, FALSE};
    int e = CreateDirectoryA(path, &sa) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
    LocalFree(sd);
    return e;
}

static int Win32CreateFolderNew(const char* path) {
    static const char kAdminsOnly[] = "D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
    char owned[64];
    FormatText(owned, sizeof owned, "O:BA%s", kAdminsOnly);
    int e = CreateFolderFor(path, owned);
    return e == ERROR_INVALID_OWNER ? CreateFolderFor(path, kAdminsOnly) : e;
}

// Opens a folder without following a link at its name. Others may read and write in it,
// but none may rename or delete it while the handle is open.
static int OpenHeld(const char* path, HANDLE* held) {
    *held = CreateFileA(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (*held == INVALID_HANDLE_VALUE) return LastErrorOr(ERROR_PATH_NOT_FOUND);
    BY_HANDLE_FILE_INFORMATION info;
    // Wine opens what a link leads to; the name's own attributes still show the link.
    DWORD named = GetFileAttributesA(path);
    int e = GetFileInformationByHandle(*held, &info) ? 0 : LastErrorOr(ERROR_INVALID_HANDLE);
    if (!e && ((info.dwFileAttributes | (named == INVALID_FILE_ATTRIBUTES ? 0 : named)) &
               FILE_ATTRIBUTE_REPARSE_POINT))
        e = ERR_STOPPED_ON_SYMLINK;
    if (!e && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) e = ERROR_DIRECTORY;
    if (e) {
        CloseHandle(*held);
        *held = INVALID_HANDLE_VALUE;
    }
    return e;
}

static int Win32Hold(const char* path, FsFile** held) {
    *held = NULL;
    HANDLE h;
    int e = OpenHeld(path, &h);
    if (e) return e;
    *held = (FsFile*)malloc(sizeof(FsFile));
    if (*held) {
        (*held)->handle = h;
        return 0;
    }
    CloseHandle(h);
    return ERROR_NOT_ENOUGH_MEMORY;
}

// Whether a SID is this process's user or the default owner of what it makes (the
// administrators, for an elevated administrator).
static int IsOwnSid(PSID sid) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return 0;
    union {
        TOKEN_OWNER owner;
        TOKEN_USER user;
        BYTE bytes[256];
    } data;
    DWORD size = 0;
    int same =
        GetTokenInformation(token, TokenOwner, &data, sizeof data, &size) && EqualSid(data.owner.Owner, sid);
    if (!same)
        same = GetTokenInformation(token, TokenUser, &data, sizeof data, &size) &&
               EqualSid(data.user.User.Sid, sid);
    CloseHandle(token);
    return same;
}

static int Win32CheckOwner(const char* path) {
    HANDLE h;
    int e = OpenHeld(path, &h);
    if (e) return e;
    PSID owner = NULL;
    PSECURITY_DESCRIPTOR sd = NULL;
    e = (int)GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, NULL, NULL, NULL, &sd);
    if (!e && !IsWellKnownSid(owner, WinBuiltinAdministratorsSid) &&
        !IsWellKnownSid(owner, WinLocalSystemSid) && !IsOwnSid(owner))
        e = ERROR_ACCESS_DENIED;
    if (sd) LocalFree(sd);
    CloseHandle(h);
    return e;
}

// The folders on the way to the last part of a name below a folder, each held open.
enum { HELD_MAX = 48 };
struct HeldWay {
    HANDLE folders[HELD_MAX];
    int count;
    char path[MAX_PATH * 4]; // folder\name
};

static void ReleaseWay(HeldWay* way) {
    while (way->count > 0)
        CloseHandle(way->folders[--way->count]);
}

static int HoldWay(const char* folder, const char* name, HeldWay* way) {
    way->count = 0;
    if (strlen(folder) + strlen(name) + 2 > sizeof way->path) return ERROR_FILENAME_EXCED_RANGE;
    CopyText(way->path, sizeof way->path, folder);
    size_t start = strlen(way->path);
    if (start && way->path[start - 1] != '\\' && way->path[start - 1] != '/')
        AppendText(way->path, sizeof way->path, "\\"), start++;
    AppendText(way->path, sizeof way->path, name);
    for (char* p = way->path + start; *p; p++) {
        if (*p != '\\' && *p != '/') continue;
        char separator = *p;
        *p = 0;
        int e = way->count < HELD_MAX ? OpenHeld(way->path, &way->folders[way->count])
                                      : ERROR_FILENAME_EXCED_RANGE;
        *p = separator;
        if (e) {
            ReleaseWay(way);
            return e == ERROR_FILE_NOT_FOUND || e == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : e;
        }
        way->count++;
    }
    return 0;
}

// Empties the file's own access list and lets its folder's pass on to it (never a NULL list:
// that would open the file to everyone).
static int InheritAccess(const char* path) {
    ACL empty;
    if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return LastErrorOr(ERROR_INVALID_PARAMETER);
    return (int)SetNamedSecurityInfoA((char*)path, SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, NULL,
                                      NULL, &empty, NULL);
}

static int Win32MoveBelow(const char* folder, const char* from, const char* to, int flags) {
    HeldWay a, b;
    int e = HoldWay(folder, from, &a);
    if (e) return e;
    e = HoldWay(folder, to, &b);
    if (!e) {
        // The last part is not followed: a link there is moved or replaced itself.
        e = MoveFileExA(a.path, b.path, MOVEFILE_REPLACE_EXISTING) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
        if (!e && (flags & FS_MOVE_INHERIT)) e = InheritAccess(b.path);
        ReleaseWay(&b);
    }
    ReleaseWay(&a);
    return e;
}

static int Win32DeleteBelow(const char* folder, const char* name) {
    HeldWay way;
    int e = HoldWay(folder, name, &way);
    if (e) return e;
    e = DeleteFileA(way.path) ? 0 : LastErrorOr(ERROR_ACCESS_DENIED);
    ReleaseWay(&way);
    return e;
}

// Filled in by name, so that a slot added to the table cannot shift the others.
static FsProvider MakeLocalProvider() {
    FsProvider p = {};
    p.name = "local";
    p.Enumerate = Win32Enumerate;
    p.CreateFolder = Win32CreateFolder;
    p.RemoveFolder = Win32RemoveFolder;
    p.ReadWhole = Win32ReadWhole;
    p.WriteWhole = Win32WriteWhole;
    p.Delete = Win32Delete;
    p.GetAttributes = Win32GetAttributes;
    p.SetAttributes = Win32SetAttributes;
    p.Exists = Win32Exists;
    p.Move = Win32Move;
    p.Replace = Win32Replace;
    p.Open = Win32Open;
    p.Read = Win32Read;
    p.Write = Win32Write;
    p.Seek = Win32Seek;
    p.Size = Win32Size;
    p.SetTimes = Win32SetTimes;
    p.Close = Win32Close;
    p.Flush = Win32Flush;
    p.DeleteAtRestart = Win32DeleteAtRestart;
    p.CreateFolderNew = Win32CreateFolderNew;
    p.Hold = Win32Hold;
    p.CheckOwner = Win32CheckOwner;
    p.MoveBelow = Win32MoveBelow;
    p.DeleteBelow = Win32DeleteBelow;
    return p;
}

const FsProvider* FsLocal() {
    static const FsProvider local = MakeLocalProvider();
    return &local;
}

void FsSetUpProviders() {
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    try {
        memset(gFsProviders, 0, sizeof gFsProviders);
        gFsProviders[0] = *FsLocal();
        for (int i = 0; i < FS_PROVIDER_SLOTS; i++)
            if (gFsProviders[i].SetUp) gFsProviders[i].SetUp(&gFsProviders[i]);
    } catch (...) {
        // a provider that cannot start is simply not used
    }
    SetErrorMode(previous);
}
