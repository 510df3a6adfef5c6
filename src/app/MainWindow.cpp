#include "app/MainWindow.h"

#include "app/AboutDialog.h"
#include "app/AppMessages.h"
#include "app/Help.h"
#include "app/Settings.h"
#include "app/UpdateCheck.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "res/resource.h"
#include "usb/DriveDiscovery.h"

#include <dbt.h>
#include <mmsystem.h>

#include <atomic>
#include <cstring>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
// At 96 DPI, scaled with the window's.
constexpr int kWindowWidth = 755, kWindowHeight = 550;
constexpr int kPageX = 0, kPageY = 90, kPageWidth = 750, kPageHeight = 450;

std::atomic<MainWindow*> published{nullptr};
std::atomic<HWND> publishedHandle{nullptr};

// The tray record, shared with the tray-watch thread, which re-adds the icon
// after the taskbar comes back. It is the record's first version: the one
// every shell knows.
NOTIFYICONDATAW trayRecord;

}  // namespace

const MainWindow::PageSlot MainWindow::kPageSlots[7] = {
    {kInfoPage, IDC_PAGE_INFO, IDB_INFO_HOT, IDB_INFO_NORMAL, IDS_TIP_INFO},
    {kUsbProtectionPage, IDC_PAGE_USB_PROTECTION, IDB_USB_PROTECTION_HOT, IDB_USB_PROTECTION_NORMAL,
     IDS_TIP_USB_PROTECTION},
    {kUsbScanPage, IDC_PAGE_USB_SCAN, IDB_USB_SCAN_HOT, IDB_USB_SCAN_NORMAL, IDS_TIP_USB_SCAN},
    {kMemoryPage, IDC_PAGE_MEMORY, IDB_MEMORY_HOT, IDB_MEMORY_NORMAL, IDS_TIP_MEMORY},
    {kStartupPage, IDC_PAGE_STARTUP, IDB_STARTUP_HOT, IDB_STARTUP_NORMAL, IDS_TIP_STARTUP},
    {kSystemPage, IDC_PAGE_SYSTEM, IDB_SYSTEM_HOT, IDB_SYSTEM_NORMAL, IDS_TIP_SYSTEM},
    {kQuarantinePage, IDC_PAGE_QUARANTINE, IDB_QUARANTINE_HOT, IDB_QUARANTINE_NORMAL, IDS_TIP_QUARANTINE},
};

MainWindow::MainWindow(MonitorTiming memoryMonitor)
    : Dialog(IDD_MAIN_WINDOW), memoryPage_(memoryMonitor)
{
    icon_ = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN));
}

MainWindow::~MainWindow()
{
    MainWindow* self = this;
    published.compare_exchange_strong(self, nullptr);
}

MainWindow* MainWindow::Instance()
{
    return published.load();
}

HWND MainWindow::InstanceHandle()
{
    return publishedHandle.load();
}

const NOTIFYICONDATAW& MainWindow::TrayRecord()
{
    return trayRecord;
}

const MainWindow::PageSlot* MainWindow::SlotOf(int page) const
{
    for (const PageSlot& slot : kPageSlots) {
        if (slot.page == page)
            return &slot;
    }
    return nullptr;
}

ImageButton* MainWindow::ButtonOf(int page)
{
    const PageSlot* slot = SlotOf(page);
    return slot ? &buttons_[slot - kPageSlots] : nullptr;
}

const ImageButton* MainWindow::PageButton(int page) const
{
    const PageSlot* slot = SlotOf(page);
    return slot ? &buttons_[slot - kPageSlots] : nullptr;
}

Dialog* MainWindow::PageOf(int page)
{
    switch (page) {
    case kInfoPage: return &infoPage_;
    case kUsbProtectionPage: return &usbProtectionPage_;
    case kUsbScanPage: return &usbScanPage_;
    case kMemoryPage: return &memoryPage_;
    case kStartupPage: return &startupPage_;
    case kSystemPage: return &systemPage_;
    case kQuarantinePage: return &quarantinePage_;
    case kImmunityPage: return &immunityPage_;
    default: return nullptr;
    }
}

bool MainWindow::IsPageShown(int page) const
{
    return page >= 1 && page <= kImmunityPage && pageShown_[page];
}

