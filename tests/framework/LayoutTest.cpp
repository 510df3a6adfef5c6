// The program's windows laid out at the DPI of the session they run in: this
// program runs in the test session (96 DPI) and in one of its own at 144 DPI
// (a screen scaled to 150 %).
#include "app/MainWindow.h"
#include "framework/Dpi.h"
#include "framework/ListView.h"
#include "quarantine/QuarantinePage.h"
#include "quarantine/UsbScanPage.h"
#include "support/ListCells.h"
#include "support/PageHost.h"
#include "support/TestDrive.h"
#include "tools/MemoryProtectionPage.h"
#include "tools/StartupManagerPage.h"
#include "tools/SystemPage.h"
#include "usb/UsbProtectionPage.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace {

const std::wstring kLongPath =
    L"E:\\Документы\\Отчёты за 2024 год\\Проекты заказчиков\\Материалы и переписка\\setup.exe";

RECT PlaceInParent(HWND window)
{
    RECT place;
    GetWindowRect(window, &place);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

}  // namespace

TEST(PageLists, EveryListShowsAllItsColumnsAndItsLongPathsCutInTheMiddleAndWholeInATip)
{
    const struct {
        const char* name;
        std::function<std::unique_ptr<ChildPage>()> make;
        int pathColumn;
    } pages[] = {
        {"USB protection", [] { return std::make_unique<UsbProtectionPage>(); }, 0},
        {"full scan", [] { return std::make_unique<UsbScanPage>(); }, 0},
        {"quarantine", [] { return std::make_unique<QuarantinePage>(); }, 1},
        // The monitor leaves the list alone for the test's time.
        {"memory", [] { return std::make_unique<MemoryProtectionPage>(MonitorTiming{600000, 600000}); }, 2},
        {"startup", [] { return std::make_unique<StartupManagerPage>(); }, 1},
        {"system", [] { return std::make_unique<SystemPage>(); }, 0},
    };
    PageHost host;
    const int dpi = WindowDpi(host.Handle());
    SetWindowPos(host.Handle(), HWND_TOPMOST, 0, 0, ScaleToDpi(780, dpi), ScaleToDpi(560, dpi), SWP_SHOWWINDOW);
    for (const auto& p : pages) {
        SCOPED_TRACE(p.name);
        const std::unique_ptr<ChildPage> page = p.make();
        ASSERT_TRUE(page->CreateModeless(host.Handle()));
        page->Show();
        const HWND list = page->List();
        RECT client;
        GetClientRect(list, &client);
        EXPECT_LE(ColumnsWidth(list), client.right) << "every column inside the list at its template's size";

        const int columns = static_cast<int>(
            SendMessageW(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), HDM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < 40; ++row) {
            InsertListRow(list, row, p.pathColumn == 0 ? kLongPath : L"setup.exe");
            for (int column = 1; column < columns; ++column)
                SetListText(list, row, column, column == p.pathColumn ? kLongPath : L"Риск");
        }
        GetClientRect(list, &client);
        EXPECT_LE(ColumnsWidth(list), client.right) << "and still with the rows' scroll bar";

        const std::wstring shown = ShownListText(list, 0, p.pathColumn);
        EXPECT_EQ(shown.rfind(L"E:\\", 0), 0u) << shown;
        EXPECT_EQ(shown.substr(shown.size() - 13), L"...\\setup.exe") << shown;
        EXPECT_EQ(ListText(list, 0, p.pathColumn), kLongPath);

        ASSERT_TRUE(PointAtListCell(list, 0, p.pathColumn));
        EXPECT_TRUE(WaitFor([&] { return ShownCellTip(list) == kLongPath; }, 5000)) << ShownCellTip(list);
        SetCursorPos(0, 0);
    }
}

TEST(MainWindowLayout, SizedForItsDpiAndLaidOutAgainOnAMonitorOfAnother)
{
    MainWindow window;
    ASSERT_TRUE(window.CreateModeless(nullptr));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window.Handle()); }, 5000));
    const auto expectLaidOutFor = [&](int dpi) {
        RECT frame;
        GetWindowRect(window.Handle(), &frame);
        EXPECT_EQ(frame.right - frame.left, ScaleToDpi(755, dpi));
        EXPECT_EQ(frame.bottom - frame.top, ScaleToDpi(550, dpi));
        const RECT page = PlaceInParent(window.PageOf(MainWindow::kUsbProtectionPage)->Handle());
        EXPECT_EQ(page.left, 0);
        EXPECT_EQ(page.top, ScaleToDpi(90, dpi));
        EXPECT_EQ(page.right - page.left, ScaleToDpi(750, dpi));
        EXPECT_EQ(page.bottom - page.top, ScaleToDpi(450, dpi));
        EXPECT_EQ(window.PageButton(MainWindow::kUsbProtectionPage)->ImageSize(0).cx, ScaleToDpi(48, dpi));
        EXPECT_EQ(SendMessageW(window.UsbProtection().List(), LVM_GETCOLUMNWIDTH, 1, 0), ScaleToDpi(135, dpi));
    };
    window.ShowPage(MainWindow::kUsbProtectionPage);
    const int dpi = WindowDpi(window.Handle());
    {
        SCOPED_TRACE("at the session's DPI");
        expectLaidOutFor(dpi);
    }

    // Windows' message after a move to a monitor of twice the DPI, with the
    // place it suggests there.
    RECT suggested = {30, 40, 30 + ScaleToDpi(755, 2 * dpi), 40 + ScaleToDpi(550, 2 * dpi)};
    SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_TRUE(WaitFor([&] { return window.Dpi() == 2 * dpi; }, 5000));
    SCOPED_TRACE("after the move");
    expectLaidOutFor(2 * dpi);
    RECT frame;
    GetWindowRect(window.Handle(), &frame);
    EXPECT_EQ(frame.left, 30);
    EXPECT_EQ(frame.top, 40);
}
