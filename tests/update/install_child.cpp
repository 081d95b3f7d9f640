// The child process of the Windows install test: extracts an update package into a folder
// through the counting provider and, on reaching the given operation, says so and waits to
// be killed.
//   qx_install_child PACKAGE FOLDER OPERATION EVENT
#include <windows.h>
#include <stdlib.h>
#include "update/faultfs.h"
#include "update/package.h"

static HANDLE gReached;

static void WaitToBeKilled() {
    SetEvent(gReached);
    Sleep(INFINITE);
}

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    gReached = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]);
    if (!gReached) return 3;
    gFault.at = atoi(argv[3]);
    gFault.hook = WaitToBeKilled;
    return ExtractUpdatePackageWith(argv[1], argv[2], FaultFs()) == 0 ? 0 : 1;
}
