#pragma once

#include <windows.h>

#include <string>

// The tooltip of one subclassed control: created with its first text, owned
// by the control's window, covering the control's client area. The owner
// calls FitToControl when the control's size changes and Destroy when the
// control's window goes (WM_DESTROY), so that the handle is forgotten before
// the system can give it to another window.
class ControlTip {
public:
    ControlTip() = default;
    ~ControlTip() { Destroy(); }
    ControlTip(const ControlTip&) = delete;
    ControlTip& operator=(const ControlTip&) = delete;

    // Shows `text` for `control`, creating the tooltip (at most `maxWidth`
    // pixels wide, or unlimited for -1) on first use. False when it cannot
    // be created.
    bool SetText(HWND control, const std::wstring& text, int maxWidth = -1);
    void Activate(bool active) const;
    void FitToControl(HWND control) const;
    void Destroy();

    HWND Handle() const { return tip_; }

private:
    HWND tip_ = nullptr;
};
