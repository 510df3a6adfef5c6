#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"

// The immunity page: immunise every drive and switch USB autorun off, or undo
// both; and safe removal of USB drives (command 1002, SafeRemoveUsbDrives).
// No page button shows it: the main window's tray menu shows it for safe
// removal ("Безопасное извлечение USB") and runs the two immunity operations
// itself, on the user-interface thread.
class ImmunityPage : public ChildPage {
public:
    ImmunityPage();

    // Command 1030 and the tray's "Отключить Автозапуск USB": immunises every
    // removable and fixed drive, switches autorun off and says so (156).
    void ImmuniseAllDrives();
    // Command 1031 and the tray's "Включить Автозапуск USB": removes immunity
    // from every removable and fixed drive, switches autorun back on and
    // warns (157).
    void RemoveAllImmunity();

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    // Runs `operation` unless another one is running.
    template <typename Operation>
    void RunAlone(Operation operation);

    ImageButton immuniseButton_;
    ImageButton cancelImmunityButton_;
    ImageButton safeRemovalButton_;
    // Set while an operation runs: its message boxes keep the tray menu
    // working, and a second request then would interleave with the first.
    bool running_ = false;
};
