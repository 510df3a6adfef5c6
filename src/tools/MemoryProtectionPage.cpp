#include "tools/MemoryProtectionPage.h"

#include "app/MainWindow.h"
#include "controls/CounterFont.h"
#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"

#include <commctrl.h>
#include <process.h>

#include <utility>

namespace {

// Posted by the monitor thread when a pass's result waits in the page.
constexpr UINT kMonitorPassMessage = WM_APP + 1;

// What a delete needs of the chosen process: ending it and waiting for its
// end. OpenListedProcess adds what it needs to tell the process apart.
constexpr DWORD kEndAccess = PROCESS_TERMINATE | SYNCHRONIZE;
// An ended process lets go of its executable file only once it has gone.
constexpr DWORD kProcessEndWait = 5000;

UINT LabelText(RiskLabel label)
{
    return label == RiskLabel::Risk ? IDS_RISK : IDS_SUSPICIOUS;
}

bool SameProcess(const ListedProcess& a, const ListedProcess& b)
{
    return a.id == b.id && a.created == b.created;
}

}  // namespace

MemoryProtectionPage::MemoryProtectionPage(MonitorTiming timing)
    : ChildPage(IDD_MEMORY_PROTECTION_PAGE, IDC_MEMORY_LIST), timing_(timing)
{
}

MemoryProtectionPage::~MemoryProtectionPage()
{
    StopMonitor();
    Destroy();
    if (statusFont_)
        DeleteObject(statusFont_);
}

const ListedProcess* MemoryProtectionPage::RowProcess(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= processIdTable_.size())
        return nullptr;
    return &processIdTable_[static_cast<size_t>(row)];
}

bool MemoryProtectionPage::OnInitDialog()
{
    ChildPage::OnInitDialog();

    statusFont_ = CreateCounterFont(Dpi());
    SendItemMessage(IDC_MEMORY_STATUS, WM_SETFONT, reinterpret_cast<WPARAM>(statusFont_), TRUE);

    SetUpList(List(), {{IDS_COL_PROCESS, 200}, {IDS_COL_SAFETY, 120}, {IDS_COL_PATH, 500, ListColumn::Fill}});

    AttachPageButton(deleteButton_, Handle(), IDC_SECOND_BUTTON, IDB_DELETE);

    stopMonitor_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (stopMonitor_) {
        const uintptr_t thread = _beginthreadex(nullptr, 0, ProcessMonitorThread, this, 0, nullptr);
        monitorThread_ = reinterpret_cast<HANDLE>(thread);
    }
    return true;
}

bool MemoryProtectionPage::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDC_FIRST_BUTTON:
        RefreshProcessList();
        return true;
    case IDC_SECOND_BUTTON:
        DeleteProcess();
        return true;
    default:
        return false;
    }
}

bool MemoryProtectionPage::OnMessage(UINT msg, WPARAM, LPARAM, LRESULT& result)
{
    if (msg != kMonitorPassMessage)
        return false;
    ShowLatestPass();
    result = 0;
    return true;
}

void MemoryProtectionPage::OnDestroy()
{
    StopMonitor();
}

void MemoryProtectionPage::StopMonitor()
{
    if (monitorThread_) {
        // The monitor only ever posts to this thread and never waits for it,
        // so this wait ends once the monitor has finished at most one pass.
        SetEvent(stopMonitor_);
        WaitForSingleObject(monitorThread_, INFINITE);
        CloseHandle(monitorThread_);
        monitorThread_ = nullptr;
    }
    if (stopMonitor_) {
        CloseHandle(stopMonitor_);
        stopMonitor_ = nullptr;
    }
}

// ---- The monitor thread ----

unsigned __stdcall MemoryProtectionPage::ProcessMonitorThread(void* argument)
{
    auto* page = static_cast<MemoryProtectionPage*>(argument);
    const HWND window = page->Handle();
    ProcessLookupCache lookups;
    size_t previousCount = 0;
    DWORD wait = page->timing_.firstWait;
    while (WaitForSingleObject(page->stopMonitor_, wait) == WAIT_TIMEOUT) {
        const int number = ++page->passesBegun_;
        ProcessIdTable processes = ListRiskyProcesses(ListingRule::Monitor, lookups);
        const size_t count = processes.size();
        // Asked before the rows are handed over: both requests reach the
        // user-interface thread in this order.
        if (count != previousCount && count != 0)
            MainWindow::RequestForwardPage(MainWindow::kMemoryPage);
        previousCount = count;
        {
            std::lock_guard<std::mutex> lock(page->passMutex_);
            page->latestPass_ = std::move(processes);
            page->latestPassNumber_ = number;
            page->passWaiting_ = true;
        }
        PostToWindow(window, kMonitorPassMessage);
        wait = page->timing_.period;
    }
    return 0;
}

