#include "usb/UsbProtectionPage.h"

#include "app/AppMessages.h"
#include "controls/CounterFont.h"
#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"
#include "usb/DriveDiscovery.h"
#include "usb/DriveRestore.h"
#include "usb/ThreatClassifier.h"
#include "usb/WormLayout.h"

#include <cwchar>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Sent by the workers; carried out on the user-interface thread.
constexpr UINT kEnableButtonsMessage = WM_APP + 1;  // wParam: enable
constexpr UINT kWorkerDoneMessage = WM_APP + 2;

// What a row stands for (its item data). A restore lists the user's own
// entries too, which no delete may touch; a file of a disguised recycle bin
// takes the bin with it once it is empty.
constexpr LPARAM kThreatRow = 0;
constexpr LPARAM kUsersEntryRow = 1;
constexpr LPARAM kWormFolderRow = 2;

// Created by the page itself, below the list beside the delete buttons.
constexpr int kWormNoticeId = 1090;
constexpr COLORREF kNoticeColour = RGB(170, 0, 0);

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// The root scan's own rule for a root file: every .inf file, and any other
// type the classifier knows when the file is hidden. Classified by the ANSI
// path as the classifier reads paths, converted without a heap copy: the
// scan meets every entry of the root.
bool IsRootThreat(wchar_t letter, const WIN32_FIND_DATAW& entry)
{
    char path[4 + 2 * MAX_PATH] = {static_cast<char>(letter), ':', '\\'};
    if (WideCharToMultiByte(CP_ACP, 0, entry.cFileName, -1, path + 3, static_cast<int>(sizeof path) - 3, nullptr,
                            nullptr) <= 0)
        return false;
    const int code = ClassifyFileName(path);
    return code == kTypeInf || (code != kTypeNone && (entry.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN));
}

// After a file of a disguised recycle bin went into quarantine: the bin
// goes too once nothing is left in it.
void RemoveEmptiedBin(const std::wstring& file)
{
    const size_t separator = file.find(L'\\', 3);
    if (separator != std::wstring::npos && file.size() > 3 && file[2] == L'\\')
        RemoveEmptiedFolders(file.substr(0, separator));
}

// Clears the file's attributes and moves it into quarantine. A file that is
// gone already counts as deleted, unless its drive went with it.
bool DeleteIntoQuarantine(const std::wstring& path, HWND owner, bool sayWait)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return false;
        const std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
        return GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (sayWait)
        ShowMessage(owner, IDS_WAIT, MB_OK);
    const std::string storePath = StorePathOf(path);
    if (!storePath.empty() && QuarantineFile(storePath.c_str()))
        return true;
    // The file stays: it keeps its attributes too, so a hidden threat that
    // could not be deleted is still found by the next scan.
    SetFileAttributesW(path.c_str(), attributes);
    return false;
}

// The restore's closing message.
std::wstring RestoreSummary(int restored, int quarantined, int failed)
{
    if (restored + quarantined + failed == 0)
        return LoadText(IDS_NOTHING_TO_RESTORE);
    wchar_t text[512];
    std::swprintf(text, 512, LoadText(IDS_DRIVES_RESTORED).c_str(), restored, quarantined);
    std::wstring summary = text;
    if (failed > 0) {
        std::swprintf(text, 512, LoadText(IDS_RESTORE_DRIVES_FAILURES).c_str(), failed);
        summary += text;
    }
    return summary;
}

}  // namespace

UsbProtectionPage::UsbProtectionPage() : ChildPage(IDD_USB_PROTECTION_PAGE, IDC_THREAT_LIST_OR_STOP) {}

UsbProtectionPage::~UsbProtectionPage()
{
    if (counterFont_)
        DeleteObject(counterFont_);
}

