// Applying string-table texts to a dialog.
#pragma once
#include <windows.h>
#include <stdint.h>

// ids: the title's text id (0: the title stays), then control ids (each also its text id),
// ended by 0.
void ApplyDialogTexts(HWND window, const uint16_t* ids);
