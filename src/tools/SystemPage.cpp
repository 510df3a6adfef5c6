#include "tools/SystemPage.h"

#include "app/MainWindow.h"
#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "res/resource.h"
#include "tools/DiskCleanup.h"
#include "tools/RegistryRepair.h"

#include <commctrl.h>

#include <iterator>
#include <utility>

namespace {

constexpr int kContentColumnWidth = 500;
constexpr int kStateColumnWidth = 235;

// Rows leave a worker in batches: one message and one repaint per row would
// cost the cleanup more than deleting the file does. A row waits until its
// batch is full, until a batch is this old when the next row comes, or until
// the step that found it ends.
constexpr size_t kRowBatchSize = 64;
constexpr DWORD kRowBatchMilliseconds = 30;

// The page's own messages, all posted by its workers and carried out by the
// user-interface thread in the order posted.
constexpr UINT kBeginMessage = WM_APP + 1;         // empties the list; wParam TRUE plays the cleanup animation
constexpr UINT kRowsMessage = WM_APP + 2;          // rows are waiting in the link
constexpr UINT kEndMessage = WM_APP + 3;           // adds what still waits, closes the animation, enables both
                                                   // buttons; wParam TRUE when nothing of the run follows
constexpr UINT kCleanupDoneMessage = WM_APP + 4;   // "Очистка завершена"; the run is over

}  // namespace

SystemPage::SystemPage()
    : ChildPage(IDD_SYSTEM_PAGE, IDC_DELETE_OR_RESULT_LIST), link_(std::make_shared<WorkerLink>())
{
}

SystemPage::~SystemPage()
{
    Destroy();
}

void SystemPage::SetCleanupFolders(std::vector<std::wstring> folders)
{
    cleanupFolders_ = std::move(folders);
}

bool SystemPage::IsBusy() const
{
    return busy_;
}

bool SystemPage::OnInitDialog()
{
    ChildPage::OnInitDialog();
    link_->page = Handle();
    AttachPageButton(registryButton_, Handle(), IDC_FIRST_BUTTON, IDB_REGISTRY, IDS_TIP_REGISTRY);
    AttachPageButton(diskButton_, Handle(), IDC_SECOND_BUTTON, IDB_DISK, IDS_TIP_DISK);
    SetUpList(List(), {{IDS_COL_CONTENT, kContentColumnWidth, ListColumn::Fill}, {IDS_COL_RESULT, kStateColumnWidth}});
    return true;
}

bool SystemPage::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_FIRST_BUTTON:
        RepairRegistry();
        return true;
    case IDC_SECOND_BUTTON:
        CleanDisk();
        return true;
    default:
        return false;
    }
}

// ---- User-interface thread: the commands ----

void SystemPage::RepairRegistry()
{
    std::shared_ptr<WorkerLink> link = link_;
    StartCommand(IDS_REGISTRY_QUESTION, [link] { RegistryRepairThread(link); });
}

void SystemPage::CleanDisk()
{
    std::shared_ptr<WorkerLink> link = link_;
    std::optional<std::vector<std::wstring>> folders = cleanupFolders_;
    StartCommand(IDS_DISK_QUESTION, [link, folders] { DiskCleanupThread(link, folders); });
}

void SystemPage::StartCommand(UINT question, std::function<void()> work)
{
    if (!Handle() || busy_)
        return;
    if (ShowMessage(Handle(), question, MB_OKCANCEL) != IDOK)
        return;
    // Disabled here rather than by the worker once it runs, so that no second
    // click gets in between.
    busy_ = true;
    SetButtonsEnabled(false);
    if (!StartWorker(std::move(work))) {
        busy_ = false;
        SetButtonsEnabled(true);
    }
}

// ---- User-interface thread: the workers' messages ----

bool SystemPage::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (msg) {
    case kBeginMessage:
        BeginRun(wParam != FALSE);
        break;
    case kRowsMessage:
        AddWaitingRows();
        break;
    case kEndMessage:
        EndRun(wParam != FALSE);
        break;
    case kCleanupDoneMessage:
        // Only after the run's end and the window's coming forward, which
        // were posted before: the message then shows over the system page.
        busy_ = false;
        ShowMessage(Handle(), IDS_DISK_DONE);
        break;
    default:
        return false;
    }
    result = 0;
    return true;
}

