// Runs the real main window inside the test process.
#include "support/appwindow.h"
#include <commctrl.h>
#include <stdlib.h>
#include <string.h>
#include "app/appstate.h"
#include "app/columns.h"
#include "app/listview.h"
#include "app/mainwindow.h"
#include "platform/theme.h"
#include "update/download.h"
#include "update/statusline.h"
#include "platform/text.h"

void AppWindowTest::SetUp() {
    gApp = (AppState*)calloc(1, sizeof(AppState));
    gAccelerators = LoadAcceleratorsA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(1));
    StatusLineConstruct(&gStatusLine, 3, 1, MainStatusLayout);
    ThemeOpen(&gTheme);
    gLanguage.code[0] = 0;
    gLanguage.table = NULL;
    // Nothing listens there: no test reaches out unless it points the base URL elsewhere.
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, "http://127.0.0.1:9/");
}

void AppWindowTest::Start(int showCommand, bool trackDesktop) {
    OpenStore(&gSettings, settingsPath.c_str(), STORE_NO_LOCATE | (trackDesktop ? STORE_TRACK_DESKTOP : 0));
    window = CreateMainWindow(GetModuleHandleA(NULL), showCommand);
    ASSERT_NE(window, nullptr);
    Pump(50);
    // The start-up command may have started the edition job: the window is idle after it.
    ASSERT_TRUE(WaitIdle());
}

bool AppWindowTest::WaitIdle() {
    // Idle once the job has ended and the window thread has opened the gate again.
    return PumpUntil([] { return gApp->busyCount == 0 && !CommandDisabled(103); }, 15000);
}

bool AppWindowTest::Close() {
    SendMessageA(window, WM_CLOSE, 0, 0);
    Pump(20);
    return !IsWindow(window);
}

void AppWindowTest::TearDown() {
    if (window && IsWindow(window)) {
        PumpUntil([] { return gApp->busyCount == 0; });
        DestroyWindow(window);
    }
    Pump(20);
    MSG message;
    while (PeekMessageA(&message, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    if (gSettings.mutex) CloseStore(&gSettings);
    StatusLineDestruct(&gStatusLine);
    ThemeClose(&gTheme);
    free(gApp);
    gApp = NULL;
    gMainWindow = NULL;
}

void AppWindowTest::Pump(DWORD milliseconds) {
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            if (gAccelerators && TranslateAcceleratorA(gMainWindow, gAccelerators, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < milliseconds);
}

void AppWindowTest::PressKey(UINT key, bool control) {
    // The accelerator table reads the Ctrl state from the keyboard state of this thread.
    BYTE keys[256];
    GetKeyboardState(keys);
    BYTE saved = keys[VK_CONTROL];
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageA(gApp->listView, WM_KEYDOWN, key, 1);
    Pump(30);
    keys[VK_CONTROL] = saved;
    SetKeyboardState(keys);
}

bool AppWindowTest::ButtonEnabled(int command) {
    return SendMessageA(gApp->toolbar, TB_ISBUTTONENABLED, (WPARAM)command, 0) != 0;
}

std::string AppWindowTest::SettingsValue(const char* section, const char* key) {
    char value[256];
    ReadValue(&gSettings, section, key, "<none>", value, sizeof value);
    return value;
}

std::vector<std::string> AppWindowTest::Rows() {
    std::vector<std::string> lines;
    for (int row = 0; row < RowCount(gApp->listView); row++) {
        std::string line;
        for (int column = 0; column < 5; column++) {
            char text[1024];
            GetRowText(gApp->listView, row, column, text, sizeof text);
            if (column == 3 && strncmp(text, "Updated at ", 11) == 0) text[10] = 0;
            line += (column ? "|" : "") + std::string(text);
        }
        lines.push_back(line + "#" + std::to_string(GetRowImage(gApp->listView, row)));
    }
    return lines;
}
