#include "framework/Control.h"

#include <commctrl.h>

namespace {
// One identifier for every subclass this layer installs.
const UINT_PTR kSubclassId = 0x5644;
// Names the object behind a window for FromHandle (MinGW's import library has
// no GetWindowSubclass, and older systems export it by ordinal only).
const wchar_t kObjectProperty[] = L"Vardenix.Control";
}

Control::~Control()
{
    Detach();
}

bool Control::Attach(HWND dialog, int id)
{
    return Attach(GetDlgItem(dialog, id));
}

bool Control::Attach(HWND control)
{
    if (!control || handle_)
        return false;
    if (!SetWindowSubclass(control, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    SetPropW(control, kObjectProperty, this);
    handle_ = control;
    OnAttached();
    return true;
}

void Control::Detach()
{
    if (handle_) {
        RemoveWindowSubclass(handle_, SubclassProc, kSubclassId);
        RemovePropW(handle_, kObjectProperty);
        handle_ = nullptr;
    }
}

Control* Control::FromHandle(HWND window)
{
    return window ? static_cast<Control*>(GetPropW(window, kObjectProperty)) : nullptr;
}

void Control::DrawItem(const DRAWITEMSTRUCT&)
{
}

LRESULT Control::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefaultProc(msg, wParam, lParam);
}

LRESULT Control::DefaultProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefSubclassProc(handle_, msg, wParam, lParam);
}

LRESULT CALLBACK Control::SubclassProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<Control*>(data);
    if (msg == WM_NCDESTROY) {
        // The subclass must be removed before the window is gone.
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        RemovePropW(window, kObjectProperty);
        self->handle_ = nullptr;
        return DefSubclassProc(window, msg, wParam, lParam);
    }
    return self->WindowProc(msg, wParam, lParam);
}
