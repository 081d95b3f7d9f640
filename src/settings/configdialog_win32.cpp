// The configuration dialog: a list of pages on the left, the selected page's controls on
// the right under a painted header; the options, the edition and the proxy fields.
#include <windows.h>
#include <commctrl.h>
#include "platform/procs_win.h"
#include <stdint.h>
#include <stdlib.h>
#include "app/appstate.h"
#include "platform/dpi.h"
#include "platform/text.h"
#include "platform/theme.h"
#include "settings/configuration.h"
#include "settings/dialogtexts.h"
#include "settings/dialogs_win.h"

enum { TEMPLATE_CONFIGURATION = 109 };

static const uint16_t kConfigTexts[] = {109,
                                        99,
                                        2,
                                        IDC_FULL_ROW_SELECT,
                                        IDC_GRID_LINES,
                                        IDC_ALWAYS_ON_TOP,
                                        IDC_EDITION,
                                        IDC_USE_PROXY,
                                        IDC_PROXY_ADDRESS_LABEL,
                                        IDC_PROXY_PORT_LABEL,
                                        0};

struct ConfigPage {
    int headerText;
    int controls[7]; // ended by 0
};

static const ConfigPage kPages[] = {
    {TEXT_PAGE_GENERAL, {IDC_FULL_ROW_SELECT, IDC_GRID_LINES, IDC_ALWAYS_ON_TOP, IDC_EDITION}},
    {TEXT_PAGE_CONNECTION,
     {IDC_USE_PROXY, IDC_PROXY_LINE, IDC_PROXY_ADDRESS_LABEL, IDC_PROXY_ADDRESS, IDC_PROXY_PORT_LABEL,
      IDC_PROXY_PORT}},
};
enum { PAGE_COUNT = sizeof kPages / sizeof kPages[0] };

static const int kProxyFields[] = {IDC_PROXY_ADDRESS_LABEL, IDC_PROXY_ADDRESS, IDC_PROXY_PORT_LABEL,
                                   IDC_PROXY_PORT};

static HBRUSH gDarkBrush; // the dialog's background in dark mode

static void ShowPage(HWND dialog, int page) {
    for (int p = 0; p < PAGE_COUNT; p++)
        for (const int* id = kPages[p].controls; *id; id++)
            ShowWindow(GetDlgItem(dialog, *id), p == page ? SW_SHOW : SW_HIDE);
    InvalidateRect(GetDlgItem(dialog, IDC_PAGE_HEADER), NULL, TRUE);
}

static void EnableProxyFields(HWND dialog, int enabled) {
    for (int id : kProxyFields)
        EnableWindow(GetDlgItem(dialog, id), enabled);
}

// Centres the dialog on its owner (or the desktop), kept inside the work area.
static void CentreDialog(HWND dialog) {
    HWND owner = GetWindow(dialog, GW_OWNER);
    RECT around, self, area;
    GetWindowRect(owner ? owner : GetDesktopWindow(), &around);
    GetWindowRect(dialog, &self);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    int width = self.right - self.left, height = self.bottom - self.top;
    int x = (around.left + around.right - width) / 2, y = (around.top + around.bottom - height) / 2;
    if (x + width > area.right) x = area.right - width;
    if (y + height > area.bottom) y = area.bottom - height;
    if (x < area.left) x = area.left;
    if (y < area.top) y = area.top;
    SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static void PaintGradient(HDC dc, const RECT* r, COLORREF left, COLORREF right) {
    int width = r->right - r->left;
    int redSpan = abs(GetRValue(right) - GetRValue(left));
    int band = redSpan ? width / redSpan : width;
    if (band < 1) band = 1;
    for (int x = 0; x < width; x += band) {
        COLORREF c = right;
        if (x + band <= width) {
            int r0 = GetRValue(left), g0 = GetGValue(left), b0 = GetBValue(left);
            c = RGB(r0 + (GetRValue(right) - r0) * x / width, g0 + (GetGValue(right) - g0) * x / width,
                    b0 + (GetBValue(right) - b0) * x / width);
        }
        RECT part = {r->left + x, r->top, r->left + x + band, r->bottom};
        if (part.right > r->right) part.right = r->right;
        HBRUSH brush = CreateSolidBrush(c);
        FillRect(dc, &part, brush);
        DeleteObject(brush);
    }
}

// The page header: a gradient with the selected page's name. It paints the whole control,
// so the static control's own painting (which would cover it) is not called for WM_PAINT.
static LRESULT CALLBACK HeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_PAINT) return CallWindowProcA(gApp->configHeaderProc, header, message, wParam, lParam);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(header, &paint);
    RECT client;
    GetClientRect(header, &client);
    int colours = GetDeviceCaps(dc, NUMCOLORS);
    if (colours < 0 || colours > 20) {
        PaintGradient(dc, &client, ThemeColor(COLOR_BTNSHADOW), ThemeColor(COLOR_ACTIVECAPTION));
    } else {
        HBRUSH brush = CreateSolidBrush(ThemeColor(COLOR_BTNSHADOW));
        FillRect(dc, &client, brush);
        DeleteObject(brush);
    }
    HWND list = GetDlgItem(GetParent(header), IDC_PAGE_LIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    char text[64] = "";
    if (selected != LB_ERR && SendMessageA(list, LB_GETTEXTLEN, (WPARAM)selected, 0) < (LRESULT)sizeof text)
        SendMessageA(list, LB_GETTEXT, (WPARAM)selected, (LPARAM)text);
    HGDIOBJ oldFont = SelectObject(dc, (HFONT)SendMessageA(header, WM_GETFONT, 0, 0));
    SetTextColor(dc, ThemeColor(COLOR_BACKGROUND));
    SetBkMode(dc, TRANSPARENT);
    client.left += ScaleToDpi(10);
    DrawTextA(dc, text, -1, &client, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, oldFont);
    EndPaint(header, &paint);
    return 0;
}

