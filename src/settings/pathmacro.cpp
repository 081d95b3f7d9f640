// Path macros, path normalisation and path comparison.
#include "settings/pathmacro.h"
#include <string.h>
#include "platform/sys.h"
#include "platform/text.h"

enum { WORK_SIZE = 2048 };

void ProgramFolder(char* out, size_t size) {
    char path[WORK_SIZE];
    SysModulePath(path, sizeof path);
    char* cut = NULL;
    for (char* p = path; *p; p++)
        if (IsPathSeparator(*p)) cut = p;
    if (cut) *cut = 0;
    CopyText(out, size, path);
}

static int MacroIs(const char* macro, size_t length, const char* name) {
    char text[64];
    if (length >= sizeof text) return 0;
    CopyTextN(text, sizeof text, macro, length);
    return SysCompareNoCase(text, name) == 0;
}

void ExpandMacros(const char* path, char* out, size_t size) {
    char result[WORK_SIZE];
    const char* second = path[0] == '%' ? strchr(path + 1, '%') : NULL;
    if (!second) {
        CopyText(result, sizeof result, path);
    } else {
        size_t length = (size_t)(second + 1 - path);
        if (MacroIs(path, length, "%MY_PATH%") || MacroIs(path, length, "%NAVIGATOR_PATH%")) {
            ProgramFolder(result, sizeof result);
            AppendText(result, sizeof result, second + 1);
        } else if (MacroIs(path, length, "%APPDATA%")) {
            SysAppDataFolder(result, sizeof result);
            AppendText(result, sizeof result, second + 1);
        } else if (!SysExpandEnvironment(path, result, sizeof result)) {
            CopyText(result, sizeof result, path);
        }
    }
    NormalisePath(result, sizeof result);
    CopyText(out, size, result);
}

void ExpandPath(const char* path, char* out, size_t size) {
    char full[WORK_SIZE];
    if (path[0] == '.' && path[1] == '.') {
        CopyText(full, sizeof full, "%MY_PATH%\\");
        AppendText(full, sizeof full, path);
    } else {
        CopyText(full, sizeof full, path);
    }
    ExpandMacros(full, out, size);
}

static void Remove(char* path, size_t from, size_t to) {
    memmove(path + from, path + to, strlen(path + to) + 1);
}

// A component of "." followed by a separator goes, with the separator.
static void RemoveDotComponents(char* path) {
    for (size_t i = 0; path[i];) {
        int start = i == 0 || IsPathSeparator(path[i - 1]);
        if (start && path[i] == '.' && IsPathSeparator(path[i + 1]))
            Remove(path, i, i + 2);
        else
            i++;
    }
}

// Resolves the first ".." component; returns 0 when there is none.
static int ResolveOneParent(char* path) {
    for (size_t i = 0; path[i]; i++) {
        int start = i == 0 || IsPathSeparator(path[i - 1]);
        if (!start || path[i] != '.' || path[i + 1] != '.' || (path[i + 2] && !IsPathSeparator(path[i + 2])))
            continue;
        size_t after = path[i + 2] ? i + 3 : i + 2;
        if (i == 0) {
            Remove(path, 0, after);
            return 1;
        }
        size_t k = i - 1; // the separator before ".."
        while (k > 0 && !IsPathSeparator(path[k - 1]))
            k--;
        size_t componentLength = i - 1 - k;
        if (componentLength == 0 || path[i - 2] == ':') {
            Remove(path, i, after); // nothing above a root: the ".." just goes
            return 1;
        }
        Remove(path, k, after);
        size_t n = strlen(path);
        if (!path[k] && n > 1 && IsPathSeparator(path[n - 1]) && path[n - 2] != ':') path[n - 1] = 0;
        return 1;
    }
    return 0;
}

void NormalisePath(char* path, size_t size) {
    if (!path || size == 0) return;
    RemoveDotComponents(path);
    while (ResolveOneParent(path)) {
    }
}

int PathsEqual(const char* a, const char* b) {
    char x[WORK_SIZE], y[WORK_SIZE];
    ExpandPath(a, x, sizeof x);
    ExpandPath(b, y, sizeof y);
    for (char* p = x; *p; p++)
        if (*p == '/') *p = '\\';
    for (char* p = y; *p; p++)
        if (*p == '/') *p = '\\';
    return SysCompareNoCase(x, y) == 0;
}

static int IsBoundary(char c) {
    return c == 0 || c == '/' || c == ':' || c == '\\';
}

int PathInside(const char* path, const char* folder) {
    size_t folderLength = strlen(folder);
    if (folderLength == 0 || folderLength > strlen(path)) return 0;
    char p[1024], f[1024];
    CopyText(p, sizeof p, path);
    CopyText(f, sizeof f, folder);
    SysUpperCase(p);
    SysUpperCase(f);
    folderLength = strlen(f);
    for (size_t i = 0; i < folderLength; i++)
        if (p[i] != f[i] && !(IsBoundary(p[i]) && IsBoundary(f[i]))) return 0;
    return IsBoundary(p[folderLength]) || IsBoundary(f[folderLength - 1]);
}

void ProfileFolder(char* out, size_t size, const char* subfolder) {
    char folder[WORK_SIZE];
    ExpandMacros("%APPDATA%", folder, sizeof folder);
    if (!folder[0]) {
        CopyText(out, size, "");
        return;
    }
    size_t n = strlen(folder);
    if (!IsPathSeparator(folder[n - 1])) AppendText(folder, sizeof folder, "\\");
    AppendText(folder, sizeof folder, VENDOR_FOLDER);
    if (subfolder && subfolder[0]) {
        if (!IsPathSeparator(subfolder[0])) AppendText(folder, sizeof folder, "\\");
        AppendText(folder, sizeof folder, subfolder);
    }
    CopyText(out, size, folder);
}
