// The entry function's work, the main window, its procedure and the command gate.
#pragma once
#include <windows.h>
#include "settings/store.h"

// Runs the program: App state, providers, main window, message loop, shutdown.
// The first step of the program: DLLs loaded by name come from the system folder only.
void RestrictDllSearch();
int RunApplication(HINSTANCE instance, int showCommand);
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
// After the message loop: waits up to timeoutMs for a job that still runs (another program can
// send WM_DESTROY while closing is refused), then releases what the window's destruction left to
// it. Returns 0, or WAIT_TIMEOUT when the job did not end: nothing it uses may be freed then.
int FinishShutdown(DWORD timeoutMs);
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Nonzero when the first command-line argument is "/A" (ignoring case).
int StartedHidden(const char* commandLine);
// Nonzero when another copy of the program runs for the same settings file: its window has
// been brought to the front (unless hidden), nothing will be written, and this copy ends.
int HandOverToRunningCopy(Store* settings, int hidden);
// Chooses the interface language and applies its texts to the main window.
void SelectLanguage(HWND mainWindow);

// Sets the command-state table from busyCount and enables or disables the toolbar buttons
// whose state changed. From another thread it is carried out on the window thread.
void UpdateCommandStates(HWND mainWindow);
// Nonzero when the gate of a command is shut (the command is dropped).
int CommandDisabled(int command);
void BringToFront(HWND window);
void ApplyAlwaysOnTop(HWND mainWindow);
