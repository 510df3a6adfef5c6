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
    enum Fit { Fixed, Fill };
    UINT header;  // string id of the header text
    int width;    // pixels at 96 DPI; for a Fill column, the most it takes
    Fit fit = Fixed;
};

// Grid lines and full-row selection, then the left-aligned columns in order,
// their widths scaled to the list's DPI. The Fill columns share the room the
// others leave (each at least kMinFillWidth at 96 DPI), so that every column
// shows inside the list at its size; they are fitted again when the list
// learns of a new DPI (DpiChangedMessage). A cell whose text is wider than its
// column shows it cut in the middle, so that a path keeps its drive and its
// file name, and shows the whole text in a tooltip while the pointer is on it.
void SetUpList(HWND list, std::initializer_list<ListColumn> columns);
constexpr int kMinFillWidth = 100;

// What a cell shows: its whole text, or that text cut in the middle with
// "..." to fit its column.
std::wstring ShownListText(HWND list, int row, int column);
// The tooltip that shows a cut cell's whole text; null before SetUpList.
HWND ListCellTip(HWND list);

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
