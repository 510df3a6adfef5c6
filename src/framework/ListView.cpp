#include "framework/ListView.h"

#include "framework/Text.h"

#include <commctrl.h>

#include <vector>

void SetUpList(HWND list, std::initializer_list<ListColumn> columns)
{
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const ListColumn& column : columns) {
        std::wstring header = LoadText(column.header);
        LVCOLUMNW definition = {};
        definition.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        definition.fmt = LVCFMT_LEFT;
        definition.cx = column.width;
        definition.pszText = &header[0];
        definition.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&definition));
        ++index;
    }
}

int InsertListRow(HWND list, int row, const std::wstring& text, LPARAM data)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = const_cast<wchar_t*>(text.c_str());  // read, never written
    item.lParam = data;
    return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

LPARAM ListRowData(HWND list, int row)
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return item.lParam;
}

void SetListText(HWND list, int row, int column, const std::wstring& text)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());  // read, never written
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

std::wstring ListText(HWND list, int row, int column)
{
    // The list answers with the length it copied; a text that filled the
    // buffer may have been cut, so it is read again into a larger one.
    std::vector<wchar_t> text(MAX_PATH + 1);
    for (;;) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const LRESULT length =
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        if (length < 0)
            return std::wstring();
        if (static_cast<size_t>(length) + 1 < text.size())
            return std::wstring(text.data(), static_cast<size_t>(length));
        text.resize(text.size() * 2);
    }
}

int ListRowCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

int SelectedListRow(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ClearList(HWND list)
{
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
}

void ScrollListTo(HWND list, int row)
{
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}
