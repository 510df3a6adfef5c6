#include "app/MainWindow.h"
#include "app/UpdateDialog.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/ProgramUnderTest.h"
#include "support/TestDrive.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <dbt.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The main window made modeless in the test process, so that the test can
// look at it between messages; start-up runs as in the program.
class MainWindowTest : public ::testing::Test {
protected:
    MainWindow window;

    void SetUp() override
    {
        ASSERT_TRUE(window.CreateModeless(nullptr));
        // Start-up ends with a posted close command that hides the window.
        ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window.Handle()); }, 5000));
    }

    bool PageVisible(int page) { return (GetWindowLongW(window.PageOf(page)->Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }
    void Command(int id) { SendMessageW(window.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
};

const int kPages[] = {1, 2, 3, 5, 6, 7, 8};

}  // namespace

TEST_F(MainWindowTest, StartUpShowsTheInformationPageAndSettlesInTheTray)
{
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    EXPECT_TRUE(window.IsPageShown(1));
    EXPECT_TRUE(PageVisible(1));
    EXPECT_EQ(GetPropA(window.Handle(), "app_tests"), reinterpret_cast<HANDLE>(1));
    EXPECT_EQ(MainWindow::Instance(), &window);
    RECT frame;
    GetWindowRect(window.Handle(), &frame);
    EXPECT_EQ(frame.right - frame.left, 755);
    EXPECT_EQ(frame.bottom - frame.top, 550);

    // The tray record's first version, which every shell takes: the size of
    // the 32-bit or the 64-bit layout, never a figure of the other build.
    EXPECT_EQ(MainWindow::TrayRecord().cbSize, sizeof(void*) == 8 ? 168u : 152u);
}

TEST_F(MainWindowTest, ShowPageShowsOnePageAndHighlightsItsButton)
{
    for (int shown = 0; shown <= 9; ++shown) {
        SCOPED_TRACE(shown);
        window.ShowPage(shown);
        for (int page : kPages) {
            const bool expected = page == shown;
            EXPECT_EQ(window.IsPageShown(page), expected) << page;
            EXPECT_EQ(PageVisible(page), expected) << page;
            // The shown page's button keeps the pointer-over image alone.
            EXPECT_EQ(window.PageButton(page)->ImageCount(), expected ? 1 : 2) << page;
        }
        EXPECT_FALSE(window.IsPageShown(4));
    }
}

TEST_F(MainWindowTest, PageButtonsSwitchPagesAndCommand1008ShowsNone)
{
    const int commands[] = {IDC_PAGE_INFO, IDC_PAGE_USB_PROTECTION, IDC_PAGE_USB_SCAN, IDC_PAGE_MEMORY,
                            IDC_PAGE_STARTUP, IDC_PAGE_SYSTEM, IDC_PAGE_QUARANTINE};
    for (int k = 0; k < 7; ++k) {
        Command(commands[k]);
        EXPECT_TRUE(window.IsPageShown(kPages[k])) << commands[k];
    }
    Command(IDC_PAGE_NONE);
    for (int page : kPages)
        EXPECT_FALSE(PageVisible(page)) << page;
    // The shown page sits below the buttons at a fixed pixel place.
    window.ShowPage(2);
    RECT page;
    GetWindowRect(window.PageOf(2)->Handle(), &page);
    MapWindowPoints(nullptr, window.Handle(), reinterpret_cast<POINT*>(&page), 2);
    EXPECT_EQ(page.left, 0);
    EXPECT_EQ(page.top, 90);
    EXPECT_EQ(page.right - page.left, 750);
    EXPECT_EQ(page.bottom - page.top, 450);
}

TEST_F(MainWindowTest, TheCloseButtonHidesAndTheTrayBringsItBack)
{
    SendMessageW(window.Handle(), 1025, 0, WM_LBUTTONDOWN);
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
    SendMessageW(window.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    EXPECT_TRUE(IsWindow(window.Handle())) << "hidden, not closed";
    Command(IDM_SHOW_MAIN_WINDOW);
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
}

TEST_F(MainWindowTest, TheTraysSafeRemovalEntryBringsTheImmunityPageForward)
{
    Command(IDM_SAFE_REMOVAL);
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
    EXPECT_TRUE(window.IsPageShown(MainWindow::kImmunityPage));
    Dialog& page = *window.PageOf(MainWindow::kImmunityPage);
    EXPECT_TRUE(PageVisible(MainWindow::kImmunityPage));
    EXPECT_TRUE(IsWindowVisible(page.Item(IDC_FIRST_BUTTON))) << "its safe-removal button";
    EXPECT_EQ(WindowText(page.Item(IDC_SAFE_REMOVAL_TEXT)).find(L"Проблема:"), 0u) << "its explanation";
    for (int other : kPages)
        EXPECT_FALSE(PageVisible(other)) << other;
    // A page button takes its place again.
    Command(IDC_PAGE_INFO);
    EXPECT_FALSE(PageVisible(MainWindow::kImmunityPage));
    EXPECT_FALSE(window.IsPageShown(MainWindow::kImmunityPage));
    EXPECT_TRUE(PageVisible(MainWindow::kInfoPage));
}

TEST_F(MainWindowTest, TheExitQuestionEndsOnlyOnOk)
{
    SendMessageW(window.Handle(), 1025, 0, WM_LBUTTONDOWN);
    MessageRecorder messages(IDCANCEL);
    Command(IDCANCEL);
    ASSERT_EQ(messages.Texts(), std::vector<std::wstring>{L"Вы хотите выйти?"});
    EXPECT_EQ(messages.Calls()[0].type & MB_TYPEMASK, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_TRUE(IsWindowVisible(window.Handle())) << "Cancel: nothing happens";
}

TEST_F(MainWindowTest, AnAttachedUsbDriveBringsTheWindowForwardOnTheUsbPage)
{
    TestDrive drive('E', DRIVE_REMOVABLE);
    MakeFile(drive / "AUTORUN.INF", "[autorun]");
    SendMessageW(window.Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
    EXPECT_TRUE(window.IsPageShown(2));
    ASSERT_EQ(window.UsbProtection().RowCount(), 1);
    EXPECT_EQ(window.UsbProtection().RowText(0, 0), L"E:\\AUTORUN.INF");

    // A removal that leaves a drive attached lists it again, without doubling rows.
    TestDrive second('F', DRIVE_REMOVABLE);
    second.Detach();
    window.ShowPage(1);
    SendMessageW(window.Handle(), WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, 0);
    EXPECT_TRUE(window.IsPageShown(2));
    EXPECT_EQ(window.UsbProtection().RowCount(), 1);

    // Other device events change nothing.
    window.ShowPage(1);
    SendMessageW(window.Handle(), WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    EXPECT_TRUE(window.IsPageShown(1));
}

TEST_F(MainWindowTest, APageRequestFromAnotherThreadIsCarriedOutOnTheWindowsThread)
{
    std::thread([] { MainWindow::RequestForwardPage(MainWindow::kSystemPage); }).join();
    EXPECT_FALSE(window.IsPageShown(MainWindow::kSystemPage)) << "posted, not done on the caller's thread";
    ASSERT_TRUE(WaitFor([&] { return window.IsPageShown(MainWindow::kSystemPage); }));
    EXPECT_TRUE(IsWindowVisible(window.Handle()));
    EXPECT_FALSE(window.IsPageShown(MainWindow::kInfoPage));
}

TEST_F(MainWindowTest, WithoutUsbDrivesADeviceEventChangesNothing)
{
    SendMessageW(window.Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_FALSE(IsWindowVisible(window.Handle()));
    EXPECT_TRUE(window.IsPageShown(1));
}

TEST_F(MainWindowTest, ADeviceEventDuringDeleteAllDoesNotRefillTheListUnderTheWorker)
{
    TestDrive drive('E', DRIVE_REMOVABLE);
    MakeFile(drive / "a.inf", "1");
    MakeFile(drive / "b.inf", "2");
    SendMessageW(window.Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    UsbProtectionPage& page = window.UsbProtection();
    ASSERT_EQ(page.RowCount(), 2);
    const std::wstring first = page.RowText(0, 0);

    // The worker waits in its "wait" message while a new drive arrives.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> waiting{false};
    MessageRecorder messages;
    messages.SetAnswer([&](const MessageBoxCall& call) {
        if (call.text == L"Ожидайте") {
            waiting = true;
            WaitForSingleObject(release, 20000);
        }
        return IDOK;
    });
    SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_USB_DELETE_ALL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([&] { return waiting.load(); }));

    TestDrive second('F', DRIVE_REMOVABLE);
    MakeFile(second / "c.inf", "3");
    SendMessageW(window.Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_EQ(page.RowCount(), 2) << "the list is not emptied and refilled under the worker";
    EXPECT_EQ(page.RowText(0, 0), first);

    SetEvent(release);
    ASSERT_TRUE(WaitFor([&] { return !page.IsListBusy(); }, 20000));
    // Only the files the user was shown were deleted; the new drive's file is
    // listed by the rescan that follows the worker.
    EXPECT_FALSE(PathExists(drive / "a.inf"));
    EXPECT_FALSE(PathExists(drive / "b.inf"));
    EXPECT_TRUE(PathExists(second / "c.inf"));
    ASSERT_TRUE(WaitFor([&] { return page.RowCount() == 1; }));
    EXPECT_EQ(page.RowText(0, 0), L"F:\\c.inf");
    EXPECT_EQ(page.RowText(0, 1), L"Риск");
    CloseHandle(release);
}

TEST_F(MainWindowTest, TheHelpRequestTellsWhenTheHelpFileIsMissing)
{
    // No "Tollmark.chm" lies beside the test program.
    MessageRecorder messages(IDOK);
    HELPINFO help = {sizeof help};
    SendMessageW(window.Handle(), WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Документ не найден"});
}

TEST_F(MainWindowTest, WithoutTheUpdaterBothUpdateCommandsSaySoAndTheProgramRunsOn)
{
    // No Tollupd.exe lies beside the test program.
    UpdateDialog dialog;
    ASSERT_TRUE(dialog.CreateModeless(nullptr));
    const struct { HWND target; int command; } requests[] = {{window.Handle(), IDM_CHECK_UPDATE},
                                                             {dialog.Handle(), IDC_UPDATE_NOW}};
    for (const auto& request : requests) {
        MessageRecorder messages(IDOK);
        SendMessageW(request.target, WM_COMMAND, MAKEWPARAM(request.command, BN_CLICKED), 0);
        EXPECT_EQ(messages.Texts(),
                  (std::vector<std::wstring>{L"Выполняется обновление.\r\nПожалуйста, дождитесь завершения проверки.",
                                             L"Update program not found!"}))
            << request.command;
        EXPECT_TRUE(IsWindow(window.Handle()));
    }
    EXPECT_EQ(dialog.Handle(), nullptr) << "the update dialog closes all the same";
}

TEST(MainWindowLifetime, DestroyingTheWindowUnpublishesIt)
{
    MainWindow window;
    ASSERT_TRUE(window.CreateModeless(nullptr));
    const HWND handle = window.Handle();
    EXPECT_NE(GetPropA(handle, "app_tests"), nullptr);
    EXPECT_EQ(MainWindow::InstanceHandle(), handle);
    window.Destroy();
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_EQ(MainWindow::InstanceHandle(), nullptr);
}