bool UsbProtectionPage::OnInitDialog()
{
    counterFont_ = CreateCounterFont(Dpi());
    SendItemMessage(IDC_USB_COUNTER, WM_SETFONT, reinterpret_cast<WPARAM>(counterFont_), TRUE);

    SetUpList(List(), {{IDS_COL_THREAT, 600, ListColumn::Fill}, {IDS_COL_STATE, 135}});

    AttachPageButton(deleteButton_, Handle(), IDC_FIRST_BUTTON, IDB_DELETE);
    AttachPageButton(deleteAllButton_, Handle(), IDC_USB_DELETE_ALL, IDB_DELETE);
    pictureButton_.Attach(Handle(), IDC_SECOND_BUTTON);
    pictureButton_.SetBitmaps(IDB_USB_DRIVE, kWhite);
    pictureButton_.DrawBorder(false);
    pictureButton_.SetCursor(IDCUR_HAND);
    pictureButton_.SetTooltip(LoadText(IDS_TIP_RESTORE_DRIVES));

    // The worm's notice: in the free space left of the delete buttons.
    RECT area = {5, 113, 223, 144};
    MapDialogRect(Handle(), &area);
    notice_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, area.left, area.top,
                              area.right - area.left, area.bottom - area.top, Handle(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kWormNoticeId)), GetModuleHandleW(nullptr),
                              nullptr);
    SendMessageW(notice_, WM_SETFONT, static_cast<WPARAM>(Send(WM_GETFONT)), FALSE);
    return true;
}

bool UsbProtectionPage::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDC_FIRST_BUTTON:
        DeleteSelectedThreat();
        return true;
    case IDC_USB_DELETE_ALL:
        DeleteAllThreats();
        return true;
    case IDC_SECOND_BUTTON:
        RestoreUsbDrives();
        return true;
    default:
        return false;
    }
}

