// The real configuration dialog and product information box on the main window: OK and
// Cancel through messages, the proxy fields, the remembered page, and pictures of both.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <functional>
#include <string>
#include "app/appstate.h"
#include "app/commands.h"
#include "platform/sys.h"
#include "settings/dialogs_win.h"
#include "settings/dialogtexts.h"
#include "support/appwindow.h"

namespace {

std::function<void(HWND)> gDialogAction;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    char name[16];
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") || !IsWindowVisible(window)) return TRUE;
    *(HWND*)found = window;
    return FALSE;
}

// Runs inside the dialog's own message loop once the dialog is up; then cancels the dialog.
void CALLBACK DriveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, (LPARAM)&dialog);
    if (!dialog) return;
    KillTimer(NULL, timer);
    std::function<void(HWND)> action = std::move(gDialogAction);
    action(dialog);
    if (IsWindow(dialog)) PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

std::string ItemText(HWND dialog, int id) {
    char text[256] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ShowPage(HWND dialog, int page) {
    HWND list = GetDlgItem(dialog, IDC_PAGE_LIST);
    SendMessageA(list, LB_SETCURSEL, (WPARAM)page, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PAGE_LIST, LBN_SELCHANGE), (LPARAM)list);
}

struct ConfigDialogTest : AppWindowTest {
    std::string before;
    // Settings with every section the dialog reads, and some it must leave alone.
    void StartWith(const std::string& language, const std::string& opt, const std::string& proxy = "") {
        SysTime now;
        SysUtcTime(&now);
        Settings("; kept as it is\r\n[QXUpdate]\r\nLanguage=" + language + "\r\nOpt=" + opt +
                 "\r\nExtra = spaced \r\n\r\n[Edition]\r\n*=" + std::to_string(now.year) +
                 "\r\nd=Windows 32 bit\r\nx=\r\nDefault=d\r\nw=Windows 64 bit\r\n" + proxy +
                 "\r\n[Other]\r\nkey=value\r\n");
        Start();
        Flush(&gSettings);
        before = ReadFileText(settingsPath);
    }
    // Opens a dialog through its command (the configuration dialog unless told); action runs inside it.
    void Configure(std::function<void(HWND)> action, int command = CMD_CONFIGURATION) {
        gDialogAction = std::move(action);
        UINT_PTR timer = SetTimer(NULL, 0, 50, DriveDialog);
        Command(command);
        KillTimer(NULL, timer);
        Pump(50);
    }
    std::string After() {
        Flush(&gSettings);
        return ReadFileText(settingsPath);
    }
};

TEST_F(ConfigDialogTest, OkWritesItsKeysAndTheWindowFollows) {
    StartWith("US", "32");
    Configure([](HWND dialog) {
        EXPECT_TRUE(GetWindowLongPtrA(dialog, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
        HWND combo = GetDlgItem(dialog, IDC_EDITION);
        EXPECT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 2); // the edition without a name is left out
        EXPECT_EQ(ItemText(dialog, IDC_EDITION), "Windows 32 bit");
        SendMessageA(combo, CB_SETCURSEL, 1, 0);
        for (int id : {IDC_FULL_ROW_SELECT, IDC_GRID_LINES, IDC_ALWAYS_ON_TOP})
            Click(dialog, id);
        ShowPage(dialog, 1);
        Click(dialog, IDC_USE_PROXY);
        SetDlgItemTextA(dialog, IDC_PROXY_ADDRESS, "proxy.lan");
        SetDlgItemTextA(dialog, IDC_PROXY_PORT, "3128");
        SendMessageA(dialog, WM_COMMAND, IDC_CONFIG_OK, 0);
    });
    EXPECT_EQ(gApp->options, 32u | 16 | 8 | 4 | 2);
    std::string expected = before;
    expected.replace(expected.find("Opt=32"), 6, "Opt=62");
    expected.replace(expected.find("Default=d"), 9, "Default=w");
    EXPECT_EQ(After(), expected + "\r\n[ProxyServer]\r\nAdr=proxy.lan\r\nPort=3128\r\n");
    EXPECT_TRUE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    DWORD listStyle = (DWORD)SendMessageA(gApp->listView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    EXPECT_EQ(listStyle & (LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES),
              (DWORD)(LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES));
}

// Cancel (the button, then the close box) writes nothing and the page shown last comes back;
// the texts follow the language. Pictures of both pages and of the product information box.
TEST_F(ConfigDialogTest, CancelWritesNothingAndThePageIsRemembered) {
    auto proxyFieldsEnabled = [](HWND dialog) {
        std::string states;
        for (int id : {IDC_PROXY_ADDRESS_LABEL, IDC_PROXY_ADDRESS, IDC_PROXY_PORT_LABEL, IDC_PROXY_PORT})
            states += IsWindowEnabled(GetDlgItem(dialog, id)) ? "1" : "0";
        return states;
    };
    for (std::string language : {"US", "DE"}) {
        SCOPED_TRACE(language);
        StartWith(language, "32", "[ProxyServer]\r\nAdr=proxy.corvanware.lan\r\nPort=0\r\n");
        Configure([&](HWND dialog) {
            Pump(200);
            EXPECT_TRUE(SaveWindowPicture(dialog, "config-" + language + "-general.png"));
            EXPECT_EQ(ItemText(dialog, IDCANCEL), language == "US" ? "Cancel" : "Abbruch");
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_USE_PROXY)));
            ShowPage(dialog, 1);
            Pump(200);
            EXPECT_TRUE(SaveWindowPicture(dialog, "config-" + language + "-connection.png"));
            EXPECT_EQ(ItemText(dialog, IDC_PROXY_ADDRESS), "proxy.corvanware.lan");
            EXPECT_EQ(ItemText(dialog, IDC_PROXY_PORT), "8000");
            EXPECT_EQ(proxyFieldsEnabled(dialog), "0000");
            Click(dialog, IDC_USE_PROXY);
            EXPECT_EQ(proxyFieldsEnabled(dialog), "1111");
            Click(dialog, IDC_ALWAYS_ON_TOP);
            SetDlgItemTextA(dialog, IDC_PROXY_PORT, "3128"); // then the test's Cancel
        });
        Configure([](HWND dialog) {
            EXPECT_EQ(SendMessageA(GetDlgItem(dialog, IDC_PAGE_LIST), LB_GETCURSEL, 0, 0), 1);
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_USE_PROXY)));
            EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_FULL_ROW_SELECT)));
            SendMessageA(dialog, WM_CLOSE, 0, 0);
        });
        Configure(
            [&](HWND box) {
                Pump(200);
                EXPECT_TRUE(SaveWindowPicture(box, "info-" + language + ".png"));
            },
            CMD_ABOUT);
        EXPECT_EQ(gApp->options, 32u);
        EXPECT_EQ(After(), before);
        EXPECT_FALSE(GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
        ASSERT_TRUE(Close());
        Restart();
    }
}

} // namespace
