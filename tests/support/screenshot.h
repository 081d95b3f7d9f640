// Screenshots of windows as PNG files (Windows tests).
#pragma once
#include <windows.h>
#include <string>

// Writes the window's screen area as a PNG; returns true on success.
bool SaveWindowPicture(HWND window, const std::string& path);
// The folder for pictures: "screenshots" in the build tree, created when missing.
std::string PictureFolder();