bool MainWindow::OnInitDialog()
{
    published.store(this);
    publishedHandle.store(Handle());
    // What a second instance looks for.
    SetPropA(Handle(), ApplicationName().c_str(), reinterpret_cast<HANDLE>(1));

    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

    // Fixed pixel sizes: the pages are laid out for a 755 x 550 window.
    MoveWindow(Handle(), 50, 50, Scaled(kWindowWidth), Scaled(kWindowHeight), TRUE);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - Scaled(kWindowWidth)) / 2,
                 work.top + (work.bottom - work.top - Scaled(kWindowHeight)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    for (int k = 0; k < 7; ++k) {
        const PageSlot& slot = kPageSlots[k];
        ImageButton& button = buttons_[k];
        button.Attach(Handle(), slot.command);
        button.SetBitmaps(slot.hotBitmap, kWhite, slot.normalBitmap, kWhite);
        button.SetAlignment(ImageButton::ImageAbove);
        button.SetTooltip(LoadText(slot.tooltip), true);
        button.DrawBorder(false);
        button.SetCursor(IDCUR_HAND);
    }

    Dialog* const pages[] = {&infoPage_, &memoryPage_, &quarantinePage_, &usbScanPage_,
                             &usbProtectionPage_, &systemPage_, &immunityPage_, &startupPage_};
    for (Dialog* page : pages) {
        page->CreateModeless(Handle());
        page->Hide();
    }

    std::memset(&trayRecord, 0, sizeof trayRecord);
    trayRecord.cbSize = NOTIFYICONDATAW_V1_SIZE;
    trayRecord.hWnd = Handle();
    trayRecord.uID = kTrayIconId;
    trayRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    trayRecord.uCallbackMessage = kTrayCallbackMessage;
    lstrcpynW(trayRecord.szTip, LoadText(IDS_PROTECTION_ACTIVE).c_str(), 64);
    AddTrayIcon();

    ShowPage(kInfoPage);

    if (HANDLE tray = CreateThread(nullptr, 0, TrayWatchThread, nullptr, 0, nullptr))
        CloseHandle(tray);
    StartWorkerThread(UninstallWatchThread, this);

    RecordFixedDrives();
    HandleUsbDrives();

    // Start-up ends hidden in the tray: the close command hides the window.
    Post(WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

void MainWindow::AddTrayIcon()
{
    // The shell keeps its own copy of the icon. The notification area shows
    // small icons at the session's DPI.
    trayRecord.hIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON,
                                                     GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    Shell_NotifyIconW(NIM_ADD, &trayRecord);
    DestroyIcon(trayRecord.hIcon);
    trayRecord.hIcon = nullptr;
}

DWORD WINAPI MainWindow::TrayWatchThread(void*)
{
    // When Explorer restarts, its new taskbar has no icons of ours.
    for (;;) {
        while (FindWindowA("Shell_TrayWnd", nullptr))
            Sleep(100);
        do
            Sleep(500);
        while (!FindWindowA("Shell_TrayWnd", nullptr));
        AddTrayIcon();
    }
}

DWORD WINAPI MainWindow::UninstallWatchThread(void* argument)
{
    auto* window = static_cast<MainWindow*>(argument);
    const std::wstring caption = LoadText(IDS_UNINSTALLER_CAPTION);
    while (!FindWindowW(nullptr, caption.c_str()))
        Sleep(200);
    ShowMessage(nullptr, IDS_UNINSTALL_WARNING, MB_OK);
    window->EndModal(IDCANCEL);
    return 0;
}

void MainWindow::ShowPage(int page)
{
    for (const PageSlot& slot : kPageSlots) {
        if (!pageShown_[slot.page])
            continue;
        PageOf(slot.page)->Hide();
        pageShown_[slot.page] = false;
        ButtonOf(slot.page)->SetBitmaps(slot.hotBitmap, kWhite, slot.normalBitmap, kWhite);
    }
    if (pageShown_[kImmunityPage]) {
        immunityPage_.Hide();
        pageShown_[kImmunityPage] = false;
    }
    const PageSlot* slot = SlotOf(page);
    if (!slot && page != kImmunityPage)
        return;
    Dialog* shown = PageOf(page);
    shown->Show(SW_SHOW);
    PlacePage(*shown);
    pageShown_[page] = true;
    // The shown page's button keeps its highlighted look.
    if (slot)
        ButtonOf(page)->SetBitmaps(slot->hotBitmap, kWhite);
}

void MainWindow::PlacePage(const Dialog& page) const
{
    SetWindowPos(page.Handle(), HWND_TOP, Scaled(kPageX), Scaled(kPageY), Scaled(kPageWidth), Scaled(kPageHeight),
                 SWP_SHOWWINDOW);
}

void MainWindow::OnDpiChanged(int)
{
    SetWindowPos(Handle(), nullptr, 0, 0, Scaled(kWindowWidth), Scaled(kWindowHeight),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The immunity page has no slot of its own, but is placed like the others.
    for (int page = 1; page <= kImmunityPage; ++page)
        if (IsPageShown(page))
            PlacePage(*PageOf(page));
}

void MainWindow::RequestForwardPage(int page)
{
    if (HWND window = InstanceHandle())
        PostMessageW(window, kBringForwardOnPageMessage, static_cast<WPARAM>(page), 0);
}

void MainWindow::BringForward()
{
    ShowWindow(Handle(), SW_RESTORE);
    SetForegroundWindow(Handle());
}

void MainWindow::HandleUsbDrives()
{
    char letters[kDriveListSize] = {};
    const int count = GetUsbDriveLetters(letters);
    if (count == 0)
        return;
    BringForward();
    ShowPage(kUsbProtectionPage);
    PlaySoundW(MAKEINTRESOURCEW(IDR_WAVE_ALERT), GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC);
    // While delete all or a restore runs the rows belong to its worker; the
    // drives are looked at again when it ends.
    if (usbProtectionPage_.IsListBusy()) {
        usbProtectionPage_.RescanWhenListFree();
        return;
    }
    usbProtectionPage_.ClearThreats();
    usbProtectionPage_.ScanDriveRoots(letters, count);
}

void MainWindow::CheckForUpdate()
{
    // The dialog's own cancel, not the exit question of OnCancel.
    if (StartUpdater(Handle()))
        Dialog::OnCancel();
}

void MainWindow::ShowTrayMenu()
{
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    SetMenuDefaultItem(popup, 0, TRUE);
    // The window must be foreground before TrackPopupMenu, or the menu does
    // not go away when the user clicks elsewhere.
    SetForegroundWindow(Handle());
    POINT cursor;
    GetCursorPos(&cursor);
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, Handle(), nullptr);
    Post(WM_NULL);
    DestroyMenu(menu);
}

bool MainWindow::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    switch (msg) {
    case WM_SYSCOMMAND:
        // Exactly the close command: the caption's close button hides the window.
        if (wParam == SC_CLOSE) {
            Hide();
            result = 0;
            return true;
        }
        return false;
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)
            HandleUsbDrives();
        return false;
    case kTrayCallbackMessage:
        if (lParam == WM_LBUTTONDOWN)
            BringForward();
        else if (lParam == WM_RBUTTONDOWN)
            ShowTrayMenu();
        // Answered here: for the dialog manager 1025 is DM_SETDEFID, and every
        // tray mouse message would make "control 160" the default button.
        result = 0;
        return true;
    case kRescanUsbDrivesMessage:
        HandleUsbDrives();
        result = 0;
        return true;
    case kBringForwardOnPageMessage:
        BringForward();
        ShowPage(static_cast<int>(wParam));
        result = 0;
        return true;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<LRESULT>(icon_);
        return true;
    default:
        return false;
    }
}

