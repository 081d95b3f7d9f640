// The update run on the product list view: the window system's part of it.
#pragma once
#include "update/updaterun.h"

// What the run asks of the window system; tests may wrap its entries.
extern UpdateHost gUpdateHost;

// Sends WM_DESTROY to every top-level window of the class whose process runs the program
// file at path (or whose program file cannot be told) and waits, at most CLOSE_WAIT_MS, until
// they and their processes are gone. Another installed copy of the product is left running,
// and so is the Updater itself. Returns how many windows there were, or CLOSE_STAYED when
// some window or process was still there.
int CloseRunningInstances(const char* windowClass, const char* path);
