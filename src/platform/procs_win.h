// Typed access to what the program finds at run time: entry points of system DLLs and the
// window procedures it puts in front of a control's own. A cast to the wrong procedure type
// (a missing WINAPI, another parameter list) goes unnoticed in a 64-bit build and breaks the
// stack of the 32-bit one, so each lookup here takes its type from the system headers'
// declaration of the function, and a replaced window procedure must be a WNDPROC.
#pragma once
#include <windows.h>
#include <type_traits>

// An entry point by name or ordinal, typed as the function the headers declare:
// ProcAddress<decltype(IsWow64Process)>(kernel, "IsWow64Process"). NULL when absent.
template <typename Function>
Function* ProcAddress(HMODULE module, const char* name) {
    static_assert(std::is_function<Function>::value, "ProcAddress takes the function's own type");
    return module ? reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(module, name))) : NULL;
}

// Puts proc in front of a window's procedure; returns the one it had, for the messages proc
// passes on with CallWindowProcA.
inline WNDPROC ReplaceWindowProc(HWND window, WNDPROC proc) {
    return reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
}
