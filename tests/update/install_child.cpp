// The child process of the Windows install test: extracts an update package into a folder
// through the counting provider and, on reaching the given operation, kills itself there
// (operation 0: once the package is staged, before its commit).
//   qx_install_child PACKAGE FOLDER OPERATION
#include <windows.h>
#include <stdlib.h>
#include "update/faultfs.h"
#include "update/package.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    gFault.at = atoi(argv[3]);
    gFault.hook = [] { TerminateProcess(GetCurrentProcess(), 9); };
    PackageOptions options = {};
    options.fs = FaultFs();
    Staging* staged = NULL;
    if (StageUpdate(argv[1], argv[2], &options, &staged)) return 1;
    if (gFault.at == 0) TerminateProcess(GetCurrentProcess(), 9); // between staging and commit
    return CommitStage(staged) == 0 ? 0 : 1;
}
