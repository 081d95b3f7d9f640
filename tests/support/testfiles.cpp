// Test helpers over the local file-system provider.
#include "support/testfiles.h"
#include <stdlib.h>
#include <random>
#include "platform/fs.h"
#include "platform/sys.h"

TempFolder::TempFolder() {
    static std::random_device random;
    char temp[1024];
    SysTempFolder(temp, sizeof temp);
    path = std::string(temp) + "qxtest-" + std::to_string(random()) + std::to_string(random() % 100000);
    FsLocal()->CreateFolder(path.c_str());
}

TempFolder::~TempFolder() {
    FsDeleteTree(FsLocal(), path.c_str());
}

std::string ReadFileText(const std::string& path) {
    char* data;
    size_t size;
    if (FsLocal()->ReadWhole(path.c_str(), &data, &size)) return "<missing>";
    std::string text(data, size);
    free(data);
    return text;
}

void WriteFileText(const std::string& path, const std::string& text) {
    FsLocal()->WriteWhole(path.c_str(), text.data(), text.size());
}

bool FileExists(const std::string& path) {
    return FsLocal()->Exists(path.c_str()) != 0;
}

#ifdef _WIN32
#include <windows.h>
// Wine shows a Unix symbolic link to a folder as a reparse point but cannot make one
// (CreateSymbolicLinkA does nothing there): the Unix ln makes it.
bool MakeFolderLink(const std::string& to, const std::string& link) {
    typedef char* (*CDECL UnixName)(const WCHAR*);
    UnixName unixName =
        (UnixName)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    if (!unixName) return CreateSymbolicLinkA(link.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    std::string unix[2];
    const std::string* names[2] = {&to, &link};
    for (int i = 0; i < 2; i++) {
        std::wstring wide(names[i]->begin(), names[i]->end());
        size_t cut = names[i]->find_last_of("\\/"); // the link itself does not exist yet
        wide.resize(i ? cut : wide.size());
        char* name = unixName(wide.c_str());
        if (!name) return false;
        unix[i] = name + (i ? "/" + names[i]->substr(cut + 1) : "");
        HeapFree(GetProcessHeap(), 0, name);
    }
    std::string command = "ln -s '" + unix[0] + "' '" + unix[1] + "'";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA("Z:\\bin\\ln", &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread), CloseHandle(process.hProcess);
    for (int tries = 0; tries < 100 && GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES; tries++)
        Sleep(20);
    return GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}
#else
#include <unistd.h>
bool MakeFolderLink(const std::string& to, const std::string& link) {
    return symlink(to.c_str(), link.c_str()) == 0;
}
#endif