bool UsbProtectionPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        if (notice_ == nullptr || reinterpret_cast<HWND>(lParam) != notice_)
            return false;
        SetTextColor(reinterpret_cast<HDC>(wParam), kNoticeColour);
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_3DFACE));
        return true;
    case kEnableButtonsMessage:
        for (int id : {IDC_FIRST_BUTTON, IDC_USB_DELETE_ALL, IDC_SECOND_BUTTON})
            EnableItem(id, wParam != 0);
        result = 0;
        return true;
    case kWorkerDoneMessage:
        listBusy_ = false;
        if (rescanPending_) {
            rescanPending_ = false;
            PostToWindow(GetParent(Handle()), kRescanUsbDrivesMessage);
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

void UsbProtectionPage::ClearThreats()
{
    ClearList(List());
    ShowWormNotice(std::wstring());
}

std::wstring UsbProtectionPage::WormNotice() const
{
    // Its own visibility: the page itself may be hidden behind another.
    const bool shown = notice_ && (GetWindowLongPtrW(notice_, GWL_STYLE) & WS_VISIBLE);
    return shown ? ItemText(kWormNoticeId) : std::wstring();
}

void UsbProtectionPage::ShowWormNotice(const std::wstring& drives)
{
    if (!notice_)
        return;
    if (drives.empty()) {
        ShowWindow(notice_, SW_HIDE);
        return;
    }
    // One drive, or several separated by commas.
    const bool several = drives.find(L',') != std::wstring::npos;
    std::wstring text = LoadText(several ? IDS_WORM_NOTICE_DRIVES : IDS_WORM_NOTICE);
    const size_t field = text.find(L"%s");
    if (field != std::wstring::npos)
        text.replace(field, 2, drives);
    SetWindowTextW(notice_, text.c_str());
    ShowWindow(notice_, SW_SHOW);
}

void UsbProtectionPage::AddRow(int row, const std::wstring& path, const std::wstring& state, LPARAM kind)
{
    const int inserted = InsertListRow(List(), row, path, kind);
    if (inserted >= 0)
        SetListText(List(), inserted, 1, state);
}

void UsbProtectionPage::ScanDriveRoots(const char* letters, int count)
{
    if (!letters || count <= 0)
        return;
    EnableItem(IDC_FIRST_BUTTON, false);
    EnableItem(IDC_USB_DELETE_ALL, false);

    int row = 0;
    const std::wstring risk = LoadText(IDS_RISK);
    const std::wstring wormShortcut = LoadText(IDS_WORM_SHORTCUT);
    const std::wstring wormFile = LoadText(IDS_WORM_FILE);
    std::wstring patternDrives;
    // The rows come with one repaint at the end instead of one each; a scan
    // that lists nothing repaints nothing.
    auto addRow = [&](const std::wstring& path, const std::wstring& state, LPARAM kind) {
        if (row == 0)
            SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
        AddRow(row++, path, state, kind);
    };
    for (int k = 0; k < count; ++k) {
        const wchar_t letter = static_cast<wchar_t>(letters[k]);
        const std::wstring root = std::wstring(1, letter) + L":\\";
        // Wide, so that a name outside the ANSI code page is listed as it is
        // and not as question marks that name no file.
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((root + L"*.*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        // The root scan's rows come first, as they always did; the worm's
        // follow once the whole root is known.
        std::vector<std::wstring> listed;
        std::vector<RootEntry> entries;
        do {
            if (MattersToWormLayout(entry.cFileName, entry.dwFileAttributes))
                entries.push_back({entry.cFileName, entry.dwFileAttributes});
            // The search already holds the entry's attributes, so classifying
            // costs no file-system query: directories are never threats.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsRootThreat(letter, entry)) {
                // Long names are fine: the path is as long as it needs to be.
                listed.push_back(root + entry.cFileName);
                addRow(listed.back(), risk, kThreatRow);
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
        if (entries.empty())
            continue;

        const WormLayout layout = ReadWormLayout(letter, entries);
        auto add = [&](const std::wstring& path, const std::wstring& state, LPARAM kind) {
            for (const std::wstring& known : listed) {
                if (SamePath(known, path))
                    return;
            }
            listed.push_back(path);
            addRow(path, state, kind);
        };
        for (const std::wstring& path : layout.decoys)
            add(path, wormShortcut, kThreatRow);
        for (const std::wstring& path : layout.folderFiles)
            add(path, wormFile, kWormFolderRow);
        for (const std::wstring& path : layout.namedFiles)
            add(path, wormFile, kThreatRow);
        if (layout.ShowsWormPattern())
            patternDrives += (patternDrives.empty() ? L"" : L", ") + root.substr(0, 2);
    }
    if (row > 0) {
        SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
        InvalidateRect(List(), nullptr, TRUE);
    }

    std::wstring label = LoadText(IDS_NO_THREATS);
    if (row > 0) {
        wchar_t text[128];
        std::swprintf(text, 128, LoadText(IDS_THREATS_FOUND).c_str(), row);
        label = text;
    }
    SetItemText(IDC_USB_COUNTER, label);
    ShowWormNotice(patternDrives);
    EnableItem(IDC_FIRST_BUTTON, true);
    EnableItem(IDC_USB_DELETE_ALL, true);
}

void UsbProtectionPage::DeleteSelectedThreat()
{
    const HWND list = List();
    const int selected = SelectedListRow(list);
    if (ListRowCount(list) == 0) {
        ShowMessage(Handle(), IDS_NO_THREATS, MB_OK);
        return;
    }
    if (selected < 0) {
        ShowMessage(Handle(), IDS_SELECT_FILE, MB_OK);
        return;
    }
    const LPARAM kind = ListRowData(list, selected);
    if (kind == kUsersEntryRow) {
        ShowMessage(Handle(), IDS_NOT_A_THREAT, MB_OK);
        return;
    }
    const std::wstring path = ListText(list, selected, 0);
    if (ShowMessage(Handle(), LoadText(IDS_DELETE_PREFIX) + path + L"?", MB_OKCANCEL) != IDOK)
        return;
    const bool deleted = DeleteIntoQuarantine(path, Handle(), true);
    if (deleted && kind == kWormFolderRow)
        RemoveEmptiedBin(path);
    SetListText(list, selected, 1, LoadText(deleted ? IDS_DELETED : IDS_DELETE_ERROR));
}

void UsbProtectionPage::DeleteAllThreats()
{
    if (listBusy_)
        return;
    if (RowCount() == 0) {
        ShowMessage(Handle(), IDS_NO_THREATS, MB_OK);
        return;
    }
    if (ShowMessage(Handle(), IDS_DELETE_ALL_QUESTION, MB_OKCANCEL) != IDOK)
        return;
    StartListWorker(DeleteAllThreatsWorker);
}

void UsbProtectionPage::RestoreUsbDrives()
{
    if (listBusy_)
        return;
    char letters[kDriveListSize] = {};
    const int count = GetUsbDriveLetters(letters);
    if (count == 0) {
        ShowMessage(Handle(), IDS_NO_USB_DRIVE, MB_OK);
        return;
    }
    if (ShowMessage(Handle(), IDS_RESTORE_DRIVES_QUESTION, MB_OKCANCEL) != IDOK)
        return;
    restoreLetters_.assign(letters, static_cast<size_t>(count));
    StartListWorker(RestoreUsbDrivesWorker);
}

void UsbProtectionPage::StartListWorker(DWORD(WINAPI* worker)(void* page))
{
    // Disabled before the worker exists, so that no second click can start
    // another one on the same list.
    Send(kEnableButtonsMessage, FALSE);
    listBusy_ = true;
    if (!StartWorkerThread(worker, this)) {
        listBusy_ = false;
        Send(kEnableButtonsMessage, TRUE);
    }
}

DWORD WINAPI UsbProtectionPage::DeleteAllThreatsWorker(void* argument)
{
    // Runs on its own thread: the page's window and its list are reached only
    // through messages (the list helpers do nothing else).
    auto* page = static_cast<UsbProtectionPage*>(argument);
    const HWND window = page->Handle();
    const HWND list = page->List();

    const int rows = ListRowCount(list);
    ShowMessage(window, IDS_WAIT, MB_OK);
    for (int row = 0; row < rows; ++row) {
        const LPARAM kind = ListRowData(list, row);
        if (kind == kUsersEntryRow)
            continue;
        const std::wstring path = ListText(list, row, 0);
        const bool deleted = DeleteIntoQuarantine(path, window, false);
        if (deleted && kind == kWormFolderRow)
            RemoveEmptiedBin(path);
        SetListText(list, row, 1, LoadText(deleted ? IDS_DELETED : IDS_DELETE_ERROR));
    }
    SendMessageW(window, kEnableButtonsMessage, TRUE, 0);
    ShowMessage(window, IDS_REATTACH_DRIVE, MB_OK);
    PostToWindow(window, kWorkerDoneMessage);
    return 0;
}

DWORD WINAPI UsbProtectionPage::RestoreUsbDrivesWorker(void* argument)
{
    // As delete all: the page and its list are reached only through messages.
    auto* page = static_cast<UsbProtectionPage*>(argument);
    const HWND window = page->Handle();

    int restored = 0;
    int quarantined = 0;
    int failed = 0;
    const int firstRow = ListRowCount(page->List());
    for (const char letter : page->restoreLetters_) {
        for (const RestoreStep& step : PlanDriveRestore(static_cast<wchar_t>(letter))) {
            const bool decoy = step.action == RestoreStep::QuarantineDecoy;
            const bool done = CarryOutRestoreStep(step);
            if (!done)
                ++failed;
            else if (decoy)
                ++quarantined;
            else
                ++restored;
            const UINT state = !done ? IDS_DELETE_ERROR : decoy ? IDS_DELETED : IDS_RESTORED;
            page->AddRow(ListRowCount(page->List()), step.path, LoadText(state),
                         decoy ? kThreatRow : kUsersEntryRow);
        }
    }

    // The restore's rows follow the scan's, perhaps below the visible ones.
    ScrollListTo(page->List(), firstRow);
    SendMessageW(window, kEnableButtonsMessage, TRUE, 0);
    ShowMessage(window, RestoreSummary(restored, quarantined, failed), MB_OK);
    PostToWindow(window, kWorkerDoneMessage);
    return 0;
}
