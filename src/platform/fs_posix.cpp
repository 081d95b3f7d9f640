// The local-disk provider for native builds, over POSIX calls. Errors are mapped to the
// Windows numbers the rest of the program expects; '\' is accepted as a separator.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include "platform/fs.h"
#include "platform/text.h"

struct FsFile {
    int fd;
};

static int MapErrno(int e) {
    switch (e) {
    case 0: return 0;
    case ENOENT: return ERR_FILE_NOT_FOUND;
    case ENOTDIR: return ERR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERR_ACCESS_DENIED;
    case ENOMEM: return ERR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERR_ALREADY_EXISTS;
    case ENOSPC: return ERR_DISK_FULL;
    case ENAMETOOLONG: return ERR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERR_DIR_NOT_EMPTY;
    case EINVAL: return ERR_INVALID_PARAMETER;
    default: return ERR_GEN_FAILURE;
    }
}

// Copies path with '\' turned into '/' and, as Windows does, the trailing dots and blanks
// of each part dropped (parts made only of them stay as they are).
static void Native(const char* path, char* out, size_t size) {
    size_t used = 0;
    for (const char* part = path;;) {
        const char* end = part;
        while (*end && *end != '/' && *end != '\\')
            end++;
        size_t keep = (size_t)(end - part);
        while (keep > 0 && (part[keep - 1] == '.' || part[keep - 1] == ' '))
            keep--;
        if (keep == 0) keep = (size_t)(end - part);
        for (size_t i = 0; i < keep && used + 1 < size; i++)
            out[used++] = part[i];
        if (!*end) break;
        if (used + 1 < size) out[used++] = '/';
        part = end + 1;
    }
    out[used] = 0;
}

// ENOENT means "path not found" when the parent folder is missing too.
static int PathError(const char* native) {
    int e = errno;
    if (e != ENOENT) return MapErrno(e);
    char parent[4096];
    CopyText(parent, sizeof parent, native);
    char* cut = strrchr(parent, '/');
    if (!cut) return ERR_FILE_NOT_FOUND;
    *cut = 0;
    struct stat st;
    return (parent[0] == 0 || (stat(parent, &st) == 0 && S_ISDIR(st.st_mode))) ? ERR_FILE_NOT_FOUND
                                                                               : ERR_PATH_NOT_FOUND;
}

