#include "framework/Dialog.h"

#include "framework/Control.h"

namespace {

// Carries EndModal from another thread to the dialog's own: EndDialog is only
// meant to be called on the thread that runs the dialog's message loop.
UINT EndModalMessage()
{
    static const UINT message = RegisterWindowMessageW(L"Vardenix.EndModal");
    return message;
}

// Messages whose answer is the dialog procedure's return value itself rather
// than DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT msg)
{
    switch (msg) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
        return true;
    default:
        return false;
    }
}

} // namespace

Dialog::Dialog(UINT templateId, HINSTANCE instance)
    : templateId_(templateId), instance_(instance)
{
}

Dialog::~Dialog()
{
    // The window must not outlive the object its procedure calls into; detach
    // first, so that its last messages reach no half-destroyed object.
    if (handle_) {
        SetWindowLongPtrW(handle_, DWLP_USER, 0);
        DestroyWindow(handle_);
        handle_ = nullptr;
    }
}

HINSTANCE Dialog::Instance() const
{
    return instance_ ? instance_ : GetModuleHandleW(nullptr);
}

INT_PTR Dialog::RunModal(HWND parent)
{
    if (handle_)
        return -1;
    // Our own modal loop rather than DialogBoxParam: DialogBox shows a dialog
    // at its first idle moment even when its initialisation hid it (the main
    // window hides itself at the end of start-up and must stay hidden).
    modal_ = true;
    ending_ = false;
    endResult_ = -1;
    if (!CreateDialogParamW(Instance(), MAKEINTRESOURCEW(templateId_), parent, DialogProc,
                            reinterpret_cast<LPARAM>(this))) {
        modal_ = false;
        return -1;
    }
    const bool disableParent = parent && IsWindowEnabled(parent);
    if (disableParent)
        EnableWindow(parent, FALSE);

    MSG msg;
    while (!ending_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (!IsDialogMessageW(handle_, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }

    if (disableParent)
        EnableWindow(parent, TRUE);
    const INT_PTR result = endResult_;
    if (handle_)
        DestroyWindow(handle_);
    modal_ = false;
    return result;
}

void Dialog::EndModal(INT_PTR result)
{
    const HWND window = handle_;
    if (!window)
        return;
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        PostMessageW(window, EndModalMessage(), 0, static_cast<LPARAM>(result));
        return;
    }
    if (modal_) {
        endResult_ = result;
        ending_ = true;
        // Wakes the modal loop if it is waiting in GetMessage.
        PostMessageW(window, WM_NULL, 0, 0);
    } else {
        EndDialog(window, result);
    }
}

bool Dialog::CreateModeless(HWND parent)
{
    if (handle_)
        return false;
    modal_ = false;
    return CreateDialogParamW(Instance(), MAKEINTRESOURCEW(templateId_), parent, DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void Dialog::Destroy()
{
    if (handle_)
        DestroyWindow(handle_);
}

std::wstring Dialog::ItemText(int id) const
{
    const HWND item = Item(id);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(item)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(item, &text[0], static_cast<int>(text.size()))));
    return text;
}

bool Dialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&)
{
    return false;
}

bool Dialog::OnCommand(WORD, WORD, HWND)
{
    return false;
}

LRESULT Dialog::OnNotify(NMHDR*)
{
    return 0;
}

void Dialog::OnOK()
{
    if (modal_)
        EndModal(IDOK);
    else
        Destroy();
}

void Dialog::OnCancel()
{
    if (modal_)
        EndModal(IDCANCEL);
    else
        Destroy();
}

void Dialog::OnTimer(UINT_PTR)
{
}

bool Dialog::OnSysCommand(WPARAM, LPARAM)
{
    return false;
}

bool Dialog::OnHelp(HELPINFO*)
{
    return false;
}

bool Dialog::OnDrawItem(int, DRAWITEMSTRUCT*)
{
    return false;
}

void Dialog::OnDpiChanged(int)
{
}

bool Dialog::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (msg == EndModalMessage()) {
        EndModal(static_cast<INT_PTR>(lParam));
        return true;
    }
    if (msg == DpiChangedMessage()) {
        const int oldDpi = dpi_;
        dpi_ = static_cast<int>(wParam);
        OnDpiChanged(oldDpi);
        // A top-level dialog tells every window inside it, pages included.
        if (!(GetWindowLongPtrW(handle_, GWL_STYLE) & WS_CHILD))
            NotifyDescendantsOfDpi(handle_, dpi_);
        return true;
    }
    if (OnMessage(msg, wParam, lParam, result))
        return true;

    switch (msg) {
    case WM_INITDIALOG:
        result = OnInitDialog() ? TRUE : FALSE;
        return true;
    case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        // Code 0 is a button or menu, 1 an accelerator; Enter and Escape come as 0.
        if ((id == IDOK || id == IDCANCEL) && code <= 1) {
            if (id == IDOK)
                OnOK();
            else
                OnCancel();
            return true;
        }
        return OnCommand(id, code, reinterpret_cast<HWND>(lParam));
    }
    case WM_NOTIFY:
        result = OnNotify(reinterpret_cast<NMHDR*>(lParam));
        return true;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return true;
    case WM_PAINT:
        return OnPaint();
    case WM_SYSCOMMAND:
        return OnSysCommand(wParam, lParam);
    case WM_HELP:
        if (!OnHelp(reinterpret_cast<HELPINFO*>(lParam)))
            return false;
        result = TRUE;
        return true;
    case WM_DPICHANGED: {
        // Windows' rectangle keeps the window in its place on the new monitor.
        const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(handle_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                     suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
        // Windows 10's dialog manager scales the template's controls once this
        // handler has returned; what is sized in pixels is laid out after it.
        Post(DpiChangedMessage(), LOWORD(wParam));
        return false;
    }
    case WM_CLOSE:
        return OnClose();
    case WM_DESTROY:
        OnDestroy();
        return false;
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
        Control* control = item->CtlType == ODT_MENU ? nullptr : Control::FromHandle(item->hwndItem);
        if (control)
            control->DrawItem(*item);
        else if (!OnDrawItem(static_cast<int>(wParam), item))
            return false;
        result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->handle_ = window;
        reinterpret_cast<Dialog*>(lParam)->dpi_ = WindowDpi(window);
    }
    // Null for the few messages (WM_SETFONT, WM_CREATE...) that come before WM_INITDIALOG.
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!self)
        return FALSE;
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->handle_ = nullptr;
        return FALSE;
    }

    LRESULT result = 0;
    if (!self->Dispatch(msg, wParam, lParam, result))
        return FALSE;
    if (ReturnsResultDirectly(msg))
        return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
