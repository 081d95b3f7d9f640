// Test helpers over the local file-system provider.
#include "support/testfiles.h"
#include <stdio.h>
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
// Wine shows a Unix symbolic link to a folder as a reparse point but cannot make or remove
// one (CreateSymbolicLinkA does nothing there, RemoveDirectoryA fails): the Unix ln and rm do.
typedef char*(CDECL* UnixNameProc)(const WCHAR*);
static UnixNameProc WineUnixName() {
    return (UnixNameProc)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
}

// The Unix name of a path whose last part need not exist.
static std::string UnixName(UnixNameProc unixName, const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    std::wstring folder(path.begin(), path.begin() + cut);
    char* name = unixName(folder.c_str());
    if (!name) return "";
    std::string whole = std::string(name) + "/" + path.substr(cut + 1);
    HeapFree(GetProcessHeap(), 0, name);
    return whole;
}

// Starts a Unix program and waits until the name shows (or not) as wanted: Wine's handle of a
// Unix process tells neither its end nor its exit code.
static bool RunUnix(const char* program, std::string command, const std::string& name, bool shown) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(program, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return false;
    CloseHandle(process.hThread), CloseHandle(process.hProcess);
    for (int tries = 0; tries < 250; tries++, Sleep(20))
        if ((GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) == shown) return true;
    return false;
}

bool MakeFolderLink(const std::string& to, const std::string& link) {
    UnixNameProc unixName = WineUnixName();
    if (!unixName) return CreateSymbolicLinkA(link.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    return RunUnix("Z:\\bin\\ln",
                   "ln -s \"" + UnixName(unixName, to) + "\" \"" + UnixName(unixName, link) + "\"", link,
                   true);
}

bool RemoveLink(const std::string& link) {
    UnixNameProc unixName = WineUnixName();
    if (!unixName) return RemoveDirectoryA(link.c_str()) || DeleteFileA(link.c_str());
    return RunUnix("Z:\\bin\\rm", "rm \"" + UnixName(unixName, link) + "\"", link, false);
}
#else
#include <unistd.h>
bool MakeFolderLink(const std::string& to, const std::string& link) {
    return symlink(to.c_str(), link.c_str()) == 0;
}

bool RemoveLink(const std::string& link) {
    return unlink(link.c_str()) == 0;
}
#endif
