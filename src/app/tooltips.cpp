// Tooltip texts of the toolbar buttons, from the current string table.
#include "app/tooltips.h"
#include <string.h>
#include "settings/strings.h"

void GetToolTipText(int id, char* out, size_t size) {
    if (!out || size == 0) return;
    out[0] = 0;
    if (id == 0) return;
    GetTipText(id, out, size);
    char* dots = strstr(out, "...");
    if (dots) *dots = 0;
}
