#pragma once

#include "framework/ListView.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

// The sum of a report list's column widths.
inline int ColumnsWidth(HWND list)
{
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    int sum = 0;
    for (int k = 0; k < static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)); ++k)
        sum += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(k), 0));
    return sum;
}

// Puts the mouse pointer on the middle of a cell, as a user's hand would.
inline bool PointAtListCell(HWND list, int row, int column)
{
    RECT cell = {};
    cell.top = column;
    cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    if (!SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell)))
        return false;
    POINT middle = {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
    ClientToScreen(list, &middle);
    return SetCursorPos(middle.x, middle.y) != FALSE;
}

// The text of the list's cell tooltip while it is shown; empty while it is not.
inline std::wstring ShownCellTip(HWND list)
{
    const HWND tip = ListCellTip(list);
    if (!tip || !IsWindowVisible(tip))
        return std::wstring();
    // The tip's one tool, whose text is then read into a buffer of known size.
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    if (!SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)))
        return std::wstring();
    wchar_t text[1024] = {};
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 1024, reinterpret_cast<LPARAM>(&tool));
    return text;
}
