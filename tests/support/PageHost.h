#pragma once

#include "framework/Dialog.h"

#include <windows.h>
#include <commctrl.h>

// A visible top-level window of the test's own that hosts a page under test,
// as the main window does in the program.
class PageHost {
public:
    PageHost()
    {
        // The pages hold list views, animations and tooltips.
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        handle_ = CreateWindowExW(0, L"STATIC", L"Page host", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 780,
                                  560, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    ~PageHost() { DestroyWindow(handle_); }
    PageHost(const PageHost&) = delete;
    PageHost& operator=(const PageHost&) = delete;

    HWND Handle() const { return handle_; }

private:
    HWND handle_ = nullptr;
};

// Clicks button `id` of `page` as a user's click reaches the page.
inline void ClickButton(const Dialog& page, int id)
{
    SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(page.Item(id)));
}

// Selects and focuses row `row` of a list view.
inline void SelectListRow(HWND list, int row)
{
    LVITEMW item = {};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}