// The folder bit comes from the entry's type, as on Windows without a look at each file;
// the read-only bit is not reported here (GetAttributes gives it).
static int PosixEnumerate(const char* folder, FsEntryProc proc, void* context) {
    char path[4096];
    Native(folder, path, sizeof path);
    DIR* dir = opendir(path);
    if (!dir) return errno == ENOENT ? ERR_PATH_NOT_FOUND : MapErrno(errno);
    while (struct dirent* d = readdir(dir)) {
        if (strcmp(d->d_name, ".") == 0 || strcmp(d->d_name, "..") == 0) continue;
        uint32_t attributes = d->d_type == DT_DIR ? FILE_ATTR_DIRECTORY : FILE_ATTR_ARCHIVE;
        struct stat st;
        if (d->d_type == DT_UNKNOWN && fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            attributes = S_ISDIR(st.st_mode)   ? FILE_ATTR_DIRECTORY
                         : S_ISLNK(st.st_mode) ? FILE_ATTR_REPARSE_POINT
                                               : attributes;
        // A link is reported as on Windows, and its folder is never entered by the walks.
        if (d->d_type == DT_LNK) attributes = FILE_ATTR_REPARSE_POINT;
        if ((attributes & FILE_ATTR_REPARSE_POINT) && fstatat(dirfd(dir), d->d_name, &st, 0) == 0 &&
            S_ISDIR(st.st_mode))
            attributes |= FILE_ATTR_DIRECTORY;
        FsEntry entry = {d->d_name, attributes};
        if (proc(&entry, context)) break;
    }
    closedir(dir);
    return 0;
}

static int PosixCreateFolder(const char* path) {
    char native[4096];
    Native(path, native, sizeof native);
    if (!native[0]) return ERR_INVALID_NAME;
    size_t len = strlen(native);
    while (len > 1 && native[len - 1] == '/')
        native[--len] = 0;
    for (char* p = native + 1; *p; p++) {
        if (*p != '/') continue;
        *p = 0;
        if (mkdir(native, 0777) != 0 && errno != EEXIST) {
            int e = MapErrno(errno);
            *p = '/';
            return e;
        }
        *p = '/';
    }
    if (mkdir(native, 0777) == 0) return 0;
    struct stat st;
    if (errno == EEXIST && stat(native, &st) == 0 && S_ISDIR(st.st_mode)) return 0;
    return MapErrno(errno);
}

static int PosixRemoveFolder(const char* path) {
    char native[4096];
    Native(path, native, sizeof native);
    struct stat st;
    if (lstat(native, &st) == 0 && S_ISLNK(st.st_mode)) // a link to a folder goes, as on Windows
        return unlink(native) == 0 ? 0 : MapErrno(errno);
    return rmdir(native) == 0 ? 0 : MapErrno(errno);
}

// A file another program holds open without sharing it is modelled by an exclusive lock
// taken through another open of the file: every open then fails, as on Windows.
static int HeldElsewhere(int fd) {
    struct flock lock;
    memset(&lock, 0, sizeof lock);
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type == F_WRLCK;
}

static int PosixOpen(const char* path, int mode, uint32_t attributes, FsFile** file) {
    *file = NULL;
    char native[4096];
    Native(path, native, sizeof native);
    int flags;
    switch (mode) {
    case FS_OPEN_READ: flags = O_RDONLY; break;
    case FS_OPEN_READWRITE: flags = O_RDWR; break;
    case FS_CREATE_WRITE: flags = O_WRONLY | O_CREAT; break; // truncated once it may be
    case FS_CREATE_NEW: flags = O_WRONLY | O_CREAT | O_EXCL; break;
    default: return ERR_INVALID_PARAMETER;
    }
    struct stat st;
    if (mode != FS_OPEN_READ && mode != FS_CREATE_NEW && stat(native, &st) == 0) {
        if (S_ISDIR(st.st_mode)) return ERR_ACCESS_DENIED;
        // The read-only attribute stops writers, also when the tests run as root.
        if (!(st.st_mode & S_IWUSR)) return ERR_ACCESS_DENIED;
    }
    int fd = open(native, flags | O_CLOEXEC, (attributes & FILE_ATTR_READONLY) ? 0444 : 0666);
    if (fd < 0) return PathError(native);
    int e = HeldElsewhere(fd) ? ERR_SHARING_VIOLATION : 0;
    if (!e && mode == FS_CREATE_WRITE && ftruncate(fd, 0) != 0) e = MapErrno(errno);
    if (e) {
        close(fd);
        return e;
    }
    if (mode == FS_OPEN_READ && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        return ERR_ACCESS_DENIED;
    }
    FsFile* f = (FsFile*)malloc(sizeof(FsFile));
    if (!f) {
        close(fd);
        return ERR_NOT_ENOUGH_MEMORY;
    }
    f->fd = fd;
    *file = f;
    return 0;
}

static int PosixRead(FsFile* file, void* buffer, size_t size, size_t* done) {
    *done = 0;
    while (size > 0) {
        ssize_t got = read(file->fd, buffer, size);
        if (got < 0) {
            if (errno == EINTR) continue;
            return ERR_READ_FAULT;
        }
        if (got == 0) break;
        *done += (size_t)got, size -= (size_t)got, buffer = (char*)buffer + got;
    }
    return 0;
}

static int PosixWrite(FsFile* file, const void* data, size_t size, size_t* done) {
    *done = 0;
    while (size > 0) {
        ssize_t put = write(file->fd, data, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            return errno == ENOSPC ? ERR_DISK_FULL : ERR_WRITE_FAULT;
        }
        *done += (size_t)put, size -= (size_t)put, data = (const char*)data + put;
    }
    return 0;
}

static int PosixSeek(FsFile* file, uint64_t offset) {
    return lseek(file->fd, (off_t)offset, SEEK_SET) < 0 ? ERR_INVALID_PARAMETER : 0;
}

static int PosixSize(FsFile* file, uint64_t* size) {
    struct stat st;
    if (fstat(file->fd, &st) != 0) return ERR_INVALID_HANDLE;
    *size = (uint64_t)st.st_size;
    return 0;
}

static int PosixSetTimes(FsFile* file, uint64_t fileTime) {
    // 100 ns units since 1601 to seconds since 1970
    int64_t unit = (int64_t)fileTime - 116444736000000000LL;
    struct timespec times[2];
    times[0].tv_sec = (time_t)(unit / 10000000);
    times[0].tv_nsec = (long)(unit % 10000000) * 100;
    if (times[0].tv_nsec < 0) times[0].tv_sec--, times[0].tv_nsec += 1000000000;
    times[1] = times[0];
    return futimens(file->fd, times) == 0 ? 0 : MapErrno(errno);
}

static int PosixClose(FsFile* file) {
    if (!file) return 0;
    int r = close(file->fd) == 0 ? 0 : ERR_WRITE_FAULT;
    free(file);
    return r;
}

static int PosixFlush(FsFile* file) {
    return fsync(file->fd) == 0 ? 0 : MapErrno(errno);
}

static int PosixReadWhole(const char* path, char** data, size_t* size) {
    *data = NULL;
    *size = 0;
    FsFile* f;
    int r = PosixOpen(path, FS_OPEN_READ, 0, &f);
    if (r) return r;
    uint64_t length = 0;
    r = PosixSize(f, &length);
    char* buffer = r ? NULL : (char*)calloc((size_t)length + 2, 1);
    if (!r && !buffer) r = ERR_NOT_ENOUGH_MEMORY;
    size_t got = 0;
    if (!r) r = PosixRead(f, buffer, (size_t)length, &got);
    PosixClose(f);
    if (r) {
        free(buffer);
        return r;
    }
    *data = buffer;
    *size = got;
    return 0;
}

static int PosixWriteWhole(const char* path, const void* data, size_t size) {
    FsFile* f;
    int r = PosixOpen(path, FS_CREATE_WRITE, FILE_ATTR_NORMAL, &f);
    if (r) return r;
    size_t done;
    r = PosixWrite(f, data, size, &done);
    int c = PosixClose(f);
    return r ? r : c;
}

static int PosixDelete(const char* path) {
    char native[4096];
    Native(path, native, sizeof native);
    struct stat st;
    if (lstat(native, &st) == 0 && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) return ERR_ACCESS_DENIED;
    return unlink(native) == 0 ? 0 : PathError(native);
}

static int PosixGetAttributes(const char* path, uint32_t* attributes) {
    char native[4096];
    Native(path, native, sizeof native);
    struct stat st;
    if (lstat(native, &st) != 0) return PathError(native);
    // A link reports itself, as on Windows: the link bit, and the folder bit when it leads to one.
    uint32_t link = S_ISLNK(st.st_mode) ? FILE_ATTR_REPARSE_POINT : 0;
    if (link && stat(native, &st) != 0) st.st_mode = S_IFREG | S_IWUSR;
    uint32_t a = S_ISDIR(st.st_mode) ? FILE_ATTR_DIRECTORY : FILE_ATTR_ARCHIVE;
    if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTR_READONLY;
    *attributes = a | link;
    return 0;
}

static int PosixSetAttributes(const char* path, uint32_t attributes) {
    char native[4096];
    Native(path, native, sizeof native);
    struct stat st;
    if (stat(native, &st) != 0) return PathError(native);
    mode_t mode = st.st_mode & 07777;
    mode = (attributes & FILE_ATTR_READONLY) ? (mode & ~(mode_t)0222) : (mode | S_IWUSR);
    return chmod(native, mode) == 0 ? 0 : MapErrno(errno);
}

static int PosixExists(const char* path) {
    char native[4096];
    Native(path, native, sizeof native);
    struct stat st;
    return stat(native, &st) == 0;
}

static int PosixMove(const char* from, const char* to) {
    char a[4096], b[4096];
    Native(from, a, sizeof a);
    Native(to, b, sizeof b);
    struct stat st;
    if (stat(b, &st) == 0 && !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR)) return ERR_ACCESS_DENIED;
    return rename(a, b) == 0 ? 0 : PathError(a);
}

