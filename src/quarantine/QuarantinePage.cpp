#include "quarantine/QuarantinePage.h"

#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"

namespace {

constexpr int kColumnWidth = 410;

// The page's own messages, the only way the purge thread acts on the page.
// Both are sent, so the worker goes on only once the UI thread has done it.
constexpr UINT kRefreshMessage = WM_APP + 1;  // RefreshQuarantineList on the page's thread
constexpr UINT kButtonsMessage = WM_APP + 2;  // wParam: TRUE enables the three buttons, FALSE disables them

bool OnPageThread(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
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

}  // namespace

QuarantinePage::QuarantinePage() : ChildPage(IDD_QUARANTINE_PAGE, IDC_QUARANTINE_LIST) {}

bool QuarantinePage::OnInitDialog()
{
    ChildPage::OnInitDialog();
    SetUpList(List(),
              {{IDS_COL_ORIGIN, kColumnWidth, ListColumn::Fill}, {IDS_COL_QUARANTINE, kColumnWidth, ListColumn::Fill}});

    AttachPageButton(refreshButton_, Handle(), IDC_FIRST_BUTTON, IDB_REFRESH, IDS_TIP_REFRESH_LIST);
    AttachPageButton(restoreButton_, Handle(), IDC_SECOND_BUTTON, IDB_RESTORE, IDS_TIP_RESTORE);
    AttachPageButton(purgeButton_, Handle(), IDC_QUARANTINE_PURGE, IDB_DELETE, IDS_TIP_PURGE);

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
    const int index = InsertListRow(list, ListRowCount(list), Widen(origin));
    if (index >= 0)
        SetListText(list, index, 1, Widen(itemPath));
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
    ClearList(List());

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
    const int selected = SelectedListRow(list);
    const int count = ListRowCount(list);
    EnableButtons(false);

    if (count == 0) {
        ShowMessage(Handle(), IDS_NOTHING_FOUND);
    } else if (selected < 0) {
        ShowMessage(Handle(), IDS_SELECT_FILE);
    } else {
        // The prefix and the origin are joined as they are, without a separator.
        const std::wstring shownOrigin = ListText(list, selected, 0);
        const std::wstring question = LoadText(IDS_RESTORE_PREFIX) + shownOrigin + L"?";
        if (ShowMessage(Handle(), question, MB_OKCANCEL) == IDOK) {
            const std::string itemPath = ItemPathOfRow(list, selected);
            if (!ItemFileExists(itemPath)) {
                ShowMessage(Handle(), IDS_ITEM_MISSING);
            } else {
                // Only the origin the user agreed to: an item changed since
                // the list was read is refused.
                switch (RestoreQuarantineItem(itemPath.c_str(), Narrow(shownOrigin).c_str())) {
                case RestoreToOrigin:
                    ShowMessage(Handle(), IDS_RESTORE_DONE);
                    break;
                case RestoreToDesktop:
                    ShowMessage(Handle(), IDS_RESTORE_DESKTOP);
                    break;
                case RestoreFailed:
                    // Nothing was written (both places taken, the item
                    // unreadable, changed or with an origin no restore may
                    // write to): say so, rather than "файл был восстановлен".
                    ShowMessage(Handle(), IDS_RESTORE_FAILED);
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

    const int count = ListRowCount(list);
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
