// The entry function's work, the main window and its procedure.
#pragma once
#include <windows.h>

// Runs the program: App state, providers, main window, message loop, shutdown.
int RunApplication(HINSTANCE instance, int showCommand);
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Nonzero when the first command-line argument is "/A" (ignoring case).
int StartedHidden(const char* commandLine);
// Chooses the interface language and applies its texts to the main window.
void SelectLanguage(HWND mainWindow);
