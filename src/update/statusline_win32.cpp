// The status line window "sb" and its progress control.
#include "update/statusline.h"
#include <commctrl.h>
#include <stdlib.h>
#include "platform/dpi.h"
#include "platform/text.h"
#include "platform/theme.h"

StatusLine gStatusLine;

// Sent to the status line by any thread: start the redraw timer of pane wParam on the
// window thread, which alone may own the window's timers.
enum { SB_START_TIMER = WM_USER + 1 };

void StatusLineConstruct(StatusLine* line, int paneCount, int progressPane, StatusLayoutProc layout) {
    ZeroMemory(line, sizeof *line);
    line->paneCount = paneCount < 1 ? 1 : paneCount;
    line->panes = (Pane*)calloc((size_t)line->paneCount, sizeof(Pane));
    if (!line->panes) line->paneCount = 0;
    line->progressPane = progressPane;
    line->layout = layout;
    line->reservedWidth = ScaleToDpi(55);
    line->lastPercent = -1;
    InitializeCriticalSection(&line->lock);
}

void StatusLineDestruct(StatusLine* line) {
    if (line->window && IsWindow(line->window)) DestroyWindow(line->window);
    free(line->panes);
    line->panes = NULL;
    line->paneCount = 0;
    DeleteCriticalSection(&line->lock);
}

void MainStatusLayout(int width, int height, int* widths, int count) {
    if (count < 2) {
        if (count == 1) widths[0] = width;
        return;
    }
    int last = count > 2 ? height + ScaleToDpi(19) : 0;
    if (count > 2) widths[2] = last;
    widths[1] = (width - last) / 2;
    widths[0] = width - last - widths[1];
}

static HFONT StatusFont(StatusLine* line, int* made) {
    *made = 0;
    if (line->font) return line->font;
    NONCLIENTMETRICSA metrics = {sizeof metrics};
    if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return (HFONT)GetStockObject(DEFAULT_GUI_FONT);
    *made = 1;
    return CreateFontIndirectA(&metrics.lfStatusFont);
}

static int PaneLeft(StatusLine* line, int pane) {
    return pane > 0 ? line->panes[pane - 1].right : 0;
}

static void RedrawPane(StatusLine* line, int pane) {
    if (!line->window || pane < 0 || pane >= line->paneCount) return;
    RECT r;
    GetClientRect(line->window, &r);
    EnterCriticalSection(&line->lock);
    r.left = PaneLeft(line, pane);
    r.right = line->panes[pane].right;
    LeaveCriticalSection(&line->lock);
    InvalidateRect(line->window, &r, FALSE);
}

// A pane changed more often than the delay is still redrawn once per delay: a pending
// timer is left to run rather than started again.
static void Schedule(StatusLine* line, int pane, unsigned delay) {
    if (!line->window) return;
    if (delay == 0) {
        RedrawPane(line, pane);
        return;
    }
    EnterCriticalSection(&line->lock);
    int pending = line->panes[pane].timerPending;
    line->panes[pane].timerPending = 1;
    LeaveCriticalSection(&line->lock);
    if (pending || PostMessageA(line->window, SB_START_TIMER, (WPARAM)pane, (LPARAM)delay)) return;
    EnterCriticalSection(&line->lock);
    line->panes[pane].timerPending = 0;
    LeaveCriticalSection(&line->lock);
}

void PaneSetIcon(StatusLine* line, HICON icon, int pane, unsigned delay) {
    if (pane < 0 || pane >= line->paneCount) return;
    EnterCriticalSection(&line->lock);
    line->panes[pane].icon = icon;
    LeaveCriticalSection(&line->lock);
    Schedule(line, pane, delay);
}

void PaneSetText(StatusLine* line, const char* text, int pane, unsigned delay) {
    if (pane < 0 || pane >= line->paneCount) return;
    EnterCriticalSection(&line->lock);
    CopyText(line->panes[pane].text, sizeof line->panes[pane].text, text ? text : "");
    LeaveCriticalSection(&line->lock);
    Schedule(line, pane, delay);
}

