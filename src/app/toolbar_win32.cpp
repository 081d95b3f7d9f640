// The toolbar: buttons, image lists and creation.
#include "app/toolbar.h"
#include "app/commands.h"
#include "platform/dpi.h"
#include "platform/theme.h"

#define BUTTON(image, command)                                                                               \
    { image, command, TBSTATE_ENABLED, BTNS_BUTTON, {0}, 0, 0 }
#define SEPARATOR                                                                                            \
    { 0, 0, TBSTATE_ENABLED, BTNS_SEP, {0}, 0, 0 }

const TBBUTTON kToolbarButtons[] = {
    BUTTON(2, CMD_SEARCH_INSTALLED),
    BUTTON(8, CMD_REMOVE_ROWS),
    BUTTON(1, CMD_SEARCH_UPDATES),
    BUTTON(6, CMD_HOMEPAGE),
    SEPARATOR,
    BUTTON(3, CMD_UPDATE_NOW),
    BUTTON(0, CMD_STOP),
    SEPARATOR,
    BUTTON(7, CMD_CONFIGURATION),
    SEPARATOR,
    BUTTON(9, CMD_INFORMATION),
    {0, 0, 0, 0, {0}, 0, 0},
};

static int CountButtons(const TBBUTTON* buttons) {
    int n = 0;
    while (buttons[n].iBitmap || buttons[n].idCommand || buttons[n].fsState || buttons[n].fsStyle)
        n++;
    return n;
}

// The colour depth for image lists: the screen's, at least 8 bits.
static UINT ImageListDepth() {
    HDC dc = GetDC(NULL);
    int bits = GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES);
    ReleaseDC(NULL, dc);
    return bits >= 32 ? ILC_COLOR32 : bits >= 24 ? ILC_COLOR24 : bits >= 16 ? ILC_COLOR16 : ILC_COLOR8;
}

static HIMAGELIST LoadImageStrip(HINSTANCE instance, int bitmapId, int imageCount, int imageSize) {
    HBITMAP bitmap =
        (HBITMAP)LoadImageA(instance, MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (!bitmap) return NULL;
    HIMAGELIST list = ImageList_Create(imageSize, imageSize, ImageListDepth() | ILC_MASK, imageCount, 0);
    if (list) ImageList_AddMasked(list, bitmap, RGB(0xC0, 0xC0, 0xC0));
    DeleteObject(bitmap);
    return list;
}

HWND CreateToolbar(HWND parent, HINSTANCE instance, const TBBUTTON* buttons, DWORD extraStyle,
                   int normalBitmap, int hotBitmap, int imageCount, int imageSize, int id) {
    int count = CountButtons(buttons);
    HWND toolbar =
        CreateWindowExA(0, TOOLBARCLASSNAMEA, NULL,
                        WS_CHILD | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP | extraStyle,
                        0, 0, 0, 0, parent, (HMENU)(INT_PTR)id, instance, NULL);
    if (!toolbar) return NULL;
    if (ThemeDarkToolbars()) ThemeApplyToWindow(toolbar, L"ItemsView");
    HIMAGELIST normal = LoadImageStrip(instance, normalBitmap, imageCount, imageSize);
    SendMessageA(toolbar, TB_SETIMAGELIST, 0, (LPARAM)normal);
    if (hotBitmap && hotBitmap != normalBitmap) {
        HIMAGELIST hot = LoadImageStrip(instance, hotBitmap, imageCount, imageSize);
        SendMessageA(toolbar, TB_SETHOTIMAGELIST, 0, (LPARAM)hot);
    }
    SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageA(toolbar, TB_ADDBUTTONSA, (WPARAM)count, (LPARAM)buttons);
    // A button is its picture with the system's padding (7 by 6 pixels at 100 %), at the
    // display's scale: the system's own padding does not grow with the DPI everywhere.
    SendMessageA(toolbar, TB_SETBUTTONSIZE, 0,
                 MAKELPARAM(imageSize + ScaleToDpi(7), imageSize + ScaleToDpi(6)));
    SendMessageA(toolbar, TB_AUTOSIZE, 0, 0);
    ShowWindow(toolbar, SW_SHOW);
    return toolbar;
}
