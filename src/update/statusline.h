// The status line: a bar along the bottom of the main window, divided into panes, with a
// progress control in one of them. Worker threads set pane texts, icons and progress; the
// window thread paints, after a short delay that folds many changes into one redraw.
#pragma once
#include <windows.h>
#include <stdint.h>

struct Pane {
    int32_t right; // right edge in client pixels
    HICON icon;    // drawn at the state icons' size (16 by 16 at 100 %); none when 0
    char text[260];
    int timerPending; // a redraw is due: later changes wait for it instead of restarting it
};

// Fills widths[0..count) for a status line of the given size.
typedef void (*StatusLayoutProc)(int width, int height, int* widths, int count);

struct StatusLine {
    StatusLayoutProc layout;
    void* notify; // events of the panes; the program's status line has none
    int visible;
    HFONT font; // 0: the system's status font, made for each paint
    HWND window;
    HWND tooltip;
    HWND progress;
    int progressPane;  // below 0: no progress control
    int reservedWidth; // room for the percentage text left of the bar
    int lastPercent;   // -1: none shown
    uint64_t total, position;
    int height;
    int paneCount;
    Pane* panes;
    int topSeparator;
    CRITICAL_SECTION lock; // keeps a worker's write and a paint from overlapping
};

extern StatusLine gStatusLine;

#define STATUS_LINE_CLASS "sb"

void StatusLineConstruct(StatusLine* line, int paneCount, int progressPane, StatusLayoutProc layout);
void StatusLineDestruct(StatusLine* line);
// The main status line's layout: pane 2 is (height + 19 at 100 %) wide, pane 1 half of the rest.
void MainStatusLayout(int width, int height, int* widths, int count);

HWND StatusLineCreate(StatusLine* line, HWND parent, HINSTANCE instance);
void StatusLineShow(StatusLine* line);
void StatusLineLayout(StatusLine* line, int x, int y, int width, int* availableHeight);
void PaneSetIcon(StatusLine* line, HICON icon, int pane, unsigned delay);
void PaneSetText(StatusLine* line, const char* text, int pane, unsigned delay);
// Copies a pane's text (for tests and tooltips).
void PaneGetText(StatusLine* line, int pane, char* out, size_t size);
void ProgressBegin(StatusLine* line);
void ProgressEnd(StatusLine* line);
void ProgressSetTotal(StatusLine* line, uint64_t total);
void ProgressSetPosition(StatusLine* line, uint64_t position);
