// The update run on the product list view: the window system's part of it.
#pragma once
#include "update/updaterun.h"

// What the run asks of the window system; tests may wrap its entries.
extern UpdateHost gUpdateHost;

// Sends WM_DESTROY to every top-level window of the class owned by another process and
// waits, at most CLOSE_WAIT_MS, until they are gone. Returns how many there were, or
// CLOSE_STAYED when some were still there.
int CloseRunningInstances(const char* windowClass);
