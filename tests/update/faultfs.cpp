// The fault-injecting provider over the local one.
#include "update/faultfs.h"
#include <map>

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

int Collect(const FsEntry* entry, void* sorted) {
    (*(std::map<std::string, uint32_t>*)sorted)[entry->name] = entry->attributes;
    return 0;
}

// Every operation is handed to the local provider unless it is to fail; a failed one clears
// what it would have given back, as the system's calls do.
const FsProvider* const kLocal = FsLocal();
FsProvider Faulty() {
    FsProvider p = *kLocal;
    p.name = "fault";
    // In name order, as NTFS gives them, so that a test sees the order Windows would.
    p.Enumerate = [](const char* f, FsEntryProc proc, void* c) {
        if (Hit()) return kFault;
        std::map<std::string, uint32_t> sorted;
        int e = kLocal->Enumerate(f, Collect, &sorted);
        for (auto it = sorted.begin(); !e && it != sorted.end(); ++it) {
            FsEntry entry = {it->first.c_str(), it->second};
            if (proc(&entry, c)) break;
        }
        return e;
    };
    p.CreateFolder = [](const char* f) { return Hit() ? kFault : kLocal->CreateFolder(f); };
    p.RemoveFolder = [](const char* f) { return Hit() ? kFault : kLocal->RemoveFolder(f); };
    p.ReadWhole = [](const char* f, char** d, size_t* n) {
        return Hit() ? (*d = NULL, *n = 0, kFault) : kLocal->ReadWhole(f, d, n);
    };
    p.WriteWhole = [](const char* f, const void* d, size_t n) {
        return Hit() ? kFault : kLocal->WriteWhole(f, d, n);
    };
    p.Delete = [](const char* f) {
        if (Hit()) return kFault;
        if (!gFault.undeletable.empty() && Slashed(f).rfind(Slashed(gFault.undeletable), 0) == 0 &&
            kLocal->Exists(f))
            return (int)ERR_ACCESS_DENIED;
        return kLocal->Delete(f);
    };
    p.GetAttributes = [](const char* f, uint32_t* a) { return Hit() ? kFault : kLocal->GetAttributes(f, a); };
    p.SetAttributes = [](const char* f, uint32_t a) { return Hit() ? kFault : kLocal->SetAttributes(f, a); };
    // Has no error to report, so only a stopped process gets no answer.
    p.Exists = [](const char* f) { return Hit() && gFault.mode == FAULT_STOP ? 0 : kLocal->Exists(f); };
    p.Move = [](const char* from, const char* to) { return Hit() ? kFault : kLocal->Move(from, to); };
    p.Replace = [](const char* from, const char* to) { return Hit() ? kFault : kLocal->Replace(from, to); };
    p.Open = [](const char* f, int m, uint32_t a, FsFile** o) {
        return Hit() ? (*o = NULL, kFault) : kLocal->Open(f, m, a, o);
    };
    p.Read = [](FsFile* f, void* b, size_t n, size_t* d) {
        return Hit() ? (*d = 0, kFault) : kLocal->Read(f, b, n, d);
    };
    p.Write = [](FsFile* f, const void* b, size_t n, size_t* d) {
        gFault.unflushed.insert(f);
        return Hit() ? (*d = 0, kFault) : kLocal->Write(f, b, n, d);
    };
    p.Seek = [](FsFile* f, uint64_t at) { return Hit() ? kFault : kLocal->Seek(f, at); };
    p.Size = [](FsFile* f, uint64_t* size) { return Hit() ? kFault : kLocal->Size(f, size); };
    p.SetTimes = [](FsFile* f, uint64_t time) { return Hit() ? kFault : kLocal->SetTimes(f, time); };
    // The handle is released either way, as the system does for a process that ends.
    p.Close = [](FsFile* f) {
        gFault.closedUnflushed += (int)gFault.unflushed.erase(f);
        int failed = Hit(), e = kLocal->Close(f);
        return failed ? kFault : e;
    };
    // Counted, but not sent to the disk: the tests look at the order of the steps, and a real
    // flush per operation would make them slow.
    p.Flush = [](FsFile* f) {
        gFault.unflushed.erase(f);
        return Hit() ? kFault : 0;
    };
    p.DeleteAtRestart = [](const char* f) { return Hit() ? kFault : (gFault.atRestart.push_back(f), 0); };
    p.CreateFolderNew = [](const char* f) { return Hit() ? kFault : kLocal->CreateFolderNew(f); };
    p.Hold = [](const char* f, FsFile** o) { return Hit() ? (*o = NULL, kFault) : kLocal->Hold(f, o); };
    p.CheckOwner = [](const char* f) { return Hit() ? kFault : kLocal->CheckOwner(f); };
    p.MoveBelow = [](const char* f, const char* from, const char* to, int flags) {
        return Hit() ? kFault : kLocal->MoveBelow(f, from, to, flags);
    };
    return p;
}

} // namespace

const FsProvider* FaultFs() {
    static const FsProvider provider = Faulty();
    return &provider;
}
