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

// Every operation is handed to the local provider unless it is to fail.
FsProvider Faulty() {
    FsProvider p = *FsLocal();
    p.name = "fault";
    p.Enumerate = [](const char* f, FsEntryProc proc, void* c) {
        return Hit() ? kFault : FsLocal()->Enumerate(f, proc, c);
    };
    p.CreateFolder = [](const char* f) { return Hit() ? kFault : FsLocal()->CreateFolder(f); };
    p.RemoveFolder = [](const char* f) { return Hit() ? kFault : FsLocal()->RemoveFolder(f); };
    p.ReadWhole = [](const char* f, char** data, size_t* size) {
        *data = NULL, *size = 0;
        return Hit() ? kFault : FsLocal()->ReadWhole(f, data, size);
    };
    p.WriteWhole = [](const char* f, const void* d, size_t n) {
        return Hit() ? kFault : FsLocal()->WriteWhole(f, d, n);
    };
    p.Delete = [](const char* f) {
        if (Hit()) return kFault;
        if (!gFault.undeletable.empty() && Slashed(gFault.undeletable) == Slashed(f))
            return (int)ERR_ACCESS_DENIED;
        return FsLocal()->Delete(f);
    };
    p.GetAttributes = [](const char* f, uint32_t* a) {
        return Hit() ? kFault : FsLocal()->GetAttributes(f, a);
    };
    p.SetAttributes = [](const char* f, uint32_t a) {
        return Hit() ? kFault : FsLocal()->SetAttributes(f, a);
    };
    // Has no error to report, so only a stopped process gets no answer.
    p.Exists = [](const char* f) { return Hit() && gFault.mode == FAULT_STOP ? 0 : FsLocal()->Exists(f); };
    p.Move = [](const char* from, const char* to) {
        gFault.moves.push_back(gFault.count + 1);
        return Hit() ? kFault : FsLocal()->Move(from, to);
    };
    p.Open = [](const char* f, int mode, uint32_t a, FsFile** file) {
        *file = NULL;
        return Hit() ? kFault : FsLocal()->Open(f, mode, a, file);
    };
    p.Read = [](FsFile* file, void* buffer, size_t size, size_t* done) {
        *done = 0;
        return Hit() ? kFault : FsLocal()->Read(file, buffer, size, done);
    };
    p.Write = [](FsFile* file, const void* data, size_t size, size_t* done) {
        *done = 0;
        return Hit() ? kFault : FsLocal()->Write(file, data, size, done);
    };
    p.Seek = [](FsFile* file, uint64_t offset) { return Hit() ? kFault : FsLocal()->Seek(file, offset); };
    p.Size = [](FsFile* file, uint64_t* size) { return Hit() ? kFault : FsLocal()->Size(file, size); };
    p.SetTimes = [](FsFile* file, uint64_t time) { return Hit() ? kFault : FsLocal()->SetTimes(file, time); };
    // The handle is released either way, as the system does for a process that ends.
    p.Close = [](FsFile* file) {
        int failed = Hit(), e = FsLocal()->Close(file);
        return failed ? kFault : e;
    };
    // Counted, but not sent to the disk: the tests look at the order of the steps, and a real
    // flush per operation would make them slow.
    p.Flush = [](FsFile*) { return Hit() ? kFault : 0; };
    p.DeleteAtRestart = [](const char* f) { return Hit() ? kFault : (gFault.atRestart.push_back(f), 0); };
    return p;
}

} // namespace

const FsProvider* FaultFs() {
    static const FsProvider provider = Faulty();
    return &provider;
}
