// The toolbar: the program's command surface besides the accelerator keys.
#pragma once
#include <windows.h>
#include <commctrl.h>

// The buttons, left to right, ended by an all-zero entry.
extern const TBBUTTON kToolbarButtons[];

HWND CreateToolbar(HWND parent, HINSTANCE instance, const TBBUTTON* buttons, DWORD extraStyle,
                   int normalBitmap, int hotBitmap, int imageCount, int imageSize, int id);