static void AddEdition(char letter, const char* name, int isDefault, void* context) {
    HWND combo = (HWND)context;
    LRESULT item = SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)name);
    if (item < 0) return;
    SendMessageA(combo, CB_SETITEMDATA, (WPARAM)item, (LPARAM)(unsigned char)letter);
    if (isDefault) SendMessageA(combo, CB_SETCURSEL, (WPARAM)item, 0);
}

static void FillEditionList(HWND dialog) {
    HWND combo = GetDlgItem(dialog, IDC_EDITION);
    ListEditions(&gSettings, AddEdition, combo);
    if (SendMessageA(combo, CB_GETCURSEL, 0, 0) == CB_ERR) SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

static int ReadSystemProxy(char* out, size_t size) {
    HKEY key;
    LONG r =
        RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                      KEY_READ, &key);
    if (r != ERROR_SUCCESS) return (int)r;
    char value[1024];
    DWORD type = 0, bytes = sizeof value - 1;
    r = RegQueryValueExA(key, "ProxyServer", NULL, &type, (BYTE*)value, &bytes);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) return (int)r;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    value[bytes] = 0; // a stored value need not end in a zero
    CopyText(out, size, value);
    return 0;
}

static void FillProxyFields(HWND dialog) {
    int useProxy = (gApp->options & OPTION_USE_PROXY) != 0;
    EnableProxyFields(dialog, useProxy);
    CheckDlgButton(dialog, IDC_USE_PROXY, useProxy ? BST_CHECKED : BST_UNCHECKED);
    ProxyFields fields;
    ReadProxyFields(&gSettings, ReadSystemProxy, &fields);
    SetDlgItemTextA(dialog, IDC_PROXY_ADDRESS, fields.address);
    char port[16];
    FormatText(port, sizeof port, "%u", (unsigned)fields.port);
    SetDlgItemTextA(dialog, IDC_PROXY_PORT, port);
}

static BOOL CALLBACK ApplyDarkTheme(HWND control, LPARAM) {
    char className[32] = "";
    GetClassNameA(control, className, sizeof className);
    int field = lstrcmpiA(className, "Edit") == 0 || lstrcmpiA(className, "ComboBox") == 0;
    ThemeApplyToWindow(control, field ? L"DarkMode_CFD" : L"DarkMode_Explorer");
    return TRUE;
}

