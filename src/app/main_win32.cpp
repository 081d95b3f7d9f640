// The program's entry point and the process-wide objects constructed before it runs.
#include "app/appstate.h"
#include "app/mainwindow.h"
#include "platform/theme.h"
#include "update/statusline.h"

// Constructed before WinMain in this order and destroyed after it in the reverse order;
// destroying the settings store writes every change to the settings file. The DLL search is
// restricted before anything is loaded, before every other constructor of the program.
static struct ProcessObjects {
    ProcessObjects() {
        RestrictDllSearch();
        OpenStore(&gSettings, NULL, STORE_TRACK_DESKTOP);
        StatusLineConstruct(&gStatusLine, 3, 1, MainStatusLayout);
        gLanguages = &gLanguageSet;
        ThemeOpen(&gTheme);
    }
    ~ProcessObjects() {
        ThemeClose(&gTheme);
        StatusLineDestruct(&gStatusLine);
        CloseStore(&gSettings);
    }
} gProcessObjects __attribute__((init_priority(101)));

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return RunApplication(instance, showCommand);
}
