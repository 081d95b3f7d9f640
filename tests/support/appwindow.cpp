// Runs the real main window inside the test process; pictures of windows.
#include "support/appwindow.h"
#include <objidl.h> // before GDI+, which the lean Windows headers leave it out of
#include <gdiplus.h>
#include <stdlib.h>
#include <string.h>
#include "app/listview.h"
#include "platform/text.h"
#include "platform/theme.h"
#include "support/winprocess.h"
#include "update/download.h"
#include "update/statusline.h"

void AppWindowTest::SetUp() {
    gApp = (AppState*)calloc(1, sizeof(AppState));
    gAccelerators = LoadAcceleratorsA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(1));
    StatusLineConstruct(&gStatusLine, 3, 1, MainStatusLayout);
    ThemeOpen(&gTheme);
    gLanguage = Language{};
    // Nothing listens there: no test reaches out unless it points the base URL elsewhere.
    CopyText(gUpdateBaseUrl, sizeof gUpdateBaseUrl, "http://127.0.0.1:9/");
}

void AppWindowTest::TearDown() {
    if (window && IsWindow(window)) {
        PumpUntil([] { return gApp->busyCount == 0; });
        DestroyWindow(window);
    }
    Pump(20); // drops the quit message too
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

bool SaveWindowPicture(HWND window, const std::string& name) {
    static ULONG_PTR gdiplus;
    Gdiplus::GdiplusStartupInput input;
    RECT r;
    if (!gdiplus && Gdiplus::GdiplusStartup(&gdiplus, &input, NULL) != Gdiplus::Ok) return false;
    if (!GetWindowRect(window, &r)) return false;
    HDC screen = GetDC(NULL), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(NULL, screen);
    std::string path = TestProgramFolder() + "\\..\\screenshots";
    CreateDirectoryA(path.c_str(), NULL);
    path += "\\" + name;
    // Pictures at another display scale have its DPI in their names.
    if (ScreenDpi() != 96) path.insert(path.size() - 4, "-" + std::to_string(ScreenDpi()) + "dpi");
    const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    Gdiplus::Bitmap* picture = Gdiplus::Bitmap::FromHBITMAP(bitmap, NULL);
    bool ok =
        picture && picture->Save(std::wstring(path.begin(), path.end()).c_str(), &png, NULL) == Gdiplus::Ok;
    delete picture;
    DeleteObject(bitmap);
    return ok;
}
