#include "app/StatusPopup.h"

#include "framework/Text.h"
#include "res/resource.h"

StatusPopup::StatusPopup() : Dialog(IDD_STATUS_POPUP) {}

bool StatusPopup::OnInitDialog()
{
    SetItemText(IDC_POPUP_STATUS, LoadText(IDS_PROTECTION_ACTIVE));
    if (status_.Attach(Handle(), IDC_FIRST_BUTTON)) {
        status_.SetBitmaps(IDB_STATUS, RGB(255, 255, 255));
        status_.SetAlignment(ImageButton::ImageAbove);
        status_.SetTooltip(LoadText(IDS_PROTECTION_ACTIVE));
        status_.DrawBorder(false);
        SetWindowTextW(status_.Handle(), LoadText(IDS_ACTIVE).c_str());
    }
    // Counted from creation, not from showing.
    timer_ = SetTimer(Handle(), kHideTimer, kHideAfterMs, nullptr);
    return true;
}

void StatusPopup::OnTimer(UINT_PTR id)
{
    if (id == kHideTimer) {
        KillTimer(Handle(), timer_);
        Hide();
    }
    Dialog::OnTimer(id);
}

bool StatusPopup::ShowAboveTaskbar()
{
    const HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    if (!taskbar)
        return false;
    RECT taskbarRect, desktopRect, popupRect;
    GetWindowRect(taskbar, &taskbarRect);
    GetWindowRect(GetDesktopWindow(), &desktopRect);
    GetWindowRect(Handle(), &popupRect);
    const int width = popupRect.right - popupRect.left;
    const int height = popupRect.bottom - popupRect.top;
    Show(SW_SHOW);
    SetWindowPos(Handle(), HWND_TOP, desktopRect.right - width, taskbarRect.top - height, 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW);
    return true;
}
