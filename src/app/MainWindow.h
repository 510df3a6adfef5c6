#pragma once

#include "framework/ChildPage.h"
#include "app/InfoPage.h"
#include "controls/ImageButton.h"
#include "framework/Dialog.h"
#include "quarantine/QuarantinePage.h"
#include "quarantine/UsbScanPage.h"
#include "tools/MemoryProtectionPage.h"
#include "tools/StartupManagerPage.h"
#include "tools/SystemPage.h"
#include "usb/ImmunityPage.h"
#include "usb/UsbProtectionPage.h"

#include <windows.h>
#include <shellapi.h>

// The program's only top-level window and its event hub: seven page buttons,
// eight pages shown one at a time, the tray icon and its menu, and the answer
// to USB drives coming and going. The close button hides it to the tray.
class MainWindow : public Dialog {
public:
    // Page numbers of ShowPage; 4 shows no page. The immunity page has no
    // page button: the tray menu's safe-removal entry shows it.
    enum Page { kInfoPage = 1, kUsbProtectionPage = 2, kUsbScanPage = 3, kNoPage = 4, kMemoryPage = 5,
                kStartupPage = 6, kSystemPage = 7, kQuarantinePage = 8, kImmunityPage = 9 };
    static constexpr UINT kTrayCallbackMessage = WM_USER + 1;  // 1025
    static constexpr UINT kTrayIconId = 160;

    // `memoryMonitor`: the memory page's monitor waits; tests shorten them.
    explicit MainWindow(MonitorTiming memoryMonitor = MonitorTiming());
    ~MainWindow() override;

    // Hides the shown page and shows page `page` (1-9; 4 or any other number shows none).
    void ShowPage(int page);
    // Finds the USB drives and, when there are any, comes to the front on the
    // USB protection page, plays the alert and lists the drives' root threats.
    void HandleUsbDrives();
    // From any thread: asks the published main window to come to the front on
    // page `page`. Returns at once; the user-interface thread does the work.
    static void RequestForwardPage(int page);
    // The tray menu's update command: starts the updater and, when it
    // started, ends the program.
    void CheckForUpdate();

    // The window published at the start of initialisation, for other threads.
    static MainWindow* Instance();
    static HWND InstanceHandle();

    // What a test reads: whether slot `page` is shown, and the button of a page.
    bool IsPageShown(int page) const;
    const ImageButton* PageButton(int page) const;
    Dialog* PageOf(int page);
    InfoPage& Info() { return infoPage_; }
    UsbProtectionPage& UsbProtection() { return usbProtectionPage_; }
    UsbScanPage& UsbScan() { return usbScanPage_; }
    QuarantinePage& Quarantine() { return quarantinePage_; }
    StartupManagerPage& Startup() { return startupPage_; }
    ImmunityPage& Immunity() { return immunityPage_; }
    MemoryProtectionPage& MemoryProtection() { return memoryPage_; }
    SystemPage& System() { return systemPage_; }
    // The tray record, as the last add or delete handed it to the shell.
    static const NOTIFYICONDATAW& TrayRecord();

protected:
    bool OnInitDialog() override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnCommand(WORD id, WORD code, HWND control) override;
    bool OnSysCommand(WPARAM command, LPARAM lParam) override;
    bool OnPaint() override;
    bool OnHelp(HELPINFO* info) override;
    void OnCancel() override;
    void OnDestroy() override;
    void OnDpiChanged(int oldDpi) override;

private:
    struct PageSlot {
        int page;
        int command;
        int hotBitmap;
        int normalBitmap;
        UINT tooltip;
    };
    static const PageSlot kPageSlots[7];

    static DWORD WINAPI TrayWatchThread(void*);
    static DWORD WINAPI UninstallWatchThread(void* window);
    static void AddTrayIcon();
    void ShowTrayMenu();
    void BringForward();
    void PlacePage(const Dialog& page) const;
    const PageSlot* SlotOf(int page) const;
    ImageButton* ButtonOf(int page);

    ImageButton buttons_[7];
    InfoPage infoPage_;
    MemoryProtectionPage memoryPage_;
    QuarantinePage quarantinePage_;
    UsbScanPage usbScanPage_;
    UsbProtectionPage usbProtectionPage_;
    SystemPage systemPage_;
    ImmunityPage immunityPage_;
    StartupManagerPage startupPage_;
    bool pageShown_[10] = {};
    HICON icon_ = nullptr;
};