void SystemPage::SetButtonsEnabled(bool enabled) const
{
    EnableItem(IDC_SECOND_BUTTON, enabled);
    EnableItem(IDC_FIRST_BUTTON, enabled);
}

void SystemPage::BeginRun(bool animate)
{
    if (animate) {
        const HWND animation = Item(IDC_SYSTEM_ANIMATION);
        SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_AVI_CLEANUP)));
        // Every frame, first to last, repeated without end.
        SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));
    }
    ClearList(List());
}

void SystemPage::AddWaitingRows()
{
    std::vector<Row> rows;
    {
        std::lock_guard<std::mutex> lock(link_->mutex);
        rows.swap(link_->waiting);
    }
    if (rows.empty())
        return;
    // One repaint for the batch rather than one per row.
    const HWND list = List();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    for (const Row& row : rows) {
        const int index = InsertListRow(list, ListRowCount(list), row.content);
        if (index >= 0)
            SetListText(list, index, 1, TextOf(row.state));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, FALSE);
}

void SystemPage::EndRun(bool last)
{
    AddWaitingRows();
    const HWND animation = Item(IDC_SYSTEM_ANIMATION);
    SendMessageW(animation, ACM_STOP, 0, 0);
    SendMessageW(animation, ACM_OPENW, 0, 0);
    SetButtonsEnabled(true);
    if (last)
        busy_ = false;
}

const std::wstring& SystemPage::TextOf(UINT id)
{
    auto found = texts_.find(id);
    if (found == texts_.end())
        found = texts_.emplace(id, LoadText(id)).first;
    return found->second;
}

// ---- Worker threads ----

// A worker's rows on their way to the list: gathered here, then handed to the
// page in batches through the link's queue. The page is told only when the
// queue was empty; otherwise a message that will take the rows is on its way.
class SystemPage::RowBatch {
public:
    explicit RowBatch(WorkerLink& link) : link_(link) {}
    ~RowBatch() { Flush(); }
    RowBatch(const RowBatch&) = delete;
    RowBatch& operator=(const RowBatch&) = delete;

    void Add(std::wstring content, UINT state)
    {
        if (rows_.empty())
            started_ = GetTickCount();
        rows_.push_back(Row{std::move(content), state});
        if (rows_.size() >= kRowBatchSize || GetTickCount() - started_ >= kRowBatchMilliseconds)
            Flush();
    }

    void Flush()
    {
        if (rows_.empty())
            return;
        bool wasEmpty;
        {
            std::lock_guard<std::mutex> lock(link_.mutex);
            wasEmpty = link_.waiting.empty();
            link_.waiting.insert(link_.waiting.end(), std::make_move_iterator(rows_.begin()),
                                 std::make_move_iterator(rows_.end()));
        }
        rows_.clear();
        if (wasEmpty)
            PostToWindow(link_.page, kRowsMessage);
    }

private:
    WorkerLink& link_;
    std::vector<Row> rows_;
    DWORD started_ = 0;
};

void SystemPage::RegistryRepairThread(const std::shared_ptr<WorkerLink>& link)
{
    const HWND page = link->page;
    PostToWindow(page, kBeginMessage, FALSE);
    RowBatch rows(*link);
    const bool repaired =
        RunRegistryRepair([&](const std::string& location, UINT label) { rows.Add(Widen(location), label); });
    rows.Flush();
    if (!repaired)
        ShowMessage(page, IDS_REGISTRY_ACCESS_FAILED);
    PostToWindow(page, kEndMessage, TRUE);
}

void SystemPage::DiskCleanupThread(const std::shared_ptr<WorkerLink>& link,
                                   std::optional<std::vector<std::wstring>> folders)
{
    const HWND page = link->page;
    PostToWindow(page, kBeginMessage, TRUE);
    RowBatch rows(*link);
    const CleanupReport report = [&](const std::wstring& shown, UINT result) { rows.Add(shown, result); };

    for (const std::wstring& folder : folders ? *folders : DefaultCleanupFolders()) {
        DeleteFolderFiles(folder, report);
        rows.Flush();
    }
    PurgeUrlCache(report);
    rows.Flush();
    EmptyRecycleBin();

    PostToWindow(page, kEndMessage, FALSE);
    // The main window's pages belong to the user-interface thread: the
    // request is carried out there, before the page's last message below.
    MainWindow::RequestForwardPage(MainWindow::kSystemPage);
    PostToWindow(page, kCleanupDoneMessage);
}
