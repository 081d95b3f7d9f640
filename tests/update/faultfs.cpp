// The fault-injecting provider over the local one.
#include "update/faultfs.h"

FaultPlan gFault;

namespace {

const int kFault = ERR_IO_DEVICE;

// Counts an operation; nonzero when it is to fail.
int Hit() {
    gFault.count++;
    if (gFault.mode == FAULT_STOP && gFault.count > gFault.at) return 1;
    if (gFault.count != gFault.at) return 0;
    if (gFault.hook) gFault.hook();
    return gFault.mode != FAULT_NONE;
}

std::string Slashed(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

const FsProvider* Local() {
    return FsLocal();
}

int Enumerate(const char* folder, FsEntryProc proc, void* context) {
    return Hit() ? kFault : Local()->Enumerate(folder, proc, context);
}
int CreateFolder(const char* path) {
    return Hit() ? kFault : Local()->CreateFolder(path);
}
int RemoveFolder(const char* path) {
    return Hit() ? kFault : Local()->RemoveFolder(path);
}
int ReadWhole(const char* path, char** data, size_t* size) {
    *data = NULL, *size = 0;
    return Hit() ? kFault : Local()->ReadWhole(path, data, size);
}
int WriteWhole(const char* path, const void* data, size_t size) {
    return Hit() ? kFault : Local()->WriteWhole(path, data, size);
}
int Delete(const char* path) {
    if (Hit()) return kFault;
    if (!gFault.undeletable.empty() && Slashed(gFault.undeletable) == Slashed(path)) return ERR_ACCESS_DENIED;
    return Local()->Delete(path);
}
int GetAttributes(const char* path, uint32_t* attributes) {
    return Hit() ? kFault : Local()->GetAttributes(path, attributes);
}
int SetAttributes(const char* path, uint32_t attributes) {
    return Hit() ? kFault : Local()->SetAttributes(path, attributes);
}
// Has no error to report, so only a stopped process gets no answer.
int Exists(const char* path) {
    return Hit() && gFault.mode == FAULT_STOP ? 0 : Local()->Exists(path);
}
int Move(const char* from, const char* to) {
    gFault.moves.push_back(gFault.count + 1);
    return Hit() ? kFault : Local()->Move(from, to);
}
int Open(const char* path, int mode, uint32_t attributes, FsFile** file) {
    *file = NULL;
    return Hit() ? kFault : Local()->Open(path, mode, attributes, file);
}
int Read(FsFile* file, void* buffer, size_t size, size_t* done) {
    *done = 0;
    return Hit() ? kFault : Local()->Read(file, buffer, size, done);
}
int Write(FsFile* file, const void* data, size_t size, size_t* done) {
    *done = 0;
    return Hit() ? kFault : Local()->Write(file, data, size, done);
}
int Seek(FsFile* file, uint64_t offset) {
    return Hit() ? kFault : Local()->Seek(file, offset);
}
int Size(FsFile* file, uint64_t* size) {
    return Hit() ? kFault : Local()->Size(file, size);
}
int SetTimes(FsFile* file, uint64_t fileTime) {
    return Hit() ? kFault : Local()->SetTimes(file, fileTime);
}
// The handle is released either way, as the system does for a process that ends.
int Close(FsFile* file) {
    int failed = Hit();
    int e = Local()->Close(file);
    return failed ? kFault : e;
}
// Counted, but not sent to the disk: the tests look at the order of the steps, and a real
// flush per operation would make them slow.
int Flush(FsFile*) {
    return Hit() ? kFault : 0;
}
int DeleteAtRestart(const char* path) {
    if (Hit()) return kFault;
    gFault.atRestart.push_back(path);
    return 0;
}

} // namespace

const FsProvider* FaultFs() {
    static FsProvider provider = {
        "fault",   NULL,       NULL,   Enumerate,       CreateFolder,  RemoveFolder,
        ReadWhole, WriteWhole, Delete, GetAttributes,   SetAttributes, Exists,
        Move,      Open,       Read,   Write,           Seek,          Size,
        SetTimes,  Close,      Flush,  DeleteAtRestart, NULL,
    };
    return &provider;
}