// ---- User-interface thread ----

void MemoryProtectionPage::ShowLatestPass()
{
    ProcessIdTable processes;
    int number = 0;
    {
        std::lock_guard<std::mutex> lock(passMutex_);
        if (!passWaiting_)
            return;
        processes.swap(latestPass_);
        number = latestPassNumber_;
        passWaiting_ = false;
    }
    ShowProcesses(std::move(processes));
    passShown_ = number;
}

void MemoryProtectionPage::RefreshProcessList()
{
    ShowProcesses(ListRiskyProcesses(ListingRule::Refresh, refreshLookups_));
}

void MemoryProtectionPage::ShowProcesses(ProcessIdTable processes)
{
    const HWND list = List();
    // A list that has not changed is left alone, with its selection and its
    // scroll position: the monitor rebuilds it every period.
    if (processes != processIdTable_ || static_cast<size_t>(RowCount()) != processIdTable_.size()) {
        // The selection follows its process rather than its row number.
        const ListedProcess* chosen = RowProcess(SelectedListRow(list));
        const bool hadSelection = chosen != nullptr;
        const ListedProcess selected = chosen ? *chosen : ListedProcess();

        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        ClearList(list);
        ProcessIdTable shown;
        shown.reserve(processes.size());
        int selectRow = -1;
        for (ListedProcess& process : processes) {
            const int row = InsertListRow(list, static_cast<int>(shown.size()), Widen(process.name));
            if (row < 0)
                continue;
            SetListText(list, row, 1, LoadText(LabelText(process.label)));
            SetListText(list, row, 2, process.path);
            if (hadSelection && SameProcess(process, selected))
                selectRow = row;
            shown.push_back(std::move(process));
        }
        processIdTable_ = std::move(shown);
        if (selectRow >= 0) {
            LVITEMW state = {};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(selectRow), reinterpret_cast<LPARAM>(&state));
        }
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(list, nullptr, TRUE);
    }
    SetItemText(IDC_MEMORY_STATUS, LoadText(processIdTable_.empty() ? IDS_NO_THREATS : IDS_PC_AT_RISK));
}

void MemoryProtectionPage::DeleteProcess()
{
    const ListedProcess* row = RowProcess(SelectedListRow(List()));
    if (!row) {
        ShowMessage(Handle(), IDS_SELECT_FILE);
        return;
    }
    // A copy: a monitor pass may rebuild the table while the question shows.
    const ListedProcess chosen = *row;
    if (ShowMessage(Handle(), LoadText(IDS_DELETE_PREFIX) + Widen(chosen.name) + L"?", MB_OKCANCEL) != IDOK)
        return;
    switch (EndProcessAndQuarantine(chosen)) {
    case DeleteResult::Quarantined:
        ShowMessage(Handle(), IDS_DELETED);
        break;
    case DeleteResult::Failed:
        ShowMessage(Handle(), IDS_DELETE_ERROR);
        break;
    case DeleteResult::EndedOnly:
        ShowMessage(Handle(), IDS_ENDED_FILE_UNKNOWN);
        break;
    }
    RefreshProcessList();
}

MemoryProtectionPage::DeleteResult MemoryProtectionPage::EndProcessAndQuarantine(const ListedProcess& process)
{
    // Only the process the question named: by now its identifier may belong
    // to another process, which is then left alone.
    HANDLE handle = OpenListedProcess(process, kEndAccess);
    if (!handle)
        return DeleteResult::Failed;
    const bool ended = TerminateProcess(handle, 0) != FALSE;
    if (ended)
        WaitForSingleObject(handle, kProcessEndWait);
    CloseHandle(handle);
    if (!ended)
        return DeleteResult::Failed;
    ShowMessage(Handle(), IDS_WAIT);

    // A guessed path names the system file the process was named after,
    // which is most likely the very program it disguised itself as.
    if (process.pathGuessed)
        return DeleteResult::EndedOnly;
    // The store's ANSI form of the path, which names this file and no other.
    const std::string path = StorePathOf(process.path);
    if (path.empty())
        return DeleteResult::Failed;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (QuarantineFile(path.c_str()))
        return DeleteResult::Quarantined;
    // The file stays as it was found, hidden too, so that it is listed again.
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path.c_str(), attributes);
    return DeleteResult::Failed;
}
