#pragma once

#include "framework/Dpi.h"

#include <windows.h>

#include <atomic>
#include <string>

// A dialog built from a numbered template. The object does not own a window
// until RunModal or CreateModeless makes one; one static dialog procedure
// stores `this` at WM_INITDIALOG and dispatches to the virtual handlers below.
//
// Handlers return true when they handled the message; false lets the dialog
// manager do its default work. OnMessage sees every message first.
class Dialog {
public:
    // The template is looked up in `instance`, or in the executable when null.
    explicit Dialog(UINT templateId, HINSTANCE instance = nullptr);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally and returns the value given to EndModal, or -1
    // when the template could not be loaded.
    INT_PTR RunModal(HWND parent);
    // Ends the modal run with `result`. Safe from any thread: from a thread
    // other than the dialog's own the request is posted to the dialog.
    void EndModal(INT_PTR result);

    // Creates the dialog modeless: a top-level window when `parent` is null or
    // the template has WS_POPUP, a child page when the template has WS_CHILD.
    bool CreateModeless(HWND parent);
    void Destroy();

    HWND Handle() const { return handle_; }
    bool IsModal() const { return modal_; }
    UINT TemplateId() const { return templateId_; }
    // The DPI the dialog is laid out for: its window's when created, then
    // that of each monitor the dialog moves to.
    int Dpi() const { return dpi_; }
    // `pixels` at 96 DPI, at the dialog's DPI.
    int Scaled(int pixels) const { return ScaleToDpi(pixels, dpi_); }

    HWND Item(int id) const { return GetDlgItem(handle_, id); }
    bool Show(int command = SW_SHOW) const { return ShowWindow(handle_, command) != FALSE; }
    bool Hide() const { return Show(SW_HIDE); }
    bool IsVisible() const { return IsWindowVisible(handle_) != FALSE; }
    bool SetText(const std::wstring& text) const { return SetWindowTextW(handle_, text.c_str()) != FALSE; }
    bool SetItemText(int id, const std::wstring& text) const
    {
        return SetDlgItemTextW(handle_, id, text.c_str()) != FALSE;
    }
    std::wstring ItemText(int id) const;
    bool EnableItem(int id, bool enable) const { return EnableWindow(Item(id), enable ? TRUE : FALSE) != FALSE; }
    bool ShowItem(int id, bool show) const { return ShowWindow(Item(id), show ? SW_SHOW : SW_HIDE) != FALSE; }
    LRESULT SendItemMessage(int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return SendDlgItemMessageW(handle_, id, msg, wParam, lParam);
    }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const { return SendMessageW(handle_, msg, wParam, lParam); }
    bool Post(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return PostMessageW(handle_, msg, wParam, lParam) != FALSE;
    }
    bool StartTimer(UINT_PTR id, UINT milliseconds) const { return SetTimer(handle_, id, milliseconds, nullptr) != 0; }
    bool StopTimer(UINT_PTR id) const { return KillTimer(handle_, id) != FALSE; }

protected:
    // Anything, before the handlers below. Return true with `result` set to
    // answer the message; false passes it on.
    virtual bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // Return true to let the system give the focus to the first control.
    virtual bool OnInitDialog() { return true; }
    // Every WM_COMMAND except IDOK and IDCANCEL, which go to OnOK and OnCancel.
    virtual bool OnCommand(WORD id, WORD code, HWND control);
    virtual LRESULT OnNotify(NMHDR* header);
    // Enter and Escape. A modal run ends with IDOK / IDCANCEL, a modeless
    // dialog is destroyed. Pages override both to do nothing.
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(UINT_PTR id);
    // Return false for the default painting.
    virtual bool OnPaint() { return false; }
    virtual bool OnSysCommand(WPARAM command, LPARAM lParam);
    // F1. Return false to pass the request on to the owner.
    virtual bool OnHelp(HELPINFO* info);
    // The caption's close button. By default the dialog manager turns it into IDCANCEL.
    virtual bool OnClose() { return false; }
    virtual void OnDestroy() {}
    // Owner-draw requests of controls that are not framework Controls.
    virtual bool OnDrawItem(int id, DRAWITEMSTRUCT* item);
    // The dialog has moved to a monitor of another DPI (Dpi() is the new
    // one, `oldDpi` the last): the system has moved and sized the window as it
    // suggests and, on Windows 10, scaled the template's controls and fonts.
    // Here the dialog lays out again what it sizes in pixels itself; its
    // controls are told afterwards (DpiChangedMessage).
    virtual void OnDpiChanged(int oldDpi);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
    bool Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result);
    HINSTANCE Instance() const;

    UINT templateId_;
    HINSTANCE instance_;
    // Read by workers and watcher threads (EndModal, posting to the window).
    std::atomic<HWND> handle_{nullptr};
    bool modal_ = false;
    bool ending_ = false;
    INT_PTR endResult_ = -1;
    int dpi_ = kDesignDpi;
};
