// The program's entry point and the process-wide objects constructed before it runs.
#include "app/appstate.h"
#include "app/mainwindow.h"

// Constructed before WinMain and destroyed after it, in this order; destroying the settings
// store writes every change to the settings file.
static struct SettingsObject {
    SettingsObject() { OpenStore(&gSettings, NULL, STORE_TRACK_DESKTOP); }
    ~SettingsObject() { CloseStore(&gSettings); }
} gSettingsObject;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return RunApplication(instance, showCommand);
}
