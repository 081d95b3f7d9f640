// Saving a window's placement.
#include "settings/placement.h"

void SavePlacementOfWindow(Store* store, const char* section, HWND window) {
    Placement placement = {PLACEMENT_DEFAULT_POSITION, PLACEMENT_DEFAULT_POSITION, PLACEMENT_DEFAULT_POSITION,
                           PLACEMENT_DEFAULT_POSITION, 0};
    WINDOWPLACEMENT wp = {sizeof wp};
    RECT r;
    if (GetWindowPlacement(window, &wp) && GetWindowRect(window, &r)) {
        placement.x = r.left, placement.y = r.top;
        placement.width = r.right - r.left, placement.height = r.bottom - r.top;
        if (wp.showCmd == 1 || wp.showCmd == 3) placement.showState = (uint16_t)wp.showCmd;
    }
    SavePlacement(store, section, &placement);
}
