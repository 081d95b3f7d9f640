// Temporary file names in the program's temporary folder.
#include "update/tempfiles.h"
#include <string.h>
#include "platform/fs.h"
#include "platform/sys.h"
#include "platform/text.h"

size_t ProgramTempFolder(char* out, size_t size) {
    char temp[1024], program[1024];
    SysTempFolder(temp, sizeof temp);
    SysModulePath(program, sizeof program);
    char stem[256];
    CopyText(stem, sizeof stem, PathFileName(program));
    char* dot = strrchr(stem, '.');
    if (dot) *dot = 0;
    if (!stem[0] || !temp[0]) return CopyText(out, size, "");
    AppendText(temp, sizeof temp, stem);
    AppendText(temp, sizeof temp, "\\");
    return CopyText(out, size, temp);
}

unsigned MakeTempFileName(const char* fileTemplate, char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    char folder[1024];
    if (buffer[0]) {
        CopyText(folder, sizeof folder, buffer);
        char* cut = strrchr(folder, '\\');
        if (cut) cut[1] = 0;
    } else {
        ProgramTempFolder(folder, sizeof folder);
    }
    buffer[0] = 0;
    if (!folder[0]) return 0;
    size_t n = strlen(folder);
    if (!IsPathSeparator(folder[n - 1])) AppendText(folder, sizeof folder, "\\");
    const FsProvider* fs = FsLocal();
    const char* name = PathFileName(fileTemplate ? fileTemplate : "");
    if (name[0]) {
        char path[1024];
        CopyText(path, sizeof path, folder);
        AppendText(path, sizeof path, name);
        if (!fs->Exists(path)) {
            CopyText(buffer, size, path);
            return 1;
        }
    }
    const char* extension = strrchr(name, '.');
    for (unsigned number = 1; number < 100000; number++) {
        char path[1024];
        FormatText(path, sizeof path, "%s%u%s", folder, number, extension ? extension : "");
        if (!fs->Exists(path)) {
            CopyText(buffer, size, path);
            return number;
        }
    }
    return 0;
}
