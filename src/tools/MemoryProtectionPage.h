#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"
#include "tools/RiskyProcesses.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// The process monitor's waits, in milliseconds: before its first pass, then
// between passes. The program uses these; tests shorten them.
struct MonitorTiming {
    DWORD firstWait = 5000;
    DWORD period = 10000;
};

// The memory protection page: running processes whose executable looks like a
// disguised system program, and ending one of them with its file moved into
// quarantine. Its process monitor looks at every process again each period
// for the life of the page, rewrites the list and brings the main window
// forward on this page whenever the number of processes at risk changes to a
// number other than 0.
//
// Threads: the monitor runs on a thread of its own and never touches a window:
// it hands each pass's result to the user-interface thread with a posted
// message, and asks the main window to come forward with another. The list,
// the table of listed processes and every message box belong to the
// user-interface thread.
class MemoryProtectionPage : public ChildPage {
public:
    explicit MemoryProtectionPage(MonitorTiming timing = MonitorTiming());
    ~MemoryProtectionPage() override;

    // Command 1002: rebuilds the list with the refresh rule.
    void RefreshProcessList();
    // Command 1003, "Удалить": ends the selected row's process and moves its
    // file into quarantine, after asking.
    void DeleteProcess();

    // The process a row of the list (0 name, 1 risk label, 2 path) stands for.
    const ListedProcess* RowProcess(int row) const;
    // Monitor passes are numbered from 1 as they begin (any thread); the
    // number of the last one the list shows (user-interface thread).
    int MonitorPassesBegun() const { return passesBegun_.load(); }
    int MonitorPassShown() const { return passShown_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnDestroy() override;

private:
    // Row i of the list shows entry i; the only link from a row to its process.
    using ProcessIdTable = std::vector<ListedProcess>;

    static unsigned __stdcall ProcessMonitorThread(void* page);
    void ShowProcesses(ProcessIdTable processes);
    void ShowLatestPass();
    enum class DeleteResult {
        Quarantined,
        Failed,
        // Ended, but its path could not be read: no file was touched.
        EndedOnly,
    };
    DeleteResult EndProcessAndQuarantine(const ListedProcess& process);
    void StopMonitor();

    const MonitorTiming timing_;
    HFONT statusFont_ = nullptr;
    ImageButton deleteButton_;
    ProcessIdTable processIdTable_;
    // The refresh's lookups (user-interface thread); the monitor keeps its own.
    ProcessLookupCache refreshLookups_;
    int passShown_ = 0;

    // The monitor thread, and the stop event it waits on between passes.
    HANDLE monitorThread_ = nullptr;
    HANDLE stopMonitor_ = nullptr;
    // A pass's result on its way from the monitor to the user-interface thread.
    std::mutex passMutex_;
    ProcessIdTable latestPass_;
    int latestPassNumber_ = 0;
    bool passWaiting_ = false;
    std::atomic<int> passesBegun_{0};
};
