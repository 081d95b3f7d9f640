// Theme support: optional entry points of UxTheme.dll, user32.dll and dwmapi.dll, looked
// up by name at run time, so that the windows follow the system's dark mode where the
// system offers one. Light mode needs none of them.
#pragma once
#include <windows.h>

struct ThemeSupport {
    HMODULE uxtheme, user32, dwmapi;
    HRESULT(WINAPI* setWindowTheme)(HWND, LPCWSTR, LPCWSTR);
    BOOL(WINAPI* allowDarkModeForWindow)(HWND, BOOL); // uxtheme ordinal 133
    int(WINAPI* setPreferredAppMode)(int);            // uxtheme ordinal 135
    HRESULT(WINAPI* setWindowAttribute)(HWND, DWORD, LPCVOID, DWORD);
    int dark; // the user chose dark apps and the system can draw them
};

extern ThemeSupport gTheme;

void ThemeOpen(ThemeSupport* theme);
void ThemeClose(ThemeSupport* theme);
// Colours of the current mode, by system colour index (COLOR_BTNFACE, COLOR_WINDOW, ...).
COLORREF ThemeColor(int index);
// Gives a window the dark look (title bar, scroll bars, controls) when dark mode applies.
void ThemeApplyToWindow(HWND window, const wchar_t* darkThemeClass);
// Nonzero when toolbars are to be drawn dark.
int ThemeDarkToolbars();
