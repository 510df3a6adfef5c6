#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"

#include <string>

// The real-time answer to an attached USB drive: the threats in the drives'
// roots, listed with their state, and deleting them into quarantine; and
// restoring the drives after a shortcut worm.
class UsbProtectionPage : public ChildPage {
public:
    UsbProtectionPage();
    ~UsbProtectionPage() override;

    // Lists the threats in the root of each drive (`count` letters), after the
    // rows already listed; the caller empties the list first. Each drive's
    // root rows come first; then the worm's decoy shortcuts, the files of its
    // disguised recycle bins and the files its decoys start or name, wherever
    // they lie (usb/WormLayout.h). Shows the worm's notice when a drive holds
    // its pattern.
    void ScanDriveRoots(const char* letters, int count);
    // Empties the threat list and hides the worm's notice.
    void ClearThreats();
    // The notice the last scan showed below the list when a drive holds the
    // shortcut worm's pattern (decoys beside the user's hidden entries); empty
    // when none is shown.
    std::wstring WormNotice() const;

    // Command 1002: deletes the selected row's file after asking.
    void DeleteSelectedThreat();
    // Command 1016: asks, then deletes every listed file on a worker thread.
    // Rows of the user's own entries (left by a restore) are passed over.
    void DeleteAllThreats();
    // Command 1003: asks, then restores every USB drive's root on a worker
    // thread, adding a row for each decoy and each of the user's entries.
    void RestoreUsbDrives();

    // While a worker (delete all, restore) runs the list belongs to it: a
    // device event must not empty and refill it. The main window asks for a
    // rescan instead, which the page hands back (kRescanUsbDrivesMessage)
    // once the worker ends.
    bool IsListBusy() const { return listBusy_; }
    void RescanWhenListFree() { rescanPending_ = true; }


protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    static DWORD WINAPI DeleteAllThreatsWorker(void* page);
    static DWORD WINAPI RestoreUsbDrivesWorker(void* page);

    // On the user-interface thread: disables the buttons and starts `worker`.
    void StartListWorker(DWORD(WINAPI* worker)(void* page));
    void AddRow(int row, const std::wstring& path, const std::wstring& state, LPARAM kind);
    // `drives` ("E:" or "E:, F:") holding the worm's pattern; empty hides the notice.
    void ShowWormNotice(const std::wstring& drives);

    HFONT counterFont_ = nullptr;
    HWND notice_ = nullptr;
    ImageButton deleteButton_;
    ImageButton deleteAllButton_;
    ImageButton pictureButton_;
    // Both touched on the user-interface thread only.
    bool listBusy_ = false;
    bool rescanPending_ = false;
    // The drives the restore worker goes through; set before it starts.
    std::string restoreLetters_;
};
