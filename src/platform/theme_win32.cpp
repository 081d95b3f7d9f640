// Theme support: dark mode where the system offers it, the system colours otherwise.
#include "platform/theme.h"
#include <dwmapi.h>
#include <uxtheme.h>
#include "platform/procs_win.h"

// The documented entry points have the types the system headers declare.
static_assert(std::is_same<decltype(ThemeSupport::setWindowTheme), decltype(&SetWindowTheme)>::value,
              "SetWindowTheme");
static_assert(
    std::is_same<decltype(ThemeSupport::setWindowAttribute), decltype(&DwmSetWindowAttribute)>::value,
    "DwmSetWindowAttribute");

ThemeSupport gTheme;

// The user's choice for apps: 0 in AppsUseLightTheme means dark.
static int UserPrefersDark() {
    HKEY key;
    DWORD value = 1, size = sizeof value, type = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    LONG r = RegQueryValueExA(key, "AppsUseLightTheme", NULL, &type, (BYTE*)&value, &size);
    RegCloseKey(key);
    return r == ERROR_SUCCESS && type == REG_DWORD && value == 0;
}

template <typename Function>
static void Find(HMODULE module, const char* name, Function** proc) {
    *proc = ProcAddress<Function>(module, name);
}

void ThemeOpen(ThemeSupport* theme) {
    ZeroMemory(theme, sizeof *theme);
    theme->uxtheme = LoadSystemLibrary("UxTheme.dll");
    theme->user32 = LoadSystemLibrary("user32.dll");
    theme->dwmapi = LoadSystemLibrary("dwmapi.dll");
    Find(theme->uxtheme, "SetWindowTheme", &theme->setWindowTheme);
    Find(theme->uxtheme, MAKEINTRESOURCEA(133), &theme->allowDarkModeForWindow);
    Find(theme->uxtheme, MAKEINTRESOURCEA(135), &theme->setPreferredAppMode);
    Find(theme->dwmapi, "DwmSetWindowAttribute", &theme->setWindowAttribute);
    // Dark mode needs the undocumented entry points of newer systems; without them, light.
    theme->dark = theme->allowDarkModeForWindow && theme->setPreferredAppMode && theme->setWindowTheme &&
                  UserPrefersDark();
    if (theme->dark) theme->setPreferredAppMode(1); // allow dark
}

void ThemeClose(ThemeSupport* theme) {
    if (theme->uxtheme) FreeLibrary(theme->uxtheme);
    if (theme->user32) FreeLibrary(theme->user32);
    if (theme->dwmapi) FreeLibrary(theme->dwmapi);
    ZeroMemory(theme, sizeof *theme);
}

COLORREF ThemeColor(int index) {
    if (!gTheme.dark) return GetSysColor(index);
    switch (index) {
    case COLOR_WINDOW:
    case COLOR_BTNFACE: return RGB(0x20, 0x20, 0x20);
    case COLOR_WINDOWFRAME:
    case COLOR_BTNSHADOW: return RGB(0x50, 0x50, 0x50);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
    case COLOR_CAPTIONTEXT:
    case COLOR_BACKGROUND: // the configuration dialog's page header text
        return RGB(0xE8, 0xE8, 0xE8);
    case COLOR_ACTIVECAPTION: return RGB(0x2B, 0x2B, 0x2B);
    case COLOR_GRADIENTACTIVECAPTION: return RGB(0x3C, 0x3C, 0x3C);
    default: return GetSysColor(index);
    }
}

void ThemeApplyToWindow(HWND window, const wchar_t* darkThemeClass) {
    if (!gTheme.dark || !window) return;
    gTheme.allowDarkModeForWindow(window, TRUE);
    gTheme.setWindowTheme(window, darkThemeClass, NULL);
    if (gTheme.setWindowAttribute && !GetParent(window)) {
        BOOL on = TRUE; // DWMWA_USE_IMMERSIVE_DARK_MODE
        gTheme.setWindowAttribute(window, 20, &on, sizeof on);
    }
}

int ThemeDarkToolbars() {
    return gTheme.dark;
}
