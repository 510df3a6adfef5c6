#include "app/InfoPage.h"
#include "app/MainWindow.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/ProgramUnderTest.h"
#include "support/TestDrive.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

// The text of a tooltip's one tool.
std::wstring TooltipText(HWND tooltip)
{
    wchar_t text[256] = {};
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.lpszText = text;
    if (!SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)))
        return L"(no tool)";
    return text;
}

class InfoPageTest : public ::testing::Test {
protected:
    PageHost host;
    InfoPage page;

    void SetUp() override { ASSERT_TRUE(page.CreateModeless(host.Handle())); }
    void Click(int id) { SendMessageW(page.Item(id), BM_CLICK, 0, 0); }
};

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

TEST_F(InfoPageTest, EveryControlIsSetUpAsThePageWants)
{
    const ImageButton& help = page.HelpButton();
    EXPECT_EQ(help.ImageCount(), 1);
    EXPECT_EQ(help.Alignment(), ImageButton::ImageLeft);
    EXPECT_EQ(TooltipText(help.Tooltip()), L"Чтение");
    EXPECT_FALSE(help.DrawsBorder());
    EXPECT_NE(help.Cursor(), nullptr);

    const ImageButton& status = page.StatusButton();
    EXPECT_EQ(status.ImageCount(), 1);
    EXPECT_EQ(status.Alignment(), ImageButton::ImageAbove);
    EXPECT_FALSE(status.DrawsBorder());
    EXPECT_EQ(TooltipText(status.Tooltip()), L"Защита Активна");
    EXPECT_EQ(page.ItemText(IDC_FIRST_BUTTON), L"Активный");

    const ImageButton& picture = page.Picture();
    EXPECT_EQ(picture.ImageCount(), 1);
    EXPECT_FALSE(picture.DrawsBorder());
    EXPECT_EQ(picture.Tooltip(), nullptr);

    // Both links are always underlined; the home page opens its own text,
    // the support address a new letter to it.
    HyperLink& home = page.HomePageLink();
    EXPECT_EQ(home.Url(), Narrow(page.ItemText(IDC_INFO_HOME_PAGE)));
    HyperLink& email = page.EmailLink();
    EXPECT_EQ(email.Url(), "mailto:" + Narrow(page.ItemText(IDC_INFO_EMAIL)));
    for (HyperLink* link : {&home, &email}) {
        EXPECT_EQ(TooltipText(link->Tooltip()), Widen(link->Url()));
        EXPECT_EQ(link->UnderlineMode(), HyperLink::UnderlineAlways);
        EXPECT_TRUE(link->IsUnderlined());
    }

    EXPECT_EQ(page.ItemText(IDC_INFO_TEXT), LoadText(IDS_INFO_TEXT));
}

TEST_F(InfoPageTest, ClickingTheStatePicturesDoesNothing)
{
    MessageRecorder messages;
    ShowWindow(page.Handle(), SW_SHOW);
    Click(IDC_FIRST_BUTTON);
    Click(IDC_INFO_PICTURE);
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_TRUE(IsWindowVisible(page.Handle()));
}

TEST_F(InfoPageTest, TheHelpButtonTellsWhenTheHelpFileIsMissing)
{
    // No "Tollmark.chm" lies beside the test program.
    ASSERT_FALSE(PathExists(TestProgramFolder() + "Tollmark.chm"));
    MessageRecorder messages;
    Click(IDC_INFO_HELP);
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Документ не найден"});
    EXPECT_EQ(messages.Calls()[0].type, static_cast<UINT>(MB_OK));
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
