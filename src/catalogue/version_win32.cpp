// The version resource of a program file: the vendor test and the installed version.
#include "catalogue/detect.h"
#include <windows.h>
#include <stdlib.h>
#include "platform/procs_win.h"
#include "platform/text.h"

// VERSION.dll is not one of the system's known DLLs: imported at load time, a copy beside the
// program would be loaded in its place. It is loaded from the system folder on first use.
static struct VersionEntries {
    decltype(GetFileVersionInfoSizeA)* getSize;
    decltype(GetFileVersionInfoA)* getInfo;
    decltype(VerQueryValueA)* query;
} gVersion;

static BOOL CALLBACK LoadVersionEntries(INIT_ONCE*, void*, void**) {
    HMODULE module = LoadSystemLibrary("version.dll");
    gVersion.getSize = ProcAddress<decltype(GetFileVersionInfoSizeA)>(module, "GetFileVersionInfoSizeA");
    gVersion.getInfo = ProcAddress<decltype(GetFileVersionInfoA)>(module, "GetFileVersionInfoA");
    gVersion.query = ProcAddress<decltype(VerQueryValueA)>(module, "VerQueryValueA");
    return TRUE;
}

// Detection reads versions on its worker threads too: the table is filled once, by one thread.
static int FindVersionEntries() {
    static INIT_ONCE once = INIT_ONCE_STATIC_INIT;
    InitOnceExecuteOnce(&once, LoadVersionEntries, NULL, NULL);
    return gVersion.getSize && gVersion.getInfo && gVersion.query;
}

// The string tables tried, in order: the user's language first, then US English, then
// language neutral, each in Unicode and in Windows-1252.
static int QueryVersionString(void* block, unsigned language, const char* name, char* out, size_t size,
                              const char* defaultText) {
    const unsigned pairs[6][2] = {{language, 1200}, {language, 1252}, {1033, 1200},
                                  {1033, 1252},     {0, 1200},        {0, 1252}};
    for (const auto& pair : pairs) {
        char subBlock[96];
        FormatText(subBlock, sizeof subBlock, "\\StringFileInfo\\%04X%04X\\%s", pair[0] & 0xFFFF, pair[1],
                   name);
        char* value = NULL;
        UINT length = 0;
        if (!gVersion.query(block, subBlock, (void**)&value, &length)) continue;
        // The value is not always terminated within its length: copy no more than it says.
        if (!value || length == 0 || !value[0]) break;
        CopyTextN(out, size, value, length);
        return 1;
    }
    CopyText(out, size, defaultText);
    return 0;
}

void ReadVersionStrings(const char* path, char* company, char* product, char* version,
                        const char* defaultText) {
    unsigned language = GetUserDefaultLangID();
    DWORD handle = 0;
    DWORD size = FindVersionEntries() ? gVersion.getSize(path, &handle) : 0;
    if (size == 0) {
        CopyText(company, 64, defaultText);
        CopyText(product, 64, defaultText);
        CopyText(version, 32, defaultText);
        return;
    }
    void* block = malloc(size);
    if (!block) return;
    if (gVersion.getInfo(path, 0, size, block)) {
        QueryVersionString(block, language, "CompanyName", company, 64, defaultText);
        QueryVersionString(block, language, "ProductName", product, 64, defaultText);
        QueryVersionString(block, language, "FileVersion", version, 32, defaultText);
    }
    free(block);
}

void ReadInstalledVersion(Product* record) {
    char company[64] = {0}, product[64] = {0}, version[32] = {0};
    ReadVersionStrings(record->location, company, product, version, "");
    if (version[0]) CopyText(record->instVersion, sizeof record->instVersion, version);
}
