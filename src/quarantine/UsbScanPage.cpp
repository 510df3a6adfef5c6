#include "quarantine/UsbScanPage.h"

#include "controls/CounterFont.h"
#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"
#include "usb/DriveDiscovery.h"

#include <commctrl.h>

#include <vector>

namespace {

constexpr int kPathColumnWidth = 600;
constexpr int kStateColumnWidth = 135;

// Found rows travel to the list in small batches, each inserted with the
// list's redraw off: one message and one repaint per row cost about 0.4 ms a
// row under Wine, a batch about 0.05 ms a row, and the list still fills while
// the scan runs. A row waits until the batch is full, or until a folder ends
// this long after the row was found.
constexpr size_t kRowBatchSize = 64;
constexpr DWORD kRowBatchMilliseconds = 30;

// The page's own messages: the only way its workers act on the page. All are
// sent, so a worker goes on only once the UI thread has done the work, and
// pointers in lParam stay valid meanwhile.
constexpr UINT kBusyMessage = WM_APP + 1;         // wParam: TRUE disables scan, delete and delete all; FALSE enables them
constexpr UINT kScanBeginMessage = WM_APP + 2;    // plays the animation and empties the list
constexpr UINT kRowsFoundMessage = WM_APP + 3;    // wParam: index of the first row; lParam: const FoundRows*
constexpr UINT kScanEndMessage = WM_APP + 4;      // wParam: rows listed; closes the animation, sets the label
constexpr UINT kRowCountMessage = WM_APP + 5;     // returns the number of rows
constexpr UINT kRowPathMessage = WM_APP + 6;      // wParam: row; lParam: std::string* to fill; returns TRUE when the row exists
constexpr UINT kRowStateMessage = WM_APP + 7;     // wParam: row; lParam: string id of the state

using FoundRows = std::vector<std::pair<std::string, ListedAs>>;

bool FileExists(const std::string& path)
{
    // The answer's length alone tells whether the file was found; the buffer
    // need not hold it.
    char found[kStorePathSize];
    return SearchPathA(nullptr, path.c_str(), nullptr, sizeof found, found, nullptr) != 0;
}

// Deletes one listed file through the quarantine; the state string of its row.
// `waitOwner`, when set, is shown "Ожидайте" before an existing file's work.
UINT DeleteListedFile(const std::string& path, HWND waitOwner)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!FileExists(path))
        return IDS_DELETED;
    if (waitOwner)
        ShowMessage(waitOwner, IDS_WAIT);
    if (QuarantineFile(path.c_str()))
        return IDS_DELETED;
    // The file stays, as it was found: left visible, a hidden program would
    // no longer be listed by the next scan. Paths the store cannot hold (256
    // bytes and longer) end here too.
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path.c_str(), attributes);
    return IDS_DELETE_ERROR;
}

std::wstring CounterText(int listed)
{
    if (listed <= 0)
        return LoadText(IDS_NO_THREATS);
    std::wstring text = LoadText(IDS_THREATS_FOUND);
    const size_t field = text.find(L"%d");
    if (field != std::wstring::npos)
        text.replace(field, 2, std::to_wstring(listed));
    return text;
}

}  // namespace

UsbScanPage::UsbScanPage() : ChildPage(IDD_USB_SCAN_PAGE, IDC_SCAN_LIST), link_(std::make_shared<WorkerLink>()) {}

UsbScanPage::~UsbScanPage()
{
    // A scan still running ends at its next entry; its messages to the
    // destroyed window fail, and it holds its own reference to the link.
    link_->scanning.store(0);
    Destroy();
    if (counterFont_)
        DeleteObject(counterFont_);
}

bool UsbScanPage::IsScanning() const
{
    return link_->scanning.load() != 0;
}

