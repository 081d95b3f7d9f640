// Typed access to what the program finds at run time: entry points of system DLLs and the
// window procedures it puts in front of a control's own. A cast to the wrong procedure type
// (a missing WINAPI, another parameter list) goes unnoticed in a 64-bit build and breaks the
// stack of the 32-bit one, so each lookup here takes its type from the system headers'
// declaration of the function, and a replaced window procedure must be a WNDPROC.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <type_traits>

// An entry point by name or ordinal, typed as the function the headers declare:
// ProcAddress<decltype(IsWow64Process)>(kernel, "IsWow64Process"). NULL when absent.
template <typename Function>
Function* ProcAddress(HMODULE module, const char* name) {
    static_assert(std::is_function<Function>::value, "ProcAddress takes the function's own type");
    return module ? reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name))) : NULL;
}

// The system's own DLLs and programs, named by full path so that no copy beside the program
// or in the current folder is taken for them. Each returns 0 (NULL) when the path does not fit.
// The path of a file in the system folder (GetSystemDirectoryA, which a 32-bit process on a
// 64-bit system sees redirected to its own system folder).
size_t SystemFilePath(const char* name, char* out, size_t size);
// The path of a file in the shared Windows folder (GetSystemWindowsDirectoryA: on a terminal
// server GetWindowsDirectoryA is the user's own folder, which the user can write).
size_t WindowsFilePath(const char* name, char* out, size_t size);
// Loads a DLL of the system folder; the DLLs it needs are looked for there first.
HMODULE LoadSystemLibrary(const char* name);

// Puts proc in front of a window's procedure; returns the one it had, for the messages proc
// passes on with CallWindowProcA.
inline WNDPROC ReplaceWindowProc(HWND window, WNDPROC proc) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}
