// The child process of the Windows kill tests: extracts an update package into a folder, or
// saves a large settings file, through the counting provider and, on reaching the given
// operation, kills itself there.
//   qx_install_child PACKAGE FOLDER OPERATION
//   qx_install_child --settings FILE OPERATION
#include <windows.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "settings/store.h"
#include "update/faultfs.h"
#include "update/package.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    gFault.at = atoi(argv[3]);
    gFault.hook = [] { TerminateProcess(GetCurrentProcess(), 9); };
    if (strcmp(argv[1], "--settings") != 0)
        return ExtractUpdatePackageWith(argv[1], argv[2], FaultFs()) == 0 ? 0 : 1;
    Store store;
    OpenStore(&store, argv[2], STORE_NO_LOCATE);
    WriteText(&store, "QXUpdate", "Big", std::string(4 << 20, 'x').c_str());
    store.fs = FaultFs();
    return Flush(&store) == 0 ? 0 : 1;
}
