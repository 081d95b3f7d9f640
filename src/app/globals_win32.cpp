// The process-wide references of the window layer.
#include "app/appstate.h"

AppState* gApp;
HWND gMainWindow;
HACCEL gAccelerators;
const char* gAppTitle = PROGRAM_TITLE;
const LanguageSet* gLanguages;
Store gSettings;
