// A file-system provider for fault injection: it hands every operation to the local
// provider and counts them. At a chosen operation it fails that one operation, or stops:
// fails it and every later one without touching anything, as a killed process would.
#pragma once
#include <set>
#include <string>
#include <vector>
#include "platform/fs.h"

enum { FAULT_NONE, FAULT_FAIL, FAULT_STOP };

struct FaultPlan {
    int mode;
    int at;                             // the operation, counted from 1, that the fault hits
    int count;                          // the operations seen so far
    void (*hook)();                     // when set, called at operation 'at' before it runs
    std::string undeletable;            // a path (and those below it) whose deletion is refused
    std::vector<std::string> atRestart; // the paths handed over for deletion at a restart
    std::set<FsFile*> unflushed;        // files written and not yet flushed
    int closedUnflushed;                // files closed without a flush after their writing
};
extern FaultPlan gFault;

const FsProvider* FaultFs();
