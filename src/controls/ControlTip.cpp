#include "controls/ControlTip.h"

#include <commctrl.h>

namespace {

const UINT_PTR kToolId = 1;

// The version-2 size is the one that both the old common controls (no
// manifest) and version 6 accept; the full structure of newer headers is
// refused by the old ones.
TOOLINFOW ToolOf(HWND control)
{
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = control;
    tool.uId = kToolId;
    return tool;
}

}  // namespace

bool ControlTip::SetText(HWND control, const std::wstring& text, int maxWidth)
{
    TOOLINFOW tool = ToolOf(control);
    tool.lpszText = const_cast<LPWSTR>(text.c_str());
    if (tip_) {
        SendMessageW(tip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
        return true;
    }
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    tip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, control, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
    if (!tip_)
        return false;
    SendMessageW(tip_, TTM_SETMAXTIPWIDTH, 0, maxWidth);
    // The tooltip watches the control's mouse messages itself.
    tool.uFlags = TTF_SUBCLASS;
    GetClientRect(control, &tool.rect);
    if (!SendMessageW(tip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool))) {
        Destroy();
        return false;
    }
    return true;
}

void ControlTip::Activate(bool active) const
{
    if (tip_)
        SendMessageW(tip_, TTM_ACTIVATE, active ? TRUE : FALSE, 0);
}

void ControlTip::FitToControl(HWND control) const
{
    if (!tip_)
        return;
    TOOLINFOW tool = ToolOf(control);
    GetClientRect(control, &tool.rect);
    SendMessageW(tip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void ControlTip::Destroy()
{
    if (tip_)
        DestroyWindow(tip_);
    tip_ = nullptr;
}
