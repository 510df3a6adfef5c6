#include "quarantine/QuarantinePage.h"

#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"

#include <commctrl.h>

namespace {

constexpr COLORREF kTransparent = 0xFFFFFF;
constexpr int kColumnWidth = 410;
constexpr DWORD kListExtendedStyles = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;  // 0x21

// The page's own messages, the only way the purge thread acts on the page.
// Both are sent, so the worker goes on only once the UI thread has done it.
constexpr UINT kRefreshMessage = WM_APP + 1;  // RefreshQuarantineList on the page's thread
constexpr UINT kButtonsMessage = WM_APP + 2;  // wParam: TRUE enables the three buttons, FALSE disables them

// Row texts are paths of the store (below kStorePathSize bytes); the buffer
// leaves room so that a longer text is seen as too long rather than cut.
constexpr int kRowTextSize = 2 * kStorePathSize;

bool OnPageThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

// Works from any thread: LVM_GETITEMTEXTW is sent to the list's own thread,
// and the buffer lies in the same process.
std::wstring ListText(HWND list, int row, int column)
{
    wchar_t text[kRowTextSize] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = kRowTextSize;
    const LRESULT length =
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return std::wstring(text, static_cast<size_t>(length > 0 ? length : 0));
}

int ListCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

// The item path of a row in the store's ANSI form; empty when it could not be
// one of the store's paths.
std::string ItemPathOfRow(HWND list, int row)
{
    const std::string path = Narrow(ListText(list, row, 1));
    return path.size() < kStorePathSize ? path : std::string();
}

bool ItemFileExists(const std::string& itemPath)
{
    const DWORD attributes = GetFileAttributesA(itemPath.c_str());
    return !itemPath.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void AttachButton(ImageButton& button, HWND page, int id, int bitmapId, UINT tooltipId)
{
    button.Attach(page, id);
    button.SetBitmaps(bitmapId, kTransparent);
    button.SetAlignment(ImageButton::ImageAbove);
    button.SetTooltip(LoadText(tooltipId));
    button.DrawBorder(false);
    button.SetCursor(IDCUR_HAND);
}

}  // namespace

QuarantinePage::QuarantinePage() : Dialog(IDD_QUARANTINE_PAGE) {}

HWND QuarantinePage::List() const
{
    return Item(IDC_QUARANTINE_LIST);
}

int QuarantinePage::RowCount() const
{
    return ListCount(List());
}

std::wstring QuarantinePage::RowText(int row, int column) const
{
    return ListText(List(), row, column);
}

bool QuarantinePage::OnInitDialog()
{
    Dialog::OnInitDialog();
    const HWND list = List();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListExtendedStyles);

    const UINT headers[] = {IDS_COL_ORIGIN, IDS_COL_QUARANTINE};
    for (int column = 0; column < 2; ++column) {
        std::wstring header = LoadText(headers[column]);
        LVCOLUMNW definition = {};
        definition.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        definition.fmt = LVCFMT_LEFT;
        definition.cx = kColumnWidth;
        definition.pszText = &header[0];
        definition.iSubItem = column;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&definition));
        SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), kColumnWidth);
    }

    AttachButton(refreshButton_, Handle(), IDC_FIRST_BUTTON, IDB_REFRESH, IDS_TIP_REFRESH_LIST);
    AttachButton(restoreButton_, Handle(), IDC_SECOND_BUTTON, IDB_RESTORE, IDS_TIP_RESTORE);
    AttachButton(purgeButton_, Handle(), IDC_QUARANTINE_PURGE, IDB_DELETE, IDS_TIP_PURGE);

    RefreshQuarantineList();
    return true;
}

bool QuarantinePage::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_FIRST_BUTTON:
        RefreshQuarantineList();
        return true;
    case IDC_SECOND_BUTTON:
        RestoreSelectedItem();
        return true;
    case IDC_QUARANTINE_PURGE:
        PurgeQuarantine();
        return true;
    default:
        return false;
    }
}

bool QuarantinePage::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (msg) {
    case kRefreshMessage:
        RefreshQuarantineList();
        break;
    case kButtonsMessage:
        EnableButtons(wParam != FALSE);
        break;
    default:
        return false;
    }
    result = 0;
    return true;
}

void QuarantinePage::EnableButtons(bool enable) const
{
    EnableItem(IDC_FIRST_BUTTON, enable);
    EnableItem(IDC_SECOND_BUTTON, enable);
    EnableItem(IDC_QUARANTINE_PURGE, enable);
}

