#include "framework/ListView.h"

#include "framework/Dpi.h"
#include "framework/Text.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <vector>

namespace {

// What the list leaves on each side of a cell's text, at 96 DPI; a little
// more on the right than comctl32 itself leaves, so that a text taken to fit
// is never cut at its end by the list. Column 0's label rectangle has its
// left margin already.
constexpr int kCellPadding = 6;
constexpr int kLabelPadding = 3;
constexpr UINT_PTR kListSubclassId = 0x564C;
constexpr UINT_PTR kTipToolId = 1;
const wchar_t kEllipsis[] = L"...";

// What SetUpList leaves on a list: its columns, for fitting them again, and
// its cell tooltip. It lives as long as the list's window.
struct ListState {
    HWND list = nullptr;
    HWND parent = nullptr;
    std::vector<ListColumn> columns;
    int dpi = kDesignDpi;
    HWND tip = nullptr;
    int tipRow = -1;
    int tipColumn = -1;
    std::wstring tipText;
};

// Finds the state for the calls that name only the list (MinGW's import
// library has no GetWindowSubclass, which would read the subclass's own).
const wchar_t kStateProperty[] = L"Vardenix.ListState";

ListState* StateOf(HWND list)
{
    return list ? static_cast<ListState*>(GetPropW(list, kStateProperty)) : nullptr;
}

void FitColumns(const ListState& state)
{
    RECT client;
    GetClientRect(state.list, &client);
    int room = client.right - client.left;
    // The rows that come later may bring a vertical scroll bar: the columns
    // still fit then.
    if (!(GetWindowLongPtrW(state.list, GWL_STYLE) & WS_VSCROLL))
        room -= SystemMetricForDpi(SM_CXVSCROLL, state.dpi);
    int fills = 0;
    for (const ListColumn& column : state.columns) {
        if (column.fit == ListColumn::Fill)
            ++fills;
        else
            room -= ScaleToDpi(column.width, state.dpi);
    }
    const int share = fills > 0 ? room / fills : 0;
    for (size_t k = 0; k < state.columns.size(); ++k) {
        const ListColumn& column = state.columns[k];
        int width = ScaleToDpi(column.width, state.dpi);
        if (column.fit == ListColumn::Fill)
            width = std::max(std::min(share, width), ScaleToDpi(kMinFillWidth, state.dpi));
        SendMessageW(state.list, LVM_SETCOLUMNWIDTH, k, MAKELPARAM(width, 0));
    }
}

// The cell's rectangle in the list's client area; column 0's without the
// room of an icon.
bool CellRect(HWND list, int row, int column, RECT& cell)
{
    cell = {};
    cell.top = column;
    cell.left = column == 0 ? LVIR_LABEL : LVIR_BOUNDS;
    return SendMessageW(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell)) != 0;
}

RECT TextArea(const RECT& cell, int column, int dpi)
{
    RECT area = cell;
    area.left += ScaleToDpi(column == 0 ? kLabelPadding : kCellPadding, dpi);
    area.right -= ScaleToDpi(kCellPadding, dpi);
    return area;
}

// `text` as it fits in `width` pixels in the font of `dc`: whole, or with
// "..." in place of its middle. A path keeps its last part (the backslash and
// the file name) and as much of its beginning (the drive) as there is room
// for; other texts keep as much of their end as of their beginning.
std::wstring CutInTheMiddle(HDC dc, const std::wstring& text, int width)
{
    const int length = static_cast<int>(text.size());
    SIZE extent = {};
    std::vector<int> ends(text.size() + 1, 0);  // ends[n]: the width of the first n characters
    if (length == 0 || !GetTextExtentExPointW(dc, text.c_str(), length, 0, nullptr, &ends[1], &extent) ||
        extent.cx <= width)
        return text;
    SIZE dots = {};
    GetTextExtentPoint32W(dc, kEllipsis, 3, &dots);
    const int total = ends[static_cast<size_t>(length)];
    const auto from = [&](size_t start) { return total - ends[start]; };  // the width from `start` to the end
    const auto headFitting = [&](int room, size_t most) {
        size_t n = 0;
        while (n < most && ends[n + 1] <= room)
            ++n;
        return n;
    };

    const size_t backslash = text.rfind(L'\\');
    if (backslash != std::wstring::npos && backslash > 0 && backslash + 1 < text.size() &&
        dots.cx + from(backslash) <= width) {
        const size_t head = headFitting(width - dots.cx - from(backslash), backslash);
        return text.substr(0, head) + kEllipsis + text.substr(backslash);
    }
    const size_t head = headFitting((width - dots.cx) / 2, text.size());
    size_t tail = head;
    while (tail < text.size() && ends[head] + dots.cx + from(tail) > width)
        ++tail;
    return text.substr(0, head) + kEllipsis + text.substr(tail);
}

