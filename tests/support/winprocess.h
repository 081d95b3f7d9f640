// Starting the program under test as a child process (Windows tests).
#pragma once
#include <windows.h>
#include <string>

// The folder of the running test program, without a trailing separator.
inline std::string TestProgramFolder() {
    char path[MAX_PATH * 2];
    std::string folder(path, GetModuleFileNameA(NULL, path, sizeof path));
    return folder.substr(0, folder.find_last_of("\\/"));
}

// Copies the built QXUpdate.exe into folder; returns the copy's path.
inline std::string CopyProgramTo(const std::string& folder) {
    std::string target = folder + "\\QXUpdate.exe";
    CopyFileA((TestProgramFolder() + "\\..\\src\\QXUpdate.exe").c_str(), target.c_str(), FALSE);
    return target;
}

// Starts a program with arguments; the process handle, or NULL.
inline HANDLE StartProgram(const std::string& path, const std::string& arguments) {
    std::string commandLine = "\"" + path + "\" " + arguments;
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION info;
    if (!CreateProcessA(path.c_str(), &commandLine[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info))
        return NULL;
    CloseHandle(info.hThread);
    return info.hProcess;
}

// Waits up to timeoutMs for a top-level window of the class owned by the process.
inline HWND WaitForProcessWindow(HANDLE process, const char* windowClass, DWORD timeoutMs) {
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