void QuarantinePage::AppendRow(const std::string& origin, const std::string& itemPath) const
{
    const HWND list = List();
    std::wstring originText = Widen(origin);
    std::wstring itemText = Widen(itemPath);

    LVITEMW row = {};
    row.mask = LVIF_TEXT;
    row.iItem = ListCount(list);
    row.pszText = &originText[0];
    const LRESULT index = SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
    if (index < 0)
        return;
    LVITEMW column = {};
    column.iSubItem = 1;
    column.pszText = &itemText[0];
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void QuarantinePage::RefreshQuarantineList()
{
    if (!Handle())
        return;
    if (!OnPageThread(Handle())) {
        Send(kRefreshMessage);
        return;
    }

    char folder[kStorePathSize];
    const bool haveFolder = GetQuarantineFolder(folder);
    EnableButtons(false);
    SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0);

    if (haveFolder) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((std::string(folder) + "*.vw").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                // A path the store could not handle is passed over like a damaged item.
                const std::string itemPath = std::string(folder) + found.cFileName;
                char origin[kStorePathSize];
                if (itemPath.size() < kStorePathSize && ReadQuarantineOrigin(itemPath.c_str(), origin))
                    AppendRow(origin, itemPath);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
    }
    EnableButtons(true);
}

void QuarantinePage::RestoreSelectedItem()
{
    const HWND list = List();
    const int selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    const int count = ListCount(list);
    EnableButtons(false);

    if (count == 0) {
        ShowMessage(Handle(), IDS_NOTHING_FOUND);
    } else if (selected < 0) {
        ShowMessage(Handle(), IDS_SELECT_FILE);
    } else {
        // The prefix and the origin are joined as they are, without a separator.
        const std::wstring question = LoadText(IDS_RESTORE_PREFIX) + ListText(list, selected, 0) + L"?";
        if (ShowMessage(Handle(), question, MB_OKCANCEL) == IDOK) {
            const std::string itemPath = ItemPathOfRow(list, selected);
            if (!ItemFileExists(itemPath)) {
                ShowMessage(Handle(), IDS_ITEM_MISSING);
            } else {
                switch (RestoreQuarantineItem(itemPath.c_str())) {
                case RestoreToOrigin:
                    ShowMessage(Handle(), IDS_RESTORE_DONE);
                    break;
                case RestoreToDesktop:
                    ShowMessage(Handle(), IDS_RESTORE_DESKTOP);
                    break;
                case RestoreFailed:
                    // Nothing was written (both places taken, or the item
                    // unreadable): say so, rather than "файл был восстановлен".
                    ShowMessage(Handle(), LoadText(IDS_RESTORE_PREFIX) + L": " + LoadText(IDS_ERROR));
                    break;
                }
            }
        }
    }
    EnableButtons(true);
}

void QuarantinePage::PurgeQuarantine()
{
    if (RowCount() == 0) {
        ShowMessage(Handle(), IDS_NOTHING_FOUND);
        return;
    }
    if (ShowMessage(Handle(), IDS_PURGE_QUESTION, MB_OKCANCEL) != IDOK)
        return;
    // Disabled here already, so that no second click gets in before the
    // worker's own disabling reaches the page.
    EnableButtons(false);
    if (!StartWorkerThread(PurgeQuarantineWorker, this))
        EnableButtons(true);
}

// The purge thread. It keeps only the window handles, never calls into the
// page object, and acts on the page by sending messages: the list's own
// LVM_ messages to read rows, kButtonsMessage and kRefreshMessage for the
// rest. Its message boxes are shown from this thread.
DWORD WINAPI QuarantinePage::PurgeQuarantineWorker(void* page)
{
    const HWND window = static_cast<QuarantinePage*>(page)->Handle();
    const HWND list = static_cast<QuarantinePage*>(page)->List();

    const int count = ListCount(list);
    SendMessageW(window, kButtonsMessage, FALSE, 0);
    ShowMessage(window, IDS_WAIT);

    for (int row = 0; row < count; ++row) {
        const std::string itemPath = ItemPathOfRow(list, row);
        if (itemPath.empty())
            continue;
        SetFileAttributesA(itemPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(itemPath.c_str());
    }

    // Items that could not be deleted come back in the list.
    SendMessageW(window, kRefreshMessage, 0, 0);
    ShowMessage(window, IDS_FINISHED);
    SendMessageW(window, kButtonsMessage, TRUE, 0);
    return 0;
}
