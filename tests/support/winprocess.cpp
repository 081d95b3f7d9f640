// Starting the program under test as a child process.
#include "support/winprocess.h"

std::string TestProgramFolder() {
    char path[MAX_PATH * 2];
    DWORD n = GetModuleFileNameA(NULL, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/"));
}

std::string CopyProgramTo(const std::string& folder) {
    std::string tests = TestProgramFolder(), target = folder + "\\QXUpdate.exe";
    CopyFileA((tests.substr(0, tests.find_last_of("\\/")) + "\\src\\QXUpdate.exe").c_str(), target.c_str(), FALSE);
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

HWND WaitForProcessWindow(HANDLE process, const char* windowClass, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        for (HWND window = NULL; (window = FindWindowExA(NULL, window, windowClass, NULL)) != NULL;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == GetProcessId(process)) return window;
        }
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0) break;
    }
    return NULL;
}
