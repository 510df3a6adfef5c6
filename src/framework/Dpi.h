#pragma once

#include <windows.h>

// What the program sizes in pixels (its window, the page area, column
// widths, pictures) is designed at 96 DPI, the 100 % scale, and scaled to
// the DPI of the window it appears in. Windows 10 gives every window the DPI
// of its monitor; Windows 7 and 8 have one DPI for the whole session, the
// screen's, and lack the per-window calls, which are therefore looked up
// when first needed.

constexpr int kDesignDpi = 96;

// The window's DPI, or the screen's where the system cannot tell a window's.
int WindowDpi(HWND window);
// `pixels` at 96 DPI, at `dpi`.
int ScaleToDpi(int pixels, int dpi);
// A system metric (GetSystemMetrics) as it is at `dpi`.
int SystemMetricForDpi(int index, int dpi);

// Sent by a top-level Dialog to each of its descendants once it has moved to
// a monitor of another DPI and laid itself out again; wParam is the new DPI.
// Windows' own notice to child windows (WM_DPICHANGED_AFTERPARENT) carries no
// DPI and is not sent on Windows 8.1; this one reaches the controls that size
// things in pixels on every system.
UINT DpiChangedMessage();
void NotifyDescendantsOfDpi(HWND window, int dpi);