void PaneGetText(StatusLine* line, int pane, char* out, size_t size) {
    if (pane < 0 || pane >= line->paneCount) {
        CopyText(out, size, "");
        return;
    }
    EnterCriticalSection(&line->lock);
    CopyText(out, size, line->panes[pane].text);
    LeaveCriticalSection(&line->lock);
}

void ProgressBegin(StatusLine* line) {
    if (line->progress) ShowWindow(line->progress, SW_SHOWNOACTIVATE);
}

void ProgressEnd(StatusLine* line) {
    if (line->progress) ShowWindow(line->progress, SW_HIDE);
}

static void ShowPercent(StatusLine* line, int percent) {
    if (!line->progress || percent == line->lastPercent) return;
    line->lastPercent = percent;
    SendMessageA(line->progress, PBM_SETPOS, (WPARAM)percent, 0);
    char text[32];
    FormatText(text, sizeof text, "  %lu %%", (unsigned long)percent);
    PaneSetText(line, text, line->progressPane, 100);
}

void ProgressSetTotal(StatusLine* line, uint64_t total) {
    EnterCriticalSection(&line->lock);
    line->total = total;
    line->position = 0;
    line->lastPercent = -1;
    LeaveCriticalSection(&line->lock);
    ShowPercent(line, 0);
}

void ProgressSetPosition(StatusLine* line, uint64_t position) {
    EnterCriticalSection(&line->lock);
    uint64_t total = line->total;
    if (total) line->position = position < total ? position : total;
    uint64_t shown = line->position;
    LeaveCriticalSection(&line->lock);
    if (total) ShowPercent(line, (int)(shown * 100 / total));
}

static void PlaceProgress(StatusLine* line) {
    if (!line->progress || line->progressPane < 0 || line->progressPane >= line->paneCount) return;
    int left = PaneLeft(line, line->progressPane);
    int right = line->panes[line->progressPane].right;
    int x = left + line->reservedWidth + ScaleToDpi(1);
    int width = right - left - line->reservedWidth - ScaleToDpi(2), height = line->height - ScaleToDpi(6);
    MoveWindow(line->progress, x, ScaleToDpi(4), width > 0 ? width : 0, height > 0 ? height : 0, TRUE);
}

void StatusLineLayout(StatusLine* line, int x, int y, int width, int* availableHeight) {
    if (!line->window || !(line->visible || IsWindowVisible(line->window))) return;
    int made;
    HFONT font = StatusFont(line, &made);
    HDC dc = GetDC(line->window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICA metrics;
    int fontHeight = GetTextMetricsA(dc, &metrics) ? metrics.tmHeight : 16;
    SelectObject(dc, old);
    ReleaseDC(line->window, dc);
    if (made) DeleteObject(font);

    int height = fontHeight + ScaleToDpi(4) > ScaleToDpi(20) ? fontHeight + ScaleToDpi(4) : ScaleToDpi(20);
    line->topSeparator = *availableHeight != 0;
    if (line->topSeparator) height += ScaleToDpi(5);
    int widths[16] = {0};
    int count = line->paneCount < 16 ? line->paneCount : 16;
    if (line->layout) line->layout(width, height, widths, count);
    EnterCriticalSection(&line->lock);
    for (int i = line->paneCount - 1, after = 0; i >= 0; i--) {
        int right = width - after;
        line->panes[i].right = right < 0 ? 0 : right;
        if (i < count) after += widths[i];
    }
    LeaveCriticalSection(&line->lock);
    line->height = height;
    MoveWindow(line->window, x, y + *availableHeight - height, width, height, TRUE);
    PlaceProgress(line);
    *availableHeight -= height;
}

static COLORREF Blend(COLORREF a, COLORREF b) {
    return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2,
               (GetBValue(a) + GetBValue(b)) / 2);
}

