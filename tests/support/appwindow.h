// A fixture that runs the real main window inside the test process, with its settings in
// a temporary file, helpers to drive it like the message loop would, and pictures of windows.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>
#include "app/appstate.h"
#include "app/mainwindow.h"
#include "platform/dpi.h"
#include "support/testfiles.h"

struct AppWindowTest : ::testing::Test {
    TempFolder folder;
    std::string settingsPath = folder.path + "\\QXUpd.INI";
    HWND window = NULL;

    void SetUp() override;
    void TearDown() override;
    void Settings(const std::string& text) { WriteFileText(settingsPath, text); }
    // Opens the settings store and creates the window; the start-up command may have started the
    // edition job: waits until the window is idle after it.
    void Start() {
        OpenStore(&gSettings, settingsPath.c_str(), STORE_NO_LOCATE);
        window = CreateMainWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
        ASSERT_NE(window, nullptr);
        Pump(50);
        ASSERT_TRUE(WaitIdle());
    }
    // Pumps until no job runs and the command gate is open again.
    bool WaitIdle() {
        return PumpUntil([] { return gApp->busyCount == 0 && !CommandDisabled(103); }, 15000);
    }
    // Closes the window as the close box would; true when it was destroyed.
    bool Close() {
        SendMessageA(window, WM_CLOSE, 0, 0);
        Pump(20);
        return !IsWindow(window);
    }
    // After the window closed: the next case starts afresh.
    void Restart() {
        TearDown();
        SetUp();
    }
    // Runs the message loop (with the accelerators) for about the given time.
    void Pump(DWORD milliseconds = 50);
    // Pumps until the condition holds or the time-out passes; returns the condition.
    template <typename Condition>
    bool PumpUntil(Condition condition, DWORD timeoutMs = 5000) {
        for (DWORD waited = 0; waited < timeoutMs; waited += 10) {
            if (condition()) return true;
            Pump(10);
        }
        return condition();
    }
    void Command(int id) { SendMessageA(window, WM_COMMAND, (WPARAM)id, 0); }
    // Presses a key (with Ctrl when asked) on the list view, through the accelerators, which read
    // the Ctrl state from the keyboard state of this thread.
    void PressKey(UINT key, bool control = false) {
        BYTE keys[256] = {};
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        PostMessageA(gApp->listView, WM_KEYDOWN, key, 1);
        Pump(30);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
    bool ButtonEnabled(int command) {
        return SendMessageA(gApp->toolbar, TB_ISBUTTONENABLED, command, 0) != 0;
    }
    std::string SettingsValue(const char* section, const char* key) {
        char value[256];
        ReadValue(&gSettings, section, key, "<none>", value, sizeof value);
        return value;
    }
    // Each row as "name|act|inst|state|location#image", the time of an update left out.
    std::vector<std::string> Rows();
};

// Writes the window's screen area as a PNG into "screenshots" in the build tree; true on success.
bool SaveWindowPicture(HWND window, const std::string& name);