static BOOL OnInitDialog(HWND dialog) {
    for (const ConfigPage& page : kPages)
        for (const int* id = page.controls; *id; id++)
            ShowWindow(GetDlgItem(dialog, *id), SW_HIDE);
    CentreDialog(dialog);
    HWND list = GetDlgItem(dialog, IDC_PAGE_LIST);
    SetFocus(list);
    SetWindowLongPtrA(dialog, GWL_EXSTYLE, GetWindowLongPtrA(dialog, GWL_EXSTYLE) | WS_EX_CONTEXTHELP);
    SetWindowPos(dialog, NULL, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    ApplyDialogTexts(dialog, kConfigTexts);
    LRESULT height = SendMessageA(list, LB_GETITEMHEIGHT, 0, 0);
    if (height > 0) SendMessageA(list, LB_SETITEMHEIGHT, 0, height * 12 / 10);
    gApp->configHeaderProc = ReplaceWindowProc(GetDlgItem(dialog, IDC_PAGE_HEADER), HeaderProc);
    CheckDlgButton(dialog, IDC_FULL_ROW_SELECT, (gApp->options & OPTION_FULL_ROW_SELECT) ? BST_CHECKED : 0);
    CheckDlgButton(dialog, IDC_GRID_LINES, (gApp->options & OPTION_GRID_LINES) ? BST_CHECKED : 0);
    CheckDlgButton(dialog, IDC_ALWAYS_ON_TOP, (gApp->options & OPTION_ALWAYS_ON_TOP) ? BST_CHECKED : 0);
    FillEditionList(dialog);
    FillProxyFields(dialog);
    for (int p = 0; p < PAGE_COUNT; p++) {
        char name[38], item[40];
        GetText(kPages[p].headerText, name, sizeof name);
        FormatText(item, sizeof item, " %s", name);
        LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)item);
        if (index >= 0) SendMessageA(list, LB_SETITEMDATA, (WPARAM)index, p);
    }
    int page = gApp->configPage < PAGE_COUNT ? gApp->configPage : 0;
    SendMessageA(list, LB_SETCURSEL, (WPARAM)page, 0);
    ShowPage(dialog, page);
    if (gTheme.dark) {
        ThemeApplyToWindow(dialog, L"DarkMode_Explorer");
        EnumChildWindows(dialog, ApplyDarkTheme, 0);
    }
    return FALSE; // the focus is set
}

static void OnPageChange(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_PAGE_LIST);
    LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return;
    LRESULT page = SendMessageA(list, LB_GETITEMDATA, (WPARAM)selected, 0);
    if (page < 0 || page >= PAGE_COUNT) return;
    gApp->configPage = (uint16_t)page;
    ShowPage(dialog, (int)page);
}

static void OnOK(HWND dialog) {
    ConfigChoice choice = {};
    choice.fullRowSelect = IsDlgButtonChecked(dialog, IDC_FULL_ROW_SELECT) == BST_CHECKED;
    choice.gridLines = IsDlgButtonChecked(dialog, IDC_GRID_LINES) == BST_CHECKED;
    choice.alwaysOnTop = IsDlgButtonChecked(dialog, IDC_ALWAYS_ON_TOP) == BST_CHECKED;
    choice.useProxy = IsDlgButtonChecked(dialog, IDC_USE_PROXY) == BST_CHECKED;
    HWND combo = GetDlgItem(dialog, IDC_EDITION);
    if (SendMessageA(combo, CB_GETCOUNT, 0, 0) > 0) {
        LRESULT item = SendMessageA(combo, CB_GETCURSEL, 0, 0);
        choice.edition = (char)SendMessageA(combo, CB_GETITEMDATA, item == CB_ERR ? 0 : (WPARAM)item, 0);
    }
    GetDlgItemTextA(dialog, IDC_PROXY_ADDRESS, choice.proxyAddress, sizeof choice.proxyAddress);
    GetDlgItemTextA(dialog, IDC_PROXY_PORT, choice.proxyPort, sizeof choice.proxyPort);
    SaveConfiguration(&gSettings, &gApp->options, &choice);
    EndDialog(dialog, 1);
}

static INT_PTR OnControlColour(HDC dc) {
    if (!gTheme.dark) return FALSE;
    if (!gDarkBrush) gDarkBrush = CreateSolidBrush(ThemeColor(COLOR_BTNFACE));
    SetTextColor(dc, ThemeColor(COLOR_BTNTEXT));
    SetBkColor(dc, ThemeColor(COLOR_BTNFACE));
    return (INT_PTR)gDarkBrush;
}

static INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDC_CONFIG_OK: OnOK(dialog); return TRUE;
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        case IDC_PAGE_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE) OnPageChange(dialog);
            return TRUE;
        case IDC_USE_PROXY:
            if (HIWORD(wParam) == BN_CLICKED)
                EnableProxyFields(dialog, IsDlgButtonChecked(dialog, IDC_USE_PROXY) == BST_CHECKED);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        // The main window answers help requests, with the page shown for the context.
        SendMessageA(GetWindow(dialog, GW_OWNER), WM_HELP, wParam, lParam);
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: return OnControlColour((HDC)wParam);
    case WM_DESTROY:
        if (gDarkBrush) DeleteObject(gDarkBrush);
        gDarkBrush = NULL;
        return FALSE;
    }
    return FALSE;
}

INT_PTR RunConfigurationDialog(HWND owner) {
    return DialogBoxParamA(gApp->instance, MAKEINTRESOURCEA(TEMPLATE_CONFIGURATION), owner, ConfigDialogProc,
                           0);
}
