// Starting the program under test as a child process.
#include "support/winprocess.h"

std::string TestProgramFolder() {
    char path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/"));
}

std::string BuiltProgramPath() {
    std::string folder = TestProgramFolder();
    return folder.substr(0, folder.find_last_of("\\/")) + "\\src\\QXUpdate.exe";
}

std::string CopyProgramTo(const std::string& folder) {
    std::string target = folder + "\\QXUpdate.exe";
    CopyFileA(BuiltProgramPath().c_str(), target.c_str(), FALSE);
    return target;
}

HANDLE StartProgram(const std::string& path, const std::string& arguments) {
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION info;
    if (!CreateProcessA(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return NULL;
    CloseHandle(info.hThread);
    return info.hProcess;
}

struct WindowSearch {
    DWORD processId;
    const char* windowClass;
    HWND found;
};

static BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = (WindowSearch*)lParam;
    DWORD owner = 0;
    char name[64];
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && GetClassNameA(window, name, sizeof name) &&
        lstrcmpA(name, search->windowClass) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForProcessWindow(HANDLE process, const char* windowClass, DWORD timeoutMs) {
    WindowSearch search = {GetProcessId(process), windowClass, NULL};
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        EnumWindows(MatchWindow, (LPARAM)&search);
        if (search.found) return search.found;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    }
    return NULL;
}
