#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"

#include <string>

// The quarantine page: one row per item of the quarantine folder, with the
// path the file came from and the item's own path. The user restores the
// selected item or deletes all listed items. The list is read when the page
// is created, on "Обновить" and after a purge; showing the page does not
// re-read it.
//
// Threads: refresh and restore run on the user-interface thread; the purge
// runs on a worker of its own, which reaches the list and the buttons only
// through window messages (see the worker section of QuarantinePage.cpp).
// The three buttons are disabled while any of the three operations runs.
class QuarantinePage : public ChildPage {
public:
    QuarantinePage();

    // Re-reads the quarantine folder into the list: every "*.vw" file whose
    // header is valid gets a row, anything else is passed over. Safe to call
    // from any thread; off the page's own thread it is carried out there.
    void RefreshQuarantineList();
    // Asks, then writes the selected item back to its origin or the desktop
    // and tells the result. The item stays in the folder and in the list.
    void RestoreSelectedItem();
    // Asks, then starts PurgeQuarantineWorker, which deletes every listed item.
    void PurgeQuarantine();
    // The purge thread; `page` is the QuarantinePage.
    static DWORD WINAPI PurgeQuarantineWorker(void* page);


protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void EnableButtons(bool enable) const;
    void AppendRow(const std::string& origin, const std::string& itemPath) const;

    // The item list is the template's list view; these take over its buttons.
    ImageButton refreshButton_;
    ImageButton restoreButton_;
    ImageButton purgeButton_;
};
