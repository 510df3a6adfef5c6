#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The system page: registry repair ("Очистка Реестра") and disk cleanup
// ("Очистка Диска"), each on a worker thread that reports its steps as rows
// of the page's list ("Содержимое", "Состояние"). Both buttons are disabled
// while either worker runs; each run starts by emptying the list.
//
// Threads: the workers never touch the page's controls. They queue their rows
// in the link they share with the page and post the page its own messages
// (the worker section of SystemPage.cpp), which the user-interface thread
// carries out in the order posted; rows reach the list in batches with its
// redraw off. A worker never waits for the user-interface thread.
class SystemPage : public ChildPage {
public:
    SystemPage();
    ~SystemPage() override;

    // "Очистка Реестра": asks, then starts RegistryRepairThread.
    void RepairRegistry();
    // "Очистка Диска": asks, then starts DiskCleanupThread.
    void CleanDisk();

    // The folders the cleanups empty instead of the cookie, recent-documents
    // and temporary folders.
    void SetCleanupFolders(std::vector<std::wstring> folders);

    // True from a confirmed command until its worker has ended and the page
    // has handled all it posted.
    bool IsBusy() const;

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    struct Row {
        std::wstring content;
        UINT state;  // string id
    };
    // What a worker shares with the page. A worker holds its own reference,
    // so a page destroyed while a worker runs leaves it nothing dangling: its
    // messages to the gone window simply fail.
    struct WorkerLink {
        HWND page = nullptr;
        std::mutex mutex;
        std::vector<Row> waiting;  // rows not yet in the list
    };

    class RowBatch;

    static void RegistryRepairThread(const std::shared_ptr<WorkerLink>& link);
    static void DiskCleanupThread(const std::shared_ptr<WorkerLink>& link,
                                  std::optional<std::vector<std::wstring>> folders);

    // Asks `question` and, on OK, runs `work` on a worker while the buttons
    // are disabled.
    void StartCommand(UINT question, std::function<void()> work);
    // The user-interface side of the workers' messages.
    void SetButtonsEnabled(bool enabled) const;
    void BeginRun(bool animate);
    void AddWaitingRows();
    void EndRun(bool last);
    const std::wstring& TextOf(UINT id);

    std::shared_ptr<WorkerLink> link_;
    std::optional<std::vector<std::wstring>> cleanupFolders_;
    std::map<UINT, std::wstring> texts_;
    bool busy_ = false;
    ImageButton registryButton_;
    ImageButton diskButton_;
};