// The rename reaches the disk with its folder.
static int PosixReplace(const char* from, const char* to) {
    int r = PosixMove(from, to);
    if (r) return r;
    char folder[4096];
    Native(to, folder, sizeof folder);
    char* cut = strrchr(folder, '/');
    if (cut) *cut = 0;
    int fd = open(cut ? (folder[0] ? folder : "/") : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    fsync(fd);
    close(fd);
    return 0;
}

static int PosixCreateFolderNew(const char* path) {
    char native[4096];
    Native(path, native, sizeof native);
    return mkdir(native, 0700) == 0 ? 0 : PathError(native);
}

// The error for a name that could not be opened as a folder without following it.
static int NotFollowed(int at, const char* name) {
    int e = errno;
    struct stat st;
    if (fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        return ERR_STOPPED_ON_SYMLINK;
    return e == ENOENT || e == ENOTDIR ? ERR_PATH_NOT_FOUND : MapErrno(e);
}

static int PosixHold(const char* path, FsFile** held) {
    *held = NULL;
    char native[4096];
    Native(path, native, sizeof native);
    int fd = open(native, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return NotFollowed(AT_FDCWD, native);
    *held = (FsFile*)malloc(sizeof(FsFile));
    if (*held) {
        (*held)->fd = fd;
        return 0;
    }
    close(fd);
    return ERR_NOT_ENOUGH_MEMORY;
}

static int PosixCheckOwner(const char* path) {
    char native[4096];
    Native(path, native, sizeof native);
    struct stat st;
    if (lstat(native, &st) != 0) return PathError(native);
    if (S_ISLNK(st.st_mode)) return ERR_STOPPED_ON_SYMLINK;
    int owner = st.st_uid == geteuid() || st.st_uid == 0;
    return S_ISDIR(st.st_mode) && owner && !(st.st_mode & 022) ? 0 : ERR_ACCESS_DENIED;
}

// Opens, part by part and following no link, the folder that holds the last part of a name
// below a folder; *last points to that part inside name.
static int OpenParentBelow(const char* folder, const char* name, int* parent, const char** last) {
    char native[4096];
    Native(folder, native, sizeof native);
    int fd = open(native[0] ? native : ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return PathError(native);
    for (const char* part = name;;) {
        const char* end = part;
        while (*end && *end != '/' && *end != '\\')
            end++;
        if (!*end) {
            *parent = fd, *last = part;
            return 0;
        }
        char piece[256];
        if ((size_t)(end - part) >= sizeof piece) {
            close(fd);
            return ERR_FILENAME_EXCED_RANGE;
        }
        CopyTextN(piece, sizeof piece, part, (size_t)(end - part));
        int next = openat(fd, piece[0] ? piece : ".", O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        int e = next < 0 ? NotFollowed(fd, piece) : 0;
        close(fd);
        if (e) return e;
        fd = next;
        part = end + 1;
    }
}

// The modes a file was made with stay: the folder it was made in kept others out.
static int PosixMoveBelow(const char* folder, const char* from, const char* to, int) {
    int a, b;
    const char *fromName, *toName;
    int e = OpenParentBelow(folder, from, &a, &fromName);
    if (e) return e;
    e = OpenParentBelow(folder, to, &b, &toName);
    if (!e) {
        struct stat st;
        if (fstatat(b, toName, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
            !(st.st_mode & S_IWUSR))
            e = ERR_ACCESS_DENIED;
        else if (renameat(a, fromName, b, toName) != 0)
            e = errno == ENOENT ? ERR_FILE_NOT_FOUND : MapErrno(errno);
        close(b);
    }
    close(a);
    return e;
}

static int PosixDeleteBelow(const char* folder, const char* name) {
    int at;
    const char* last;
    int e = OpenParentBelow(folder, name, &at, &last);
    if (e) return e;
    struct stat st;
    if (fstatat(at, last, &st, AT_SYMLINK_NOFOLLOW) != 0)
        e = errno == ENOENT ? ERR_FILE_NOT_FOUND : MapErrno(errno);
    else if (S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR)))
        e = ERR_ACCESS_DENIED;
    else if (unlinkat(at, last, 0) != 0)
        e = MapErrno(errno);
    close(at);
    return e;
}

// Filled in by name, so that a slot added to the table cannot shift the others.
static FsProvider MakeLocalProvider() {
    FsProvider p = {};
    p.name = "local";
    p.Enumerate = PosixEnumerate;
    p.CreateFolder = PosixCreateFolder;
    p.RemoveFolder = PosixRemoveFolder;
    p.ReadWhole = PosixReadWhole;
    p.WriteWhole = PosixWriteWhole;
    p.Delete = PosixDelete;
    p.GetAttributes = PosixGetAttributes;
    p.SetAttributes = PosixSetAttributes;
    p.Exists = PosixExists;
    p.Move = PosixMove;
    p.Replace = PosixReplace;
    p.Open = PosixOpen;
    p.Read = PosixRead;
    p.Write = PosixWrite;
    p.Seek = PosixSeek;
    p.Size = PosixSize;
    p.SetTimes = PosixSetTimes;
    p.Close = PosixClose;
    p.Flush = PosixFlush;
    p.CreateFolderNew = PosixCreateFolderNew;
    p.Hold = PosixHold;
    p.CheckOwner = PosixCheckOwner;
    p.MoveBelow = PosixMoveBelow;
    p.DeleteBelow = PosixDeleteBelow;
    return p;
}

const FsProvider* FsLocal() {
    static const FsProvider local = MakeLocalProvider();
    return &local;
}

void FsSetUpProviders() {
    try {
        memset(gFsProviders, 0, sizeof gFsProviders);
        gFsProviders[0] = *FsLocal();
        for (int i = 0; i < FS_PROVIDER_SLOTS; i++)
            if (gFsProviders[i].SetUp) gFsProviders[i].SetUp(&gFsProviders[i]);
    } catch (...) {
        // a provider that cannot start is simply not used
    }
}
