#include "app/StatusPopup.h"
#include "res/resource.h"

#include "support/TestDrive.h"

#include <gtest/gtest.h>

TEST(StatusPopup, SitsAboveTheTaskbarAtTheDesktopsRightEdgeAndHidesThreeSecondsAfterCreation)
{
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    ASSERT_NE(taskbar, nullptr) << "the test session runs in a desktop with a taskbar";

    StatusPopup popup;
    const DWORD created = GetTickCount();
    ASSERT_TRUE(popup.CreateModeless(nullptr));
    EXPECT_FALSE(popup.IsVisible()) << "created hidden";
    EXPECT_EQ(popup.ItemText(IDC_POPUP_STATUS), L"Защита Активна");
    EXPECT_EQ(popup.ItemText(IDC_FIRST_BUTTON), L"Активный");

    ASSERT_TRUE(popup.ShowAboveTaskbar());
    EXPECT_TRUE(popup.IsVisible());
    RECT bar, desktop, window;
    GetWindowRect(taskbar, &bar);
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(popup.Handle(), &window);
    EXPECT_EQ(window.right, desktop.right);
    EXPECT_EQ(window.bottom, bar.top);

    ASSERT_TRUE(WaitFor([&] { return !popup.IsVisible(); }, 10000));
    const DWORD hiddenAfter = GetTickCount() - created;
    EXPECT_GE(hiddenAfter, 2900u) << "three seconds, counted from creation";
    EXPECT_LE(hiddenAfter, 8000u);
    // Hidden for good: the timer is gone.
    EXPECT_FALSE(WaitFor([&] { return popup.IsVisible(); }, 500));
}
