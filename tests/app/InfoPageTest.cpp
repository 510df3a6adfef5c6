#include "app/InfoPage.h"
#include "app/MainWindow.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/ProgramUnderTest.h"
#include "support/TestDrive.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Closes the about box from a timer of the thread that runs it modally: a
// shown box by OK and by Esc in turn; one that stays hidden or open is
// counted apart and cancelled, so that the modal run ends either way.
struct AboutBoxCloser {
    static inline int shown = 0, hidden = 0, stuck = 0, ticks = 0;
    static inline HWND seen = nullptr;

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        const HWND about = FindWindowW(L"#32770", L"О программе");
        if (!about)
            return;
        if (about != seen) {
            seen = about;
            ticks = 0;
        }
        const HWND ok = GetDlgItem(about, IDOK);
        if (ticks++ == 0 && IsWindowVisible(about)) {
            if (shown++ % 2 == 0)
                SendMessageW(ok, BM_CLICK, 0, 0);
            else
                PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
        } else if (ticks == 1 || ticks == 100) {
            ++(ticks == 1 ? hidden : stuck);
            PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
        }
    }
};

}  // namespace

TEST(InfoPage, LinksOpenTheirOwnTextAndOnlyTheHelpButtonAnswersAClick)
{
    PageHost host;
    InfoPage page;
    ASSERT_TRUE(page.CreateModeless(host.Handle()));
    // The home page opens its own text, the support address a new letter to
    // it; both are always underlined.
    EXPECT_EQ(page.HomePageLink().Url(), Narrow(page.ItemText(IDC_INFO_HOME_PAGE)));
    EXPECT_EQ(page.EmailLink().Url(), "mailto:" + Narrow(page.ItemText(IDC_INFO_EMAIL)));
    EXPECT_TRUE(page.HomePageLink().IsUnderlined() && page.EmailLink().IsUnderlined());

    // The state pictures do nothing; no "Tollmark.chm" lies beside the test program.
    ASSERT_FALSE(PathExists(TestProgramFolder() + "Tollmark.chm"));
    MessageRecorder messages;
    for (int id : {IDC_FIRST_BUTTON, IDC_INFO_PICTURE, IDC_INFO_HELP})
        SendMessageW(page.Item(id), BM_CLICK, 0, 0);
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Документ не найден"});
}

TEST(AboutBox, OpensForTheSystemCommandsOfItsRangeAndOkAndEscCloseIt)
{
    MainWindow window;
    ASSERT_TRUE(window.CreateModeless(nullptr));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(window.Handle()); }, 5000));
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, AboutBoxCloser::Tick);

    // Each send returns when the about box has been closed.
    for (WPARAM command = 0x0010; command <= 0x001F; ++command)
        SendMessageW(window.Handle(), WM_SYSCOMMAND, command, 0);
    EXPECT_EQ(AboutBoxCloser::shown, 16);
    EXPECT_EQ(AboutBoxCloser::hidden, 0) << "shown, not run hidden";
    EXPECT_EQ(AboutBoxCloser::stuck, 0) << "OK and Esc close it";
    EXPECT_TRUE(IsWindowEnabled(window.Handle())) << "the owner is enabled again";

    // Every other command goes on to the default handling.
    for (WPARAM command : {0x0000, 0x000F, 0x0020, 0x0110, SC_MINIMIZE})
        SendMessageW(window.Handle(), WM_SYSCOMMAND, command, 0);
    EXPECT_TRUE(IsIconic(window.Handle())) << "SC_MINIMIZE minimised the window";
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(AboutBoxCloser::shown + AboutBoxCloser::hidden, 16);
    KillTimer(nullptr, timer);
}
