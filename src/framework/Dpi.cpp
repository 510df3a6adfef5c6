#include "framework/Dpi.h"

namespace {

// Windows 10's calls, absent from Windows 7 and 8: null there.
template <typename Function>
Function User32Function(const char* name)
{
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

int ScreenDpi()
{
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : kDesignDpi;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kDesignDpi;
}

BOOL CALLBACK NotifyChild(HWND child, LPARAM dpi)
{
    SendMessageW(child, DpiChangedMessage(), static_cast<WPARAM>(dpi), 0);
    return TRUE;
}

}  // namespace

int WindowDpi(HWND window)
{
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    if (getDpiForWindow && window) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi > 0)
            return static_cast<int>(dpi);
    }
    return ScreenDpi();
}

int ScaleToDpi(int pixels, int dpi)
{
    return MulDiv(pixels, dpi, kDesignDpi);
}

int SystemMetricForDpi(int index, int dpi)
{
    using GetSystemMetricsForDpiFunction = int(WINAPI*)(int, UINT);
    static const auto forDpi = User32Function<GetSystemMetricsForDpiFunction>("GetSystemMetricsForDpi");
    if (forDpi)
        return forDpi(index, static_cast<UINT>(dpi));
    // One DPI for the session, the screen's, at which the plain metric is.
    return MulDiv(GetSystemMetrics(index), dpi, ScreenDpi());
}

UINT DpiChangedMessage()
{
    static const UINT message = RegisterWindowMessageW(L"Vardenix.DpiChanged");
    return message;
}

void NotifyDescendantsOfDpi(HWND window, int dpi)
{
    // EnumChildWindows walks children's children too.
    EnumChildWindows(window, NotifyChild, static_cast<LPARAM>(dpi));
}
