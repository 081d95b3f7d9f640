// Window placements in the settings store, read from and applied to real windows.
#pragma once
#include <windows.h>
#include "settings/store.h"

// Saves the window's outer rectangle (also when maximised) and its show state 1 or 3.
void SavePlacementOfWindow(Store* store, const char* section, HWND window);