// The list's font in `dc` for as long as the object lives; a list that was
// given none draws in the GUI font.
class ListFont {
public:
    ListFont(HWND list, HDC dc) : dc_(dc)
    {
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0));
        old_ = SelectObject(dc, font ? font : GetStockObject(DEFAULT_GUI_FONT));
    }
    ~ListFont() { SelectObject(dc_, old_); }
    ListFont(const ListFont&) = delete;
    ListFont& operator=(const ListFont&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_ = nullptr;
};

// Whether the cell's text is cut; if so, `shown` is what it shows.
bool IsCut(const ListState& state, HDC dc, int row, int column, RECT& cell, std::wstring& shown)
{
    if (!CellRect(state.list, row, column, cell))
        return false;
    const RECT area = TextArea(cell, column, state.dpi);
    const std::wstring text = ListText(state.list, row, column);
    shown = CutInTheMiddle(dc, text, area.right - area.left);
    return shown != text;
}

// Draws a cut cell as the list would, with the text cut in the middle
// rather than at its end; false leaves the cell to the list.
bool DrawCutCell(const ListState& state, const NMLVCUSTOMDRAW& draw)
{
    const int row = static_cast<int>(draw.nmcd.dwItemSpec);
    const int column = draw.iSubItem;
    const HDC dc = draw.nmcd.hdc;
    ListFont font(state.list, dc);
    RECT cell;
    std::wstring shown;
    if (!IsCut(state, dc, row, column, cell, shown))
        return false;

    // The list's own colours: full-row selection, grey while another control
    // has the focus (the lists show their selection always).
    const bool selected = (SendMessageW(state.list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) &
                           LVIS_SELECTED) != 0;
    const bool focused = GetFocus() == state.list;
    const bool showsSelection = (GetWindowLongPtrW(state.list, GWL_STYLE) & LVS_SHOWSELALWAYS) != 0;
    COLORREF back, fore;
    if (selected && focused) {
        back = GetSysColor(COLOR_HIGHLIGHT);
        fore = GetSysColor(COLOR_HIGHLIGHTTEXT);
    } else if (selected && showsSelection) {
        back = GetSysColor(COLOR_BTNFACE);
        fore = GetSysColor(COLOR_BTNTEXT);
    } else {
        // CLR_NONE (the list's own background) and CLR_DEFAULT are no colours.
        const auto colour = [](LRESULT value) { return (static_cast<COLORREF>(value) & 0xFF000000) == 0; };
        const LRESULT textBack = SendMessageW(state.list, LVM_GETTEXTBKCOLOR, 0, 0);
        const LRESULT listBack = SendMessageW(state.list, LVM_GETBKCOLOR, 0, 0);
        back = colour(textBack) ? static_cast<COLORREF>(textBack)
               : colour(listBack) ? static_cast<COLORREF>(listBack)
                                  : GetSysColor(COLOR_WINDOW);
        const LRESULT text = SendMessageW(state.list, LVM_GETTEXTCOLOR, 0, 0);
        fore = colour(text) ? static_cast<COLORREF>(text) : GetSysColor(COLOR_WINDOWTEXT);
    }
    const HBRUSH brush = CreateSolidBrush(back);
    FillRect(dc, &cell, brush);
    DeleteObject(brush);
    RECT area = TextArea(cell, column, state.dpi);
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = SetTextColor(dc, fore);
    DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &area,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    return true;
}

