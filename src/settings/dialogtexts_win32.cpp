// Applying string-table texts to a dialog: a stripped title with one leading space, and
// control texts as they stand, so that '&' marks the keyboard accelerator.
#include "settings/dialogtexts.h"
#include "platform/text.h"
#include "settings/strings.h"

void ApplyDialogTexts(HWND window, const uint16_t* ids) {
    if (!ids) return;
    if (ids[0]) {
        char text[1024], title[1025];
        GetText(ids[0], text, sizeof text);
        if (text[0]) {
            StripText(text);
            CopyText(title, sizeof title, text[0] == ' ' ? "" : " ");
            AppendText(title, sizeof title, text);
            SetWindowTextA(window, title);
        }
    }
    for (const uint16_t* id = ids + 1; *id; id++) {
        char text[1024];
        GetText(*id, text, sizeof text);
        SetDlgItemTextA(window, *id, text);
    }
}
