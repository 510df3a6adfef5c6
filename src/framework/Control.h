#pragma once

#include <windows.h>

// A control of a dialog taken over by subclassing. The object does not create
// the window; Attach hooks an existing control, and the object's WindowProc
// then sees its messages first. A dialog built on Dialog hands owner-draw
// requests (WM_DRAWITEM) of an attached control to its DrawItem.
class Control {
public:
    Control() = default;
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    bool Attach(HWND dialog, int id);
    bool Attach(HWND control);
    void Detach();

    HWND Handle() const { return handle_; }
    int Id() const { return GetDlgCtrlID(handle_); }

    virtual void DrawItem(const DRAWITEMSTRUCT& item);

    // The attached Control behind a window, or null.
    static Control* FromHandle(HWND window);

protected:
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // Called once the control's window is attached; for set-up that needs it.
    virtual void OnAttached() {}

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR subclassId, DWORD_PTR data);
    HWND handle_ = nullptr;
};
