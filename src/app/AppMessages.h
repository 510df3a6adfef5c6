#pragma once

#include <windows.h>

// Window messages between the main window and its pages.

// Posted by the USB protection page to the main window when a device event
// arrived while its delete-all worker ran: the drives are looked at again now.
constexpr UINT kRescanUsbDrivesMessage = WM_APP + 100;
