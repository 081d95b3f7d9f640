// Benchmark of the folder scan, run by hand through bench/run.sh:
//   qx_scan_bench FOLDER   makes a tree of 202,220 entries below FOLDER (kept for later runs:
//                          2,220 folders, 200,000 empty files, 20 of them named QX*.exe),
//                          then times the scan through the local provider against
//                          "find FOLDER -iname 'qx*.exe'" over the same tree (on Windows
//                          and under Wine against "cmd /c dir /s /b FOLDER"), best of five
//                          each, and prints both times and their ratio.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <chrono>
#include <string>
#include "catalogue/detect.h"
#include "platform/fs.h"

#ifdef _WIN32
static const char* const kReference = "cmd /c dir /s /b \"%s\" >NUL";
static const char* const kTreeName = "\\scan-tree";
#else
static const char* const kReference = "find '%s' -iname 'qx*.exe' >/dev/null";
static const char* const kTreeName = "/scan-tree";
#endif

static double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static int MakeTree(const std::string& root) {
    std::string done = root + "/.complete";
    if (FsLocal()->Exists(done.c_str())) return 0;
    int files = 0;
    for (int a = 0; a < 20; a++)
        for (int b = 0; b < 10; b++)
            for (int c = 0; c < 10; c++) {
                std::string folder = root + "/app" + std::to_string(a) + "/lib" + std::to_string(b) + "/res" +
                                     std::to_string(c);
                if (FsLocal()->CreateFolder(folder.c_str())) return 1;
                for (int i = 0; i < 100; i++, files++) {
                    // Every 10,000th file has a name the scan examines.
                    std::string name = files % 10000 == 0 ? "/QXTool" : "/file";
                    std::string path = folder + name + std::to_string(i) + (i % 3 ? ".dll" : ".exe");
                    if (FsLocal()->WriteWhole(path.c_str(), "", 0)) return 1;
                }
            }
    return FsLocal()->WriteWhole(done.c_str(), "", 0);
}

static int gVersionReads;
static void NoVersion(const char*, char* company, char* product, char* version, const char*) {
    gVersionReads++;
    company[0] = product[0] = version[0] = 0;
}
static int NoRows(void*) {
    return 0;
}

static double TimeScan(const char* root) {
    RowStore rows = {NULL, NoRows, NULL, NULL, NULL, NULL, NULL, NULL, NULL};
    ScanHost host = {NoVersion, NULL, NULL};
    double start = Now();
    ScanContext context;
    BeginScan(&context, &rows, FsLocal(), &host);
    ScanFolderForProducts(root, &context);
    EndScan(&context);
    return Now() - start;
}

static double TimeReference(const char* root) {
    char command[2048];
    snprintf(command, sizeof command, kReference, root);
    double start = Now();
    if (system(command) != 0) return -1;
    return Now() - start;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: qx_scan_bench FOLDER\n");
        return 2;
    }
    std::string root = std::string(argv[1]) + kTreeName;
    if (MakeTree(root)) {
        fprintf(stderr, "qx_scan_bench: cannot make the tree in %s\n", root.c_str());
        return 1;
    }
    TimeReference(root.c_str()); // both start with the tree in the cache
    double scan = 1e9, find = 1e9;
    for (int i = 0; i < 5; i++) {
        gVersionReads = 0;
        double s = TimeScan(root.c_str()), f = TimeReference(root.c_str());
        if (s < scan) scan = s;
        if (f >= 0 && f < find) find = f;
    }
    printf("scan of 202,220 entries: %.3f s (%d version reads); %.*s: %.3f s; ratio %.2f\n", scan,
           gVersionReads, (int)strcspn(kReference, " "), kReference, find, scan / find);
    return 0;
}
