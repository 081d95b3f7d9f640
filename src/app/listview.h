// The product list view: a report list whose rows are the Product table. Every row
// operation works by synchronous window messages, so any thread may use it.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include "app/columns.h"
#include "catalogue/rowstore.h"

enum { LIST_VIEW_ID = 60, MSG_SET_ROW_IMAGE = WM_USER, MSG_RUN_ON_LIST_THREAD = WM_APP + 2 };

// Creates the list view into gApp->listView; 1 when it could not be created, else 0.
int CreateListView(HWND mainWindow);
void ApplyListStyles(HWND listView);
void SetColumnTexts(HWND listView, const Column* table);
void ReadColumnsFromView(HWND listView, Column* table);

int RowCount(HWND listView);
// Inserts a row (at the end when index < 0); returns its index after sorting, or -1.
int InsertRow(HWND listView, int index, const char* text, int image, uint32_t data);
void DeleteRow(HWND listView, int row);
void SetRowText(HWND listView, int row, int column, const char* text);
void GetRowText(HWND listView, int row, int column, char* out, size_t size);
void SetRowData(HWND listView, int row, uint32_t data);
uint32_t GetRowData(HWND listView, int row); // 0 for a row that does not exist
void SetRowImage(HWND listView, int row, int image);
int GetRowImage(HWND listView, int row);
// Selects or deselects one row, or every row with row -1.
void SelectRow(HWND listView, int row, int select);
int IsRowSelected(HWND listView, int row);
int SelectedRowCount(HWND listView);
// Sizes a column to its content.
void FitColumn(HWND listView, int column);
// Runs work on the list view's thread while the caller waits (at once on that thread, or
// when the list view is gone): many row operations then cost the caller one message.
void RunOnListThread(HWND listView, void (*work)(void* argument), void* argument);

// New item data = (old with its low four bits cleared) | state; the icon follows through
// message 1024 posted to the main window.
void SetRowState(int row, int state);
// Writes a text id into the State column ("Updated at " gets the date and time) and fits it.
void SetRowStateText(int row, int textId);
