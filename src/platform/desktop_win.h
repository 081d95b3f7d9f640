// Starting what the user asked for (a product after its update, a help viewer, a web page) as
// the user at the desktop, not with this program's administrator rights.
#pragma once
#include <windows.h>

struct IShellDispatch2;

// How the last start went: through the desktop shell, or from this process where no desktop
// shell answered.
enum { START_BY_DESKTOP_SHELL = 1, START_BY_THIS_PROCESS = 2 };
extern volatile LONG gLastStartWay;

// Finds the automation object of the desktop shell's folder view and the desktop's window;
// tests may replace it.
typedef HRESULT (*FindDesktopShellProc)(IShellDispatch2** shell, HWND* desktop);
extern FindDesktopShellProc gFindDesktopShell;

// How long a start waits for the desktop shell's answer, in milliseconds; tests may shorten it.
extern unsigned gDesktopShellWait;

// Asks the desktop shell to start file (a program, document or web address) with parameters
// in folder (either may be NULL), shown as show (SW_...). 0 once the shell has taken it;
// ERROR_NO_UNICODE_TRANSLATION when a text is not exactly text of the system's code page;
// ERROR_TIMEOUT when the shell gave no answer in time (it may still start it); another
// Windows error (or a failed HRESULT) when no desktop shell answered. Nothing is started
// from here.
int StartThroughDesktopShell(const char* file, const char* parameters, const char* folder, int show);
// The same, but where no desktop shell answers it starts file from this process
// (ShellExecuteExA, with this program's rights); not after a time-out, which would start it
// twice. 0 or a Windows error.
int StartAsDesktopUser(const char* file, const char* parameters, const char* folder, int show);
