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

#include <atomic>
#include <thread>
#include <vector>

namespace {

bool Underlined(HWND control)
{
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfUnderline != FALSE;
}

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

// The about box, watched from another thread while the main window runs it
// modally: each time it shows, it is counted and closed, by OK and by Esc in
// turn. One that stays hidden or open is counted apart and closed, so that
// the modal run ends either way.
class AboutBoxWatcher {
public:
    AboutBoxWatcher() : thread_([this] { Watch(); }) {}
    ~AboutBoxWatcher()
    {
        stop_ = true;
        thread_.join();
    }
    int Opened() const { return opened_; }
    int Hidden() const { return hidden_; }
    // Times OK or Esc did not close it.
    int Stuck() const { return stuck_; }

private:
    void Watch()
    {
        while (!stop_) {
            const HWND about = FindWindowW(L"#32770", L"О программе");
            DWORD process = 0;
            GetWindowThreadProcessId(about, &process);
            if (about && process == GetCurrentProcessId()) {
                const DWORD start = GetTickCount();
                while (!IsWindowVisible(about) && GetTickCount() - start < 3000)
                    Sleep(5);
                const HWND ok = GetDlgItem(about, IDOK);
                if (!IsWindowVisible(about)) {
                    ++hidden_;
                    PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
                } else if (opened_++ % 2 == 0) {
                    SendMessageW(ok, BM_CLICK, 0, 0);
                } else {
                    PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
                }
                const DWORD closing = GetTickCount();
                while (IsWindow(about) && !stop_) {
                    if (GetTickCount() - closing > 5000) {
                        ++stuck_;
                        PostMessageW(about, WM_COMMAND, IDCANCEL, 0);
                        Sleep(500);
                    }
                    Sleep(5);
                }
            }
            Sleep(5);
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> opened_{0};
    std::atomic<int> hidden_{0};
    std::atomic<int> stuck_{0};
    std::thread thread_;
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
    EXPECT_EQ(WindowText(picture.Handle()), L"");

    // Both links are always underlined; the home page opens its own text,
    // the support address a new letter to it.
    HyperLink& home = page.HomePageLink();
    EXPECT_EQ(home.Url(), Narrow(page.ItemText(IDC_INFO_HOME_PAGE)));
    EXPECT_EQ(home.Url().rfind("http://", 0), 0u);
    HyperLink& email = page.EmailLink();
    EXPECT_EQ(email.Url(), "mailto:" + Narrow(page.ItemText(IDC_INFO_EMAIL)));
    for (HyperLink* link : {&home, &email}) {
        EXPECT_EQ(link->UnderlineMode(), HyperLink::UnderlineAlways);
        EXPECT_TRUE(Underlined(link->Handle()));
        SetCursorPos(0, 0);
        SendMessageW(link->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
        ASSERT_TRUE(WaitFor([&] { return !link->IsHovered(); }, 3000));
        EXPECT_TRUE(Underlined(link->Handle())) << "still underlined after the pointer left";
    }

    EXPECT_EQ(page.ItemText(IDC_INFO_TEXT), LoadText(IDS_INFO_TEXT));
    EXPECT_TRUE(GetWindowLongW(page.Item(IDC_INFO_TEXT), GWL_STYLE) & ES_READONLY);
}

TEST_F(InfoPageTest, ClickingTheStatePicturesDoesNothing)
{
    MessageRecorder messages;
    ShowWindow(page.Handle(), SW_SHOW);
    Click(IDC_FIRST_BUTTON);
    Click(IDC_INFO_PICTURE);
    EXPECT_EQ(messages.Count(), 0u);
    EXPECT_TRUE(IsWindowVisible(page.Handle()));
    EXPECT_EQ(page.StatusButton().ImageCount(), 1);
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
    AboutBoxWatcher watcher;

    for (WPARAM command = 0x0010; command <= 0x001F; ++command) {
        SCOPED_TRACE(command);
        const int before = watcher.Opened();
        // Returns when the about box has been closed.
        SendMessageW(window.Handle(), WM_SYSCOMMAND, command, 0);
        EXPECT_EQ(watcher.Opened(), before + 1);
        EXPECT_TRUE(IsWindowEnabled(window.Handle())) << "the owner is enabled again";
    }

    // Every other command goes on to the default handling.
    const WPARAM others[] = {0x0000, 0x000F, 0x0020, 0x0110, SC_MINIMIZE};
    for (WPARAM command : others)
        SendMessageW(window.Handle(), WM_SYSCOMMAND, command, 0);
    EXPECT_TRUE(IsIconic(window.Handle())) << "SC_MINIMIZE minimised the window";
    Sleep(200);
    EXPECT_EQ(watcher.Opened(), 16);
    EXPECT_EQ(watcher.Hidden(), 0) << "shown, not run hidden";
    EXPECT_EQ(watcher.Stuck(), 0) << "OK and Esc close it";
}
