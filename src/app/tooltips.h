// Tooltip texts of the toolbar buttons.
#pragma once
#include <stddef.h>

// The text of a command id for its tooltip: with two ';' the third part, with one the
// first; cut at a TAB; '&' removed; cut where "..." begins. Id 0 gives "".
void GetToolTipText(int id, char* out, size_t size);