static void PaintContent(StatusLine* line, HDC dc) {
    RECT client;
    GetClientRect(line->window, &client);
    COLORREF background = ThemeColor(COLOR_BTNFACE);
    COLORREF separator = Blend(ThemeColor(COLOR_BTNSHADOW), background);
    HBRUSH fill = CreateSolidBrush(background);
    FillRect(dc, &client, fill);
    DeleteObject(fill);
    HBRUSH line1 = CreateSolidBrush(separator);
    if (line->topSeparator) {
        RECT top = {client.left, client.top, client.right, client.top + 1};
        FillRect(dc, &top, line1);
    }
    int made;
    HFONT font = StatusFont(line, &made);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ThemeColor(COLOR_BTNTEXT));
    int widen = 0, iconSize = StateIconSize();
    for (int i = 0; i < line->paneCount; i++) {
        EnterCriticalSection(&line->lock);
        Pane pane = line->panes[i];
        int left = PaneLeft(line, i);
        LeaveCriticalSection(&line->lock);
        int top = line->topSeparator ? client.top + 1 : client.top;
        if (i > 0) {
            // Separators stay hairlines; their margins follow the scale.
            RECT edge = {left, top + ScaleToDpi(2), left + 1, client.bottom - ScaleToDpi(2)};
            FillRect(dc, &edge, line1);
        }
        int textLeft = left;
        if (pane.icon) {
            DrawIconEx(dc, left + ScaleToDpi(4), top + (client.bottom - top - iconSize) / 2, pane.icon,
                       iconSize, iconSize, 0, NULL, DI_NORMAL);
            textLeft += iconSize + ScaleToDpi(8);
        }
        if (pane.text[0]) {
            RECT r = {textLeft + ScaleToDpi(5), top, pane.right - ScaleToDpi(2), client.bottom};
            DrawTextA(dc, pane.text, -1, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
            if (i == line->progressPane && line->progress && IsWindowVisible(line->progress)) {
                SIZE size;
                if (GetTextExtentPoint32A(dc, pane.text, lstrlenA(pane.text), &size) &&
                    size.cx + ScaleToDpi(7) > line->reservedWidth) {
                    line->reservedWidth = size.cx + ScaleToDpi(7);
                    widen = 1;
                }
            }
        }
    }
    SelectObject(dc, oldFont);
    if (made) DeleteObject(font);
    DeleteObject(line1);
    // A wider percentage text moves the bar right: the parent lays the line out again.
    if (widen) PostMessageA(GetParent(line->window), WM_SIZE, 0, 0);
}

static LRESULT CALLBACK StatusLineProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    StatusLine* line = (StatusLine*)GetWindowLongPtrA(window, GWLP_USERDATA);
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrA(window, GWLP_USERDATA, (LONG_PTR)((CREATESTRUCTA*)lParam)->lpCreateParams);
        break;
    case WM_ERASEBKGND: return 1; // the paint fills everything
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        if (line) PaintContent(line, dc);
        EndPaint(window, &ps);
        return 0;
    }
    case SB_START_TIMER:
        if (!SetTimer(window, wParam + 1, (UINT)lParam, NULL)) SendMessageA(window, WM_TIMER, wParam + 1, 0);
        return 0;
    case WM_TIMER:
        KillTimer(window, wParam);
        if (line && wParam >= 1 && (int)wParam <= line->paneCount) {
            EnterCriticalSection(&line->lock);
            line->panes[wParam - 1].timerPending = 0;
            LeaveCriticalSection(&line->lock);
            RedrawPane(line, (int)wParam - 1);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND StatusLineCreate(StatusLine* line, HWND parent, HINSTANCE instance) {
    WNDCLASSEXA wc = {sizeof wc};
    if (!GetClassInfoExA(instance, STATUS_LINE_CLASS, &wc)) {
        wc.lpfnWndProc = StatusLineProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursor(NULL, IDC_ARROW);
        wc.lpszClassName = STATUS_LINE_CLASS;
        RegisterClassExA(&wc);
    }
    // Timers die with an earlier window: none is pending for the new one.
    for (int i = 0; i < line->paneCount; i++)
        line->panes[i].timerPending = 0;
    line->window = CreateWindowExA(0, STATUS_LINE_CLASS, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                                   0, parent, NULL, instance, line);
    if (!line->window) return NULL;
    if (line->progressPane >= 0) {
        line->progress = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | PBS_SMOOTH, 0, 0, 0, 0,
                                         line->window, NULL, instance, NULL);
        SendMessageA(line->progress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    }
    line->reservedWidth = ScaleToDpi(55);
    return line->window;
}

void StatusLineShow(StatusLine* line) {
    line->visible = 1;
    if (line->window) ShowWindow(line->window, SW_SHOW);
}
