#pragma once

#include <windows.h>

// Window messages between the main window and its pages.

// Posted by the USB protection page to the main window when a device event
// arrived while its delete-all worker ran: the drives are looked at again now.
constexpr UINT kRescanUsbDrivesMessage = WM_APP + 100;

// Posted to the main window by threads other than the user-interface thread
// (the process monitor, disk cleanup) to restore the window, bring it to the
// front and show page wParam. The page-shown flags and page buttons belong to
// the user-interface thread, so the request is carried out there.
constexpr UINT kBringForwardOnPageMessage = WM_APP + 101;
