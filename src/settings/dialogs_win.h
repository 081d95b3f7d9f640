// The secondary windows of the main window's commands: the configuration dialog, the
// product information box, help and the home page.
#pragma once
#include <windows.h>

// Runs the configuration dialog (template 109) modally: 1 after OK, 0 after Cancel.
INT_PTR RunConfigurationDialog(HWND owner);
// Shows the product information box; at start-up it only gives every dialog of the
// process the program icon and shows nothing.
void ShowProductInfo(HWND owner, int atStartup);
// Opens the help file in the user's language; nonzero when one opened.
int OpenHelp(HWND owner, int context);
void OpenHomepage(HWND owner);
// Opens a file or web address with its default action.
void ShellOpen(HWND owner, const char* target);

// The configuration dialog's control ids.
enum {
    IDC_PAGE_LIST = 5101,
    IDC_PAGE_HEADER = 5102,
    IDC_FULL_ROW_SELECT = 5201,
    IDC_GRID_LINES = 5202,
    IDC_ALWAYS_ON_TOP = 5203,
    IDC_EDITION = 5204,
    IDC_USE_PROXY = 5401,
    IDC_PROXY_LINE = 5402,
    IDC_PROXY_ADDRESS_LABEL = 5403,
    IDC_PROXY_ADDRESS = 5404,
    IDC_PROXY_PORT_LABEL = 5405,
    IDC_PROXY_PORT = 5406,
    IDC_CONFIG_OK = 99,
};
