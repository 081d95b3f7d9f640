// The display scale, from the screen's DPI.
#include "platform/dpi.h"
#include <windows.h>

int ScreenDpi() {
    static int dpi;
    if (!dpi) {
        HDC screen = GetDC(NULL);
        int measured = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
        if (screen) ReleaseDC(NULL, screen);
        dpi = measured > 0 ? measured : 96;
    }
    return dpi;
}

int ScaleToDpi(int value) {
    return MulDiv(value, ScreenDpi(), 96);
}

int PictureScale() {
    static const int kScales[] = {100, 125, 150, 200};
    int wanted = MulDiv(ScreenDpi(), 100, 96), best = kScales[0];
    for (int scale : kScales) {
        int off = scale > wanted ? scale - wanted : wanted - scale;
        int bestOff = best > wanted ? best - wanted : wanted - best;
        if (off <= bestOff) best = scale;
    }
    return best;
}

int StateIconSize() {
    return PictureScale() * 16 / 100;
}