bool UsbScanPage::OnInitDialog()
{
    ChildPage::OnInitDialog();
    link_->page = Handle();
    suspiciousText_ = LoadText(IDS_SUSPICIOUS);
    wormShortcutText_ = LoadText(IDS_WORM_SHORTCUT);
    wormFileText_ = LoadText(IDS_WORM_FILE);

    SetUpList(List(), {{IDS_COL_FILE, kPathColumnWidth, ListColumn::Fill}, {IDS_COL_SCAN_STATE, kStateColumnWidth}});

    AttachPageButton(scanButton_, Handle(), IDC_SCAN_START, IDB_SCAN);
    AttachPageButton(stopButton_, Handle(), IDC_THREAT_LIST_OR_STOP, IDB_STOP);
    AttachPageButton(deleteButton_, Handle(), IDC_SCAN_DELETE, IDB_DELETE);
    AttachPageButton(deleteAllButton_, Handle(), IDC_SCAN_DELETE_ALL, IDB_DELETE);

    counterFont_ = CreateCounterFont(Dpi());
    SendItemMessage(IDC_SCAN_COUNTER, WM_SETFONT, reinterpret_cast<WPARAM>(counterFont_), TRUE);
    return true;
}

bool UsbScanPage::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_SCAN_START:
        StartScan();
        return true;
    case IDC_THREAT_LIST_OR_STOP:
        StopScan();
        return true;
    case IDC_SCAN_DELETE:
        DeleteSelectedFile();
        return true;
    case IDC_SCAN_DELETE_ALL:
        DeleteAllFiles();
        return true;
    default:
        return false;
    }
}

// ---- User-interface thread: the commands ----

void UsbScanPage::StartScan()
{
    if (!Handle() || !IsWindowEnabled(Item(IDC_SCAN_START)))
        return;
    // The buttons and the flag are set here rather than by the worker once it
    // runs: a second click, or "Стоп", in between is then not lost.
    SetBusy(true);
    link_->scanning.store(1);
    std::shared_ptr<WorkerLink> link = link_;
    if (!StartWorker([link] { ScanWorker(link); })) {
        link_->scanning.store(0);
        SetBusy(false);
    }
}

void UsbScanPage::StopScan()
{
    link_->scanning.store(0);
}

void UsbScanPage::DeleteSelectedFile()
{
    if (!Handle() || !IsWindowEnabled(Item(IDC_SCAN_DELETE)))
        return;
    const HWND list = List();
    const int selected = SelectedListRow(list);
    const int count = ListRowCount(list);
    EnableItem(IDC_SCAN_START, false);

    if (count == 0) {
        ShowMessage(Handle(), IDS_NO_THREATS);
    } else if (selected < 0) {
        ShowMessage(Handle(), IDS_SELECT_FILE);
    } else {
        const std::wstring shown = ListText(list, selected, 0);
        if (ShowMessage(Handle(), LoadText(IDS_DELETE_PREFIX) + shown + L"?", MB_OKCANCEL) == IDOK)
            SetRowState(selected, DeleteListedFile(Narrow(shown), Handle()));
    }
    EnableItem(IDC_SCAN_START, true);
}

void UsbScanPage::DeleteAllFiles()
{
    if (!Handle() || !IsWindowEnabled(Item(IDC_SCAN_DELETE_ALL)))
        return;
    if (RowCount() == 0) {
        ShowMessage(Handle(), IDS_NO_THREATS);
        return;
    }
    if (ShowMessage(Handle(), IDS_DELETE_ALL_QUESTION, MB_OKCANCEL) != IDOK)
        return;
    // Disabled at once, so that nothing starts between the answer and the worker.
    SetBusy(true);
    std::shared_ptr<WorkerLink> link = link_;
    if (!StartWorker([link] { DeleteAllFilesWorker(link); }))
        SetBusy(false);
}

// ---- User-interface thread: the workers' messages ----

bool UsbScanPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (msg) {
    case kBusyMessage:
        SetBusy(wParam != FALSE);
        return true;
    case kScanBeginMessage:
        BeginScanDisplay();
        return true;
    case kRowsFoundMessage: {
        // One repaint for the batch rather than one per row.
        const HWND list = List();
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        int row = static_cast<int>(wParam);
        for (const auto& found : *reinterpret_cast<const FoundRows*>(lParam))
            AddRow(row++, found.first, found.second);
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, FALSE);
        return true;
    }
    case kScanEndMessage:
        EndScanDisplay(static_cast<int>(wParam));
        return true;
    case kRowCountMessage:
        result = RowCount();
        return true;
    case kRowPathMessage:
        if (static_cast<int>(wParam) < RowCount()) {
            *reinterpret_cast<std::string*>(lParam) = RowPath(static_cast<int>(wParam));
            result = TRUE;
        }
        return true;
    case kRowStateMessage:
        SetRowState(static_cast<int>(wParam), static_cast<UINT>(lParam));
        return true;
    default:
        return false;
    }
}

