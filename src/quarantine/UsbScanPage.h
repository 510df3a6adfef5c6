#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"
#include "quarantine/ScanWalk.h"

#include <memory>
#include <string>

// The USB full-scan page: walks every file of every attached USB drive and
// lists the suspicious ones ("Подозрительные"), the decoy shortcuts of USB
// worms ("Ярлык вируса") and the files those start or name ("Файл вируса"),
// which the user then deletes one by one or all together; a deleted file
// goes into quarantine first.
//
// Threads: the scan and delete all run on worker threads of their own; delete
// one runs on the user-interface thread. The workers act on the page only
// through the page's own messages (the worker section of UsbScanPage.cpp),
// which the UI thread carries out. While a worker runs, the scan, delete and
// delete-all buttons are disabled; "Стоп" is always enabled.
class UsbScanPage : public ChildPage {
public:
    UsbScanPage();
    ~UsbScanPage() override;

    // "Сканировать": starts ScanWorker. Ignored while the scan button is
    // disabled, so a second scan never runs beside the first.
    void StartScan();
    // "Стоп": asks a running scan to end; it lists nothing more, and the label
    // then counts the rows listed so far. Does nothing when no scan runs.
    void StopScan();
    // "Удалить": asks, then puts the selected row's file into quarantine.
    void DeleteSelectedFile();
    // "Удалить Все": asks, then starts DeleteAllFilesWorker on every row.
    void DeleteAllFiles();

    // The scanning flag: true from the start of a scan until it ends or "Стоп".
    bool IsScanning() const;


protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    // What a worker shares with the page. A worker holds its own reference,
    // so a page destroyed while a worker runs leaves the worker nothing
    // dangling: its messages to the gone window simply fail.
    struct WorkerLink {
        ScanFlag scanning{0};
        HWND page = nullptr;
    };

    static void ScanWorker(const std::shared_ptr<WorkerLink>& link);
    static void DeleteAllFilesWorker(const std::shared_ptr<WorkerLink>& link);

    // The UI-thread side of the workers' messages.
    void SetBusy(bool busy) const;
    void BeginScanDisplay() const;
    void AddRow(int row, const std::string& path, ListedAs as) const;
    void EndScanDisplay(int listed) const;
    std::string RowPath(int row) const;
    void SetRowState(int row, UINT stringId) const;

    std::shared_ptr<WorkerLink> link_;
    HFONT counterFont_ = nullptr;
    std::wstring suspiciousText_;
    std::wstring wormShortcutText_;
    std::wstring wormFileText_;
    ImageButton scanButton_;
    ImageButton stopButton_;
    ImageButton deleteButton_;
    ImageButton deleteAllButton_;
};