bool MainWindow::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDC_PAGE_INFO: ShowPage(kInfoPage); return true;
    case IDC_PAGE_USB_PROTECTION: ShowPage(kUsbProtectionPage); return true;
    case IDC_PAGE_USB_SCAN: ShowPage(kUsbScanPage); return true;
    case IDC_PAGE_NONE: ShowPage(kNoPage); return true;
    case IDC_PAGE_MEMORY: ShowPage(kMemoryPage); return true;
    case IDC_PAGE_STARTUP: ShowPage(kStartupPage); return true;
    case IDC_PAGE_SYSTEM: ShowPage(kSystemPage); return true;
    case IDC_PAGE_QUARANTINE: ShowPage(kQuarantinePage); return true;
    case IDM_EXIT:
        EndModal(IDCANCEL);
        return true;
    case IDM_SHOW_MAIN_WINDOW:
        BringForward();
        return true;
    case IDM_AUTORUN_OFF:
        immunityPage_.ImmuniseAllDrives();
        return true;
    case IDM_AUTORUN_ON:
        immunityPage_.RemoveAllImmunity();
        return true;
    case IDM_SAFE_REMOVAL:
        BringForward();
        ShowPage(kImmunityPage);
        return true;
    case IDM_CHECK_UPDATE:
        CheckForUpdate();
        return true;
    default:
        return false;
    }
}

bool MainWindow::OnSysCommand(WPARAM command, LPARAM)
{
    if ((command & 0xFFF0) != 0x0010)
        return false;
    AboutDialog about;
    about.RunModal(Handle());
    return true;
}

bool MainWindow::OnPaint()
{
    if (!IsIconic(Handle()))
        return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Handle(), &paint);
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(Handle(), &client);
    const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon_);
    EndPaint(Handle(), &paint);
    return true;
}

bool MainWindow::OnHelp(HELPINFO*)
{
    OpenHelpFile(Handle());
    return true;
}

void MainWindow::OnCancel()
{
    if (ShowMessage(Handle(), IDS_EXIT_QUESTION, MB_OKCANCEL) == IDOK)
        EndModal(IDCANCEL);
}

void MainWindow::OnDestroy()
{
    RemovePropA(Handle(), ApplicationName().c_str());
    Shell_NotifyIconW(NIM_DELETE, &trayRecord);
    publishedHandle.store(nullptr);
}