void UsbScanPage::SetBusy(bool busy) const
{
    EnableItem(IDC_SCAN_START, !busy);
    EnableItem(IDC_SCAN_DELETE, !busy);
    EnableItem(IDC_SCAN_DELETE_ALL, !busy);
}

void UsbScanPage::BeginScanDisplay() const
{
    const HWND animation = Item(IDC_SCAN_ANIMATION);
    SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                 reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_AVI_SCAN)));
    // Every frame, first to last, repeated without end.
    SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    ClearList(List());
}

void UsbScanPage::AddRow(int row, const std::string& path, ListedAs as) const
{
    const HWND list = List();
    const int index = InsertListRow(list, row, Widen(path));
    if (index >= 0) {
        SetListText(list, index, 1,
                    as == ListedAs::WormShortcut ? wormShortcutText_
                    : as == ListedAs::WormFile   ? wormFileText_
                                                 : suspiciousText_);
    }
}

void UsbScanPage::EndScanDisplay(int listed) const
{
    const HWND animation = Item(IDC_SCAN_ANIMATION);
    SendMessageW(animation, ACM_STOP, 0, 0);
    SendMessageW(animation, ACM_OPENW, 0, 0);
    SetItemText(IDC_SCAN_COUNTER, CounterText(listed));
}

std::string UsbScanPage::RowPath(int row) const
{
    return Narrow(ListText(List(), row, 0));
}

void UsbScanPage::SetRowState(int row, UINT stringId) const
{
    SetListText(List(), row, 1, LoadText(stringId));
}

// ---- Worker threads ----

void UsbScanPage::ScanWorker(const std::shared_ptr<WorkerLink>& link)
{
    const HWND page = link->page;
    SendMessageW(page, kBusyMessage, TRUE, 0);

    char letters[kDriveListSize] = {};
    const int drives = GetUsbDriveLetters(letters);
    int listed = 0;
    if (drives == 0) {
        // The rows of the previous scan stay.
        ShowMessage(page, IDS_NO_USB_DRIVE);
    } else {
        SendMessageW(page, kScanBeginMessage, 0, 0);
        FoundRows batch;
        DWORD batchStart = 0;
        auto flush = [&] {
            SendMessageW(page, kRowsFoundMessage, static_cast<WPARAM>(listed), reinterpret_cast<LPARAM>(&batch));
            listed += static_cast<int>(batch.size());
            batch.clear();
        };
        auto due = [&] { return !batch.empty() && GetTickCount() - batchStart >= kRowBatchMilliseconds; };
        for (int k = 0; k < drives; ++k) {
            WalkForSuspiciousFiles(
                std::string(1, letters[k]) + ":", link->scanning,
                [&](const std::string& path, ListedAs as) {
                    if (batch.empty())
                        batchStart = GetTickCount();
                    batch.emplace_back(path, as);
                    if (batch.size() >= kRowBatchSize || due())
                        flush();
                },
                [&] {
                    if (due())
                        flush();
                });
            if (!batch.empty())
                flush();
        }
    }
    SendMessageW(page, kScanEndMessage, static_cast<WPARAM>(listed), 0);
    link->scanning.store(0);
    SendMessageW(page, kBusyMessage, FALSE, 0);
}

void UsbScanPage::DeleteAllFilesWorker(const std::shared_ptr<WorkerLink>& link)
{
    const HWND page = link->page;
    const int rows = static_cast<int>(SendMessageW(page, kRowCountMessage, 0, 0));
    SendMessageW(page, kBusyMessage, TRUE, 0);
    ShowMessage(page, IDS_WAIT);
    for (int row = 0; row < rows; ++row) {
        std::string path;
        if (!SendMessageW(page, kRowPathMessage, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&path)))
            continue;
        const UINT state = DeleteListedFile(path, nullptr);
        SendMessageW(page, kRowStateMessage, static_cast<WPARAM>(row), static_cast<LPARAM>(state));
    }
    SendMessageW(page, kBusyMessage, FALSE, 0);
}
