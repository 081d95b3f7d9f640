// The update run: for each selected row whose versions differ, request the product's update
// package, stage its files while the product still runs, close the product, move the files
// into place, start it again and re-read its installed version. The logic works over the
// row store and a small table of what the window system does, so that it runs the same in
// the program and in tests.
#pragma once
#include <stddef.h>
#include "catalogue/product.h"
#include "catalogue/rowstore.h"

struct Store;

// Closing a running product: each window gets WM_DESTROY with this time-out, and the whole
// wait for the product's windows to go away is bounded too.
const unsigned CLOSE_SEND_TIMEOUT_MS = 1000;
const unsigned CLOSE_WAIT_MS = 4000;

// What a running product's windows answered.
enum { CLOSE_STAYED = -1 };

// The run's questions to the window system and the user.
struct UpdateHost {
    void* context;
    int (*IsSelected)(void* context, int row);
    void (*Deselect)(void* context, int row);
    void (*SetState)(void* context, int row, int state);
    void (*SetStateText)(void* context, int row, int textId); // 0: an empty text
    void (*ShowName)(void* context, const char* name);        // the status line's product pane
    int (*CancelRequested)(void* context);
    // Closes the top-level windows of the class that belong to the program file at path;
    // returns how many there were, or CLOSE_STAYED when some were still there at the end of
    // the wait.
    int (*CloseRunningInstances)(void* context, const char* windowClass, const char* path);
    void (*StartProgram)(void* context, const char* path);
    void (*ReadInstalledVersion)(void* context, Product* record);
};

struct UpdateRun {
    const RowStore* rows;
    Store* settings;
    const UpdateHost* host;
};

// Processes every selected row, in order; every processed row ends deselected.
void UpdateRows(UpdateRun* run);
// Updates one outdated row's product. Returns 0, or the failing step's code (the row's
// text then says which step failed).
int UpdateProduct(UpdateRun* run, int row, Product* record, char* packagePath, size_t size);
// After a row was updated: the later selected rows of the same product code, each with its
// own request.
void UpdateDuplicateRows(UpdateRun* run, int row, const Product* record, char* packagePath, size_t size);
// Downloads the package of a product code and edition letter into a new temporary file.
// Returns the download's result; on success packagePath holds the file, otherwise it is empty.
long RequestPackage(const char* code, const char* edition, char* packagePath, size_t size);
