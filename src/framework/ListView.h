#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

// The list-view access the pages share. Every function only sends the list
// its own messages, so it works from any thread: the list's thread carries
// the work out, and the buffers lie in the same process. A worker that uses
// them waits for the user-interface thread, which must therefore never wait
// for that worker.

struct ListColumn {
    UINT header;  // string id of the header text
    int width;    // pixels
};

// Grid lines and full-row selection, then the left-aligned columns in order.
void SetUpList(HWND list, std::initializer_list<ListColumn> columns);

// Inserts a row at `row` with the text of its first column and the row's own
// value `data`; the index the row got, or -1 when it could not be inserted.
int InsertListRow(HWND list, int row, const std::wstring& text, LPARAM data = 0);
// The value a row was inserted with; 0 for a row that does not exist.
LPARAM ListRowData(HWND list, int row);
void SetListText(HWND list, int row, int column, const std::wstring& text);
// The whole text of a cell, however long: a long path is never read back cut
// short (and so naming another file). Empty for a row that does not exist.
std::wstring ListText(HWND list, int row, int column);

int ListRowCount(HWND list);
// The first selected row, or -1 when none is.
int SelectedListRow(HWND list);
void ClearList(HWND list);
// Scrolls the list until `row` is in view.
void ScrollListTo(HWND list, int row);
