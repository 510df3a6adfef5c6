#pragma once

#include "controls/ImageButton.h"
#include "framework/Dialog.h"

// The small "protection active" window shown above the taskbar at start-up.
// Its timer starts when it is created, hidden, and hides it three seconds
// later for the rest of the run.
class StatusPopup : public Dialog {
public:
    static constexpr UINT_PTR kHideTimer = 1;
    static constexpr UINT kHideAfterMs = 3000;

    StatusPopup();

    // Shows the popup with its right edge on the desktop's right edge and its
    // bottom edge on the top edge of the taskbar ("Shell_TrayWnd"); without a
    // taskbar it stays hidden. False when there is no taskbar.
    bool ShowAboveTaskbar();

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    ImageButton status_;
    UINT_PTR timer_ = 0;
};
