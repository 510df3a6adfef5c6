#include "controls/HyperLink.h"
#include "framework/Dialog.h"
#include "support/MessageRecorder.h"
#include "support/ProgramUnderTest.h"
#include "support/ShellAssociation.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <shellapi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// An address no program opens: the shell refuses it, and only the fallback
// through the ".htm" association can open it.
const char kUnopenable[] = "vardenix-test-scheme:nowhere";

RECT RectInParent(HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool FontUnderlined(HWND control)
{
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfUnderline != FALSE;
}

// The links' dialog, and a link on its left-aligned static.
class HyperLinkTest : public ::testing::Test {
protected:
    Dialog host{IDD_LINKS};
    HyperLink link;

    void SetUp() override
    {
        ASSERT_TRUE(host.CreateModeless(nullptr));
        ASSERT_TRUE(link.Attach(host.Item(IDC_LINK_LEFT)));
        SetWindowPos(host.Handle(), HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        SetCursorPos(0, 0);
    }
};

} // namespace

TEST_F(HyperLinkTest, FitsItselfToItsTextKeepingTheStaticsAlignment)
{
    // Which edge or middle stays put: 0 left, 1 centre, 2 right; and vertically.
    const struct {
        int id, horizontal;
        bool verticalMiddle;
    } cases[] = {{IDC_LINK_CENTRE, 1, false}, {IDC_LINK_RIGHT, 2, false}, {IDC_LINK_MIDDLE, 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        const HWND control = host.Item(c.id);
        const RECT before = RectInParent(control);
        HyperLink fitted;
        ASSERT_TRUE(fitted.Attach(control));
        const RECT after = RectInParent(control);

        const std::wstring text = WindowText(control);
        const HDC dc = GetDC(control);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE extent = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        EXPECT_EQ(after.right - after.left, extent.cx);
        EXPECT_EQ(after.bottom - after.top, extent.cy);

        const LONG sides[3][2] = {{after.left, before.left},
                                  {after.left + after.right, before.left + before.right},
                                  {after.right, before.right}};
        EXPECT_NEAR(sides[c.horizontal][0], sides[c.horizontal][1], 1);
        if (c.verticalMiddle)
            EXPECT_NEAR(after.top + after.bottom, before.top + before.bottom, 1);
        else
            EXPECT_EQ(after.top, before.top);
        EXPECT_TRUE(GetWindowLongPtrW(control, GWL_STYLE) & SS_NOTIFY) << "a static without it gets no mouse";
    }
}

TEST_F(HyperLinkTest, UnderlinesAndTurnsRedWhileHoveredAsItsModeSays)
{
    const struct {
        int mode;
        bool atRest, hovered;
    } cases[] = {{HyperLink::UnderlineHover, false, true},
                 {HyperLink::UnderlineAlways, true, true},
                 {HyperLink::UnderlineNever, false, false}};
    RECT rect;
    GetWindowRect(link.Handle(), &rect);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        link.SetUnderline(c.mode);
        EXPECT_EQ(FontUnderlined(link.Handle()), c.atRest);

        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageW(link.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
        EXPECT_TRUE(link.IsHovered());
        EXPECT_EQ(link.TextColour(), HyperLink::kHoverColour);
        EXPECT_EQ(FontUnderlined(link.Handle()), c.hovered);

        // The hover timer notices that the pointer has gone.
        SetCursorPos(0, 0);
        ASSERT_TRUE(WaitFor([&] { return !link.IsHovered(); }, 3000));
        EXPECT_EQ(FontUnderlined(link.Handle()), c.atRest);
        EXPECT_EQ(link.TextColour(), HyperLink::kLinkColour);
    }
}

TEST_F(HyperLinkTest, ShowsTheLinkCursorOrTheSystemsHand)
{
    // This test program carries a cursor numbered as winhlp32.exe's.
    ScratchDir windows;
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "controls_tests.exe").c_str(), (windows / "winhlp32.exe").c_str(),
                          FALSE));
    bool owned = false;
    const HCURSOR copied = HyperLink::LoadLinkCursor(windows.Path(), owned);
    EXPECT_TRUE(copied && owned);
    DestroyCursor(copied);

    const HCURSOR hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
    ScratchDir empty;
    EXPECT_EQ(HyperLink::LoadLinkCursor(empty.Path(), owned), hand);
    EXPECT_FALSE(owned) << "the system's cursor is shared, never destroyed";

    // Wine's winhlp32.exe has no such cursor: the link shows the hand.
    SendMessageW(link.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), hand);
}

TEST_F(HyperLinkTest, WhenTheShellCannotTheHtmBrowserOpensItOrTheShellsErrorIsShown)
{
    const INT_PTR shellError =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", kUnopenable, nullptr, nullptr, SW_SHOW));
    ASSERT_LE(shellError, 32);
    ScratchDir folder;
    const std::string log = folder / "opened.txt";
    link.SetUrl(kUnopenable);
    // The browser's command: none, a missing program, and the recorder with
    // the file placeholder quoted, bare or absent.
    const std::string browsers[] = {"", "\"C:\\nowhere\\browser.exe\" \"%1\"", RecordOpenCommand(log, "\"%1\""),
                                    RecordOpenCommand(log, "%1"), RecordOpenCommand(log, "")};
    for (const std::string& browser : browsers) {
        SCOPED_TRACE(browser);
        const bool opens = browser.find("record-open") != std::string::npos;
        DeleteFileA(log.c_str());
        ShellAssociation htm(".htm", browser);
        MessageRecorder messages;
        SendMessageW(link.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        EXPECT_EQ(link.IsVisited(), opens);
        EXPECT_EQ(link.TextColour(), opens ? HyperLink::kVisitedColour : HyperLink::kLinkColour);
        // The shell's own error, not that of the browser's start.
        const std::wstring error = L"Unable to open hyperlink:\n\n" + HyperLink::ErrorText(shellError);
        EXPECT_EQ(messages.Texts(), opens ? std::vector<std::wstring>{} : std::vector<std::wstring>{error});
        if (opens) {
            ASSERT_TRUE(WaitFor([&] { return !RecordedLines(log).empty(); }, 10000));
            EXPECT_EQ(RecordedLines(log), std::vector<std::string>{kUnopenable});
        }
    }
}

TEST_F(HyperLinkTest, ANewFontFromTheDialogIsTakenUpAndTheLinkFitsItAgain)
{
    // What Windows 10 sends each control after a move to a monitor of another DPI.
    link.SetUnderline(HyperLink::UnderlineAlways);
    const RECT before = RectInParent(link.Handle());
    LOGFONTW larger = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(link.Handle(), WM_GETFONT, 0, 0)), sizeof larger, &larger);
    larger.lfHeight *= 2;
    larger.lfUnderline = FALSE;
    const HFONT font = CreateFontIndirectW(&larger);
    SendMessageW(link.Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);

    const RECT after = RectInParent(link.Handle());
    EXPECT_GT(after.right - after.left, (before.right - before.left) * 3 / 2);
    EXPECT_GT(after.bottom - after.top, (before.bottom - before.top) * 3 / 2);
    EXPECT_TRUE(FontUnderlined(link.Handle())) << "still always underlined, in the new size";
    link.Detach();
    DeleteObject(font);
}
