// The file-system provider table: the file operations the program uses, behind one
// provider for local disks. Every operation returns 0 or a Windows error number.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "platform/errors.h"

struct FsFile; // an open file of a provider

struct FsEntry {
    const char* name;    // file name only, no folder
    uint32_t attributes; // FILE_ATTR_* bits; a link has FILE_ATTR_REPARSE_POINT (and the folder bit
                         // when it leads to a folder)
};

// Called for each entry of a folder ("." and ".." are not passed); nonzero stops the walk.
typedef int (*FsEntryProc)(const FsEntry* entry, void* context);

// Open modes.
enum {
    FS_OPEN_READ = 1,      // existing file, reading, others may read
    FS_OPEN_READWRITE = 2, // existing file, reading and writing, others may read and write
    FS_CREATE_WRITE = 3,   // created or truncated, writing, no sharing, with the given attributes
    FS_CREATE_NEW = 4,     // as 3, but only where no file or link of that name exists (none is followed)
};
enum { FS_MOVE_INHERIT = 1 };

struct FsProvider {
    const char* name;
    int (*SetUp)(FsProvider* provider);
    void (*Release)(FsProvider* provider);

    int (*Enumerate)(const char* folder, FsEntryProc proc, void* context);
    int (*CreateFolder)(const char* path); // with every missing parent; an existing folder is 0
    int (*RemoveFolder)(const char* path); // an empty folder
    // Reads a whole file into a new zero-filled buffer two bytes longer than the file (free()).
    int (*ReadWhole)(const char* path, char** data, size_t* size);
    int (*WriteWhole)(const char* path, const void* data, size_t size); // created or truncated
    int (*Delete)(const char* path);
    int (*GetAttributes)(const char* path, uint32_t* attributes);
    int (*SetAttributes)(const char* path, uint32_t attributes);
    int (*Exists)(const char* path);               // nonzero when a file or folder of that name exists
    int (*Move)(const char* from, const char* to); // replaces an existing file at 'to'
    // Puts the file 'from' in the place of the file 'to' in one step, written through to the
    // disk: a reader sees the old or the new file, never a part. 'to' need not exist.
    int (*Replace)(const char* from, const char* to);

    int (*Open)(const char* path, int mode, uint32_t attributes, FsFile** file);
    int (*Read)(FsFile* file, void* buffer, size_t size, size_t* done);
    int (*Write)(FsFile* file, const void* data, size_t size, size_t* done);
    int (*Seek)(FsFile* file, uint64_t offset);
    int (*Size)(FsFile* file, uint64_t* size);
    // Sets creation, last access and last write time (100 ns units since 1601, UTC).
    int (*SetTimes)(FsFile* file, uint64_t fileTime);
    int (*Close)(FsFile* file);
    // Writes what the system still holds of an open file to the disk. NULL when the
    // provider cannot.
    int (*Flush)(FsFile* file);
    // Deletes a file or an empty folder when the system next starts. NULL when the provider
    // cannot.
    int (*DeleteAtRestart)(const char* path);

    // Operations that never follow a link. Whoever can write a folder can put a symbolic
    // link, junction or mount point in it; followed, it would turn a write meant for that
    // folder into a write anywhere on the machine.

    // Makes one new folder that only the administrators and the system may open (POSIX:
    // only its owner). Fails with ERR_ALREADY_EXISTS when anything of that name exists.
    int (*CreateFolderNew)(const char* path);
    // Opens a folder so that it can be neither renamed nor deleted until Close (POSIX cannot
    // keep it from that). ERR_STOPPED_ON_SYMLINK when the name is a link.
    int (*Hold)(const char* path, FsFile** held);
    // 0 when the folder (a link is not followed) belongs to the administrators, the system, or
    // this process's user or default owner (POSIX: the effective user or root, and nobody
    // else may write to it). Another user can make nothing that passes.
    int (*CheckOwner)(const char* path);
    // Moves folder\from to folder\to (replacing a file there) and deletes folder\name. No
    // link in either name below folder is followed (ERR_STOPPED_ON_SYMLINK), and none can be
    // swapped in while the operation runs; the folder itself is taken as it is. With
    // FS_MOVE_INHERIT the moved file then has the access its new folder passes on, and none of
    // its own (a file made in a folder for the administrators only would keep theirs).
    int (*MoveBelow)(const char* folder, const char* from, const char* to, int flags);
    int (*DeleteBelow)(const char* folder, const char* name);

    void* data; // the provider's own state between SetUp and Release
};

// The local-disk provider. Its operations need no set-up and may be used at any time,
// also by objects constructed before the entry function runs.
const FsProvider* FsLocal();

// The provider table of the running program (two slots; the second is unused today).
enum { FS_PROVIDER_SLOTS = 2 };
extern FsProvider gFsProviders[FS_PROVIDER_SLOTS];
// Clears the table and sets up every registered provider; exceptions are swallowed.
void FsSetUpProviders();
// Releases every provider whose release operation is set; exceptions are swallowed.
void FsReleaseProviders();

// Helpers over the local provider.
// Deletes a folder with everything in it. Returns 0 or the first error.
int FsDeleteTree(const FsProvider* fs, const char* folder);
