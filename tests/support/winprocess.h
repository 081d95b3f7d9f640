// Starting the program under test as a child process (Windows tests).
#pragma once
#include <windows.h>
#include <string>

// The folder of the running test program, without a trailing separator.
std::string TestProgramFolder();
// Copies the built QXUpdate.exe into folder; returns the copy's path.
std::string CopyProgramTo(const std::string& folder);
// Starts a program with arguments; the process handle, or NULL.
HANDLE StartProgram(const std::string& path, const std::string& arguments);
// Waits up to timeoutMs for a top-level window of the class owned by the process.
HWND WaitForProcessWindow(HANDLE process, const char* windowClass, DWORD timeoutMs);
