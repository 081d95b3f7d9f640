// The App state record, read by every part of the program, and the other process-wide
// references of the window layer.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <stdint.h>
#include "settings/configuration.h"
#include "settings/store.h"
#include "settings/strings.h"

struct AppState {
    char title[40];     // "Corvanware - Updater"
    HICON largeIcon;    // icon 1 at the system's large size
    HINSTANCE instance; // every resource is loaded from it
    HWND toolbar;
    HWND listView;                 // its rows are the Product table
    WNDPROC listViewProc;          // the list view's own procedure, called by its subclass procedure
    HICON activityIcon;            // icon 71, in the status line while a job runs
    uint32_t options;              // OPTION_* bits ("Opt")
    volatile LONG busyCount;       // worker jobs running
    HIMAGELIST stateImages;        // the list view's row icons
    volatile LONG cancelRequested; // set by Stop and Esc; cleared by each job at its start
    WNDPROC configHeaderProc;
    uint16_t configPage;
};

#define PROGRAM_TITLE "Corvanware - Updater"
#define MAIN_WINDOW_CLASS "QXUpdate"

extern AppState* gApp;
extern HWND gMainWindow;
extern HACCEL gAccelerators;
extern const char* gAppTitle;         // points at gApp->title once the window exists
extern const LanguageSet* gLanguages; // stored at window creation
extern Store gSettings;               // the program's settings store