// The tip follows the pointer from cell to cell; it shows only for a cut
// cell, with the cell's whole text.
void FollowPointer(ListState& state, const MSG& mouse)
{
    LVHITTESTINFO hit = {};
    hit.pt = {GET_X_LPARAM(mouse.lParam), GET_Y_LPARAM(mouse.lParam)};
    SendMessageW(state.list, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    RECT cell = {};
    std::wstring text;
    if (hit.iItem >= 0) {
        const HDC dc = GetDC(state.list);
        std::wstring shown;
        bool cut;
        {
            ListFont font(state.list, dc);
            cut = IsCut(state, dc, hit.iItem, hit.iSubItem, cell, shown);
        }
        ReleaseDC(state.list, dc);
        if (cut)
            text = ListText(state.list, hit.iItem, hit.iSubItem);
        else
            cell = {};
    }
    if (hit.iItem != state.tipRow || hit.iSubItem != state.tipColumn || text != state.tipText) {
        state.tipRow = hit.iItem;
        state.tipColumn = hit.iSubItem;
        state.tipText = text;
        SendMessageW(state.tip, TTM_POP, 0, 0);
        TOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = state.list;
        tool.uId = kTipToolId;
        tool.rect = cell;
        SendMessageW(state.tip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        tool.lpszText = const_cast<wchar_t*>(state.tipText.c_str());  // copied by the tooltip
        SendMessageW(state.tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    // Relayed after the tool has moved, so that it sees this very move.
    SendMessageW(state.tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&mouse));
}

LRESULT CALLBACK ParentProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    const auto* state = reinterpret_cast<const ListState*>(data);
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == state->list && header->code == NM_CUSTOMDRAW) {
            const auto* draw = reinterpret_cast<const NMLVCUSTOMDRAW*>(lParam);
            switch (draw->nmcd.dwDrawStage) {
            case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
            case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
            case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
                return DrawCutCell(*state, *draw) ? CDRF_SKIPDEFAULT : CDRF_DODEFAULT;
            default: return CDRF_DODEFAULT;
            }
        }
    }
    return DefSubclassProc(window, msg, wParam, lParam);
}

LRESULT CALLBACK ListProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* state = reinterpret_cast<ListState*>(data);
    switch (msg) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: {
        MSG mouse = {window, msg, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
        FollowPointer(*state, mouse);
        break;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, ListProc, kListSubclassId);
        if (state->parent)
            RemoveWindowSubclass(state->parent, ParentProc, reinterpret_cast<UINT_PTR>(window));
        RemovePropW(window, kStateProperty);
        if (state->tip)
            DestroyWindow(state->tip);
        delete state;
        return DefSubclassProc(window, msg, wParam, lParam);
    default:
        if (msg == DpiChangedMessage()) {
            state->dpi = static_cast<int>(wParam);
            FitColumns(*state);
        }
        break;
    }
    return DefSubclassProc(window, msg, wParam, lParam);
}

HWND CreateCellTip(HWND list)
{
    const HWND tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, list, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    if (!tip)
        return nullptr;
    // The version-2 size: the one the old common controls accept as well.
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = list;
    tool.uId = kTipToolId;
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    return tip;
}

}  // namespace

void SetUpList(HWND list, std::initializer_list<ListColumn> columns)
{
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const ListColumn& column : columns) {
        std::wstring header = LoadText(column.header);
        LVCOLUMNW definition = {};
        definition.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        definition.fmt = LVCFMT_LEFT;
        definition.pszText = &header[0];
        definition.iSubItem = index;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&definition));
        ++index;
    }
    if (StateOf(list))
        return;
    auto* state = new ListState;
    state->list = list;
    state->parent = GetParent(list);
    state->columns.assign(columns.begin(), columns.end());
    state->dpi = WindowDpi(list);
    FitColumns(*state);
    state->tip = CreateCellTip(list);
    SetPropW(list, kStateProperty, state);
    SetWindowSubclass(list, ListProc, kListSubclassId, reinterpret_cast<DWORD_PTR>(state));
    // Custom drawing is asked of the list's parent; each list there is a
    // subclass of its own.
    if (state->parent)
        SetWindowSubclass(state->parent, ParentProc, reinterpret_cast<UINT_PTR>(list),
                          reinterpret_cast<DWORD_PTR>(state));
}

std::wstring ShownListText(HWND list, int row, int column)
{
    const ListState* state = StateOf(list);
    if (!state)
        return ListText(list, row, column);
    const HDC dc = GetDC(list);
    RECT cell;
    std::wstring shown;
    bool cut;
    {
        ListFont font(list, dc);
        cut = IsCut(*state, dc, row, column, cell, shown);
    }
    ReleaseDC(list, dc);
    return cut ? shown : ListText(list, row, column);
}

HWND ListCellTip(HWND list)
{
    const ListState* state = StateOf(list);
    return state ? state->tip : nullptr;
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
