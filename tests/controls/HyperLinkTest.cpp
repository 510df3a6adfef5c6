#include "controls/HyperLink.h"
#include "framework/Dialog.h"
#include "support/MessageRecorder.h"
#include "support/ProgramUnderTest.h"
#include "support/ShellAssociation.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <commctrl.h>
#include <shellapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// An address no program opens: the shell refuses it, and the fallback through
// the ".htm" association is all that can open it.
const char kUnopenable[] = "vardenix-test-scheme:nowhere";

class LinkHost : public Dialog {
public:
    LinkHost() : Dialog(IDD_LINKS) {}

protected:
    void OnOK() override {}
    void OnCancel() override {}
};

// What the control shows, drawn into a memory bitmap through WM_PRINTCLIENT.
struct Drawing {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;

    int Count(COLORREF colour) const
    {
        int count = 0;
        for (COLORREF pixel : pixels)
            count += pixel == colour;
        return count;
    }
    // The longest run of `colour` along one row: an underline spans the text.
    int LongestRun(COLORREF colour) const
    {
        int longest = 0;
        for (int y = 0; y < height; ++y) {
            int run = 0;
            for (int x = 0; x < width; ++x) {
                run = pixels[static_cast<size_t>(y * width + x)] == colour ? run + 1 : 0;
                longest = std::max(longest, run);
            }
        }
        return longest;
    }
};

Drawing Draw(HWND control)
{
    RECT client;
    GetClientRect(control, &client);
    Drawing drawing;
    drawing.width = client.right;
    drawing.height = client.bottom;
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = drawing.width;
    format.bmiHeader.biHeight = -drawing.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int k = 0; k < drawing.width * drawing.height; ++k) {
        const DWORD p = pixels[k];
        drawing.pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return drawing;
}

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

std::wstring TooltipText(const HyperLink& link)
{
    wchar_t text[256] = {};
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = link.Handle();
    tool.uId = 1;
    tool.lpszText = text;
    SendMessageW(link.Tooltip(), TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    return text;
}

class HyperLinkTest : public ::testing::Test {
protected:
    LinkHost host;

    void SetUp() override
    {
        ASSERT_TRUE(host.CreateModeless(nullptr));
        SetWindowPos(host.Handle(), HWND_TOPMOST, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        SetCursorPos(0, 0);
    }
    void PointAt(const HyperLink& link)
    {
        RECT rect;
        GetWindowRect(link.Handle(), &rect);
        SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
        SendMessageW(link.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    }
    void Click(const HyperLink& link)
    {
        SendMessageW(link.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
        SendMessageW(link.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    }
};

} // namespace

TEST_F(HyperLinkTest, FitsItselfToItsTextKeepingTheStaticsAlignment)
{
    struct Case {
        int id;
        const char* keeps;
    };
    const Case cases[] = {{IDC_LINK_LEFT, "left"}, {IDC_LINK_CENTRE, "centre"}, {IDC_LINK_RIGHT, "right"},
                          {IDC_LINK_MIDDLE, "middle"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keeps);
        const HWND control = host.Item(c.id);
        const RECT before = RectInParent(control);
        HyperLink link;
        ASSERT_TRUE(link.Attach(control));
        const RECT after = RectInParent(control);

        // Exactly the text's extent in the control's font.
        wchar_t text[128] = {};
        GetWindowTextW(control, text, 128);
        const HDC dc = GetDC(control);
        const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        SIZE extent = {};
        GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
        SelectObject(dc, old);
        ReleaseDC(control, dc);
        EXPECT_EQ(after.right - after.left, extent.cx);
        EXPECT_EQ(after.bottom - after.top, extent.cy);
        EXPECT_LT(extent.cx, before.right - before.left) << "the template leaves room to shrink into";

        const std::string keeps = c.keeps;
        if (keeps == "left") {
            EXPECT_EQ(after.left, before.left);
        } else if (keeps == "right") {
            EXPECT_EQ(after.right, before.right);
        } else if (keeps == "centre") {
            EXPECT_NEAR(after.left + after.right, before.left + before.right, 1);
        }
        if (keeps == "middle") {
            EXPECT_NEAR(after.top + after.bottom, before.top + before.bottom, 1);
            EXPECT_EQ(after.left, before.left);
        } else {
            EXPECT_EQ(after.top, before.top);
        }
        EXPECT_TRUE(GetWindowLongPtrW(control, GWL_STYLE) & SS_NOTIFY) << "a static without it gets no mouse";
    }
}

TEST_F(HyperLinkTest, AddressAndTextFillInEachOtherAndTheTooltipShowsTheAddress)
{
    HyperLink fromText;
    ASSERT_TRUE(fromText.Attach(host.Item(IDC_LINK_LEFT)));
    EXPECT_EQ(fromText.Url(), "http://www.vardenix.example/");
    EXPECT_EQ(TooltipText(fromText), L"http://www.vardenix.example/");

    HyperLink fromAddress;
    fromAddress.SetUrl("mailto:help@vardenix.example");
    ASSERT_TRUE(fromAddress.Attach(host.Item(IDC_LINK_EMPTY)));
    EXPECT_EQ(WindowText(fromAddress.Handle()), L"mailto:help@vardenix.example");
    EXPECT_GT(RectInParent(fromAddress.Handle()).right - RectInParent(fromAddress.Handle()).left, 0);

    // A new address keeps the text and changes the tooltip.
    fromText.SetUrl("http://www.vardenix.example/support/");
    EXPECT_EQ(TooltipText(fromText), L"http://www.vardenix.example/support/");
    EXPECT_EQ(WindowText(fromText.Handle()), L"http://www.vardenix.example/");
}

TEST_F(HyperLinkTest, UnderlinesAndTurnsRedWhileHoveredAsItsModeSays)
{
    struct Case {
        int mode;
        bool atRest;
        bool hovered;
    };
    const Case cases[] = {{HyperLink::UnderlineHover, false, true},
                          {HyperLink::UnderlineAlways, true, true},
                          {HyperLink::UnderlineNever, false, false}};
    HyperLink link;
    ASSERT_TRUE(link.Attach(host.Item(IDC_LINK_LEFT)));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        link.SetUnderline(c.mode);
        EXPECT_EQ(FontUnderlined(link.Handle()), c.atRest);
        Drawing rest = Draw(link.Handle());
        EXPECT_GT(rest.Count(HyperLink::kLinkColour), 0);
        EXPECT_EQ(rest.LongestRun(HyperLink::kLinkColour) > rest.width * 3 / 4, c.atRest);

        PointAt(link);
        EXPECT_TRUE(link.IsHovered());
        EXPECT_EQ(FontUnderlined(link.Handle()), c.hovered);
        Drawing hovered = Draw(link.Handle());
        EXPECT_EQ(hovered.Count(HyperLink::kLinkColour), 0);
        EXPECT_GT(hovered.Count(HyperLink::kHoverColour), 0);
        EXPECT_EQ(hovered.LongestRun(HyperLink::kHoverColour) > hovered.width * 3 / 4, c.hovered);

        // The hover timer notices that the pointer has gone.
        SetCursorPos(0, 0);
        ASSERT_TRUE(WaitFor([&] { return !link.IsHovered(); }, 3000));
        EXPECT_EQ(FontUnderlined(link.Handle()), c.atRest);
        EXPECT_GT(Draw(link.Handle()).Count(HyperLink::kLinkColour), 0);
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
    EXPECT_TRUE(owned);
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(copied, &info));
    EXPECT_FALSE(info.fIcon) << "a cursor, not an icon";
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DestroyCursor(copied);

    const HCURSOR hand = LoadCursorW(nullptr, MAKEINTRESOURCEW(32649));
    ScratchDir empty;
    EXPECT_EQ(HyperLink::LoadLinkCursor(empty.Path(), owned), hand);
    EXPECT_FALSE(owned) << "the system's cursor is shared, never destroyed";

    // Wine's winhlp32.exe has no such cursor: the link shows the hand.
    HyperLink link;
    ASSERT_TRUE(link.Attach(host.Item(IDC_LINK_LEFT)));
    ASSERT_NE(link.Cursor(), nullptr);
    SendMessageW(link.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.Handle()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), link.Cursor());
}

TEST_F(HyperLinkTest, AFailedOpenReportsTheShellsOwnError)
{
    // What the shell itself answers for the address.
    const INT_PTR shellError =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", kUnopenable, nullptr, nullptr, SW_SHOW));
    ASSERT_LE(shellError, 32);
    const std::wstring expected = L"Unable to open hyperlink:\n\n" + HyperLink::ErrorText(shellError);

    // No ".htm" association at all, and one whose browser is missing: the
    // report names the first attempt's error either way.
    const char* const browsers[] = {"", "\"C:\\nowhere\\browser.exe\" \"%1\""};
    for (const char* browser : browsers) {
        SCOPED_TRACE(browser);
        ShellAssociation htm(".htm", browser);
        HyperLink link;
        link.SetUrl(kUnopenable);
        ASSERT_TRUE(link.Attach(host.Item(IDC_LINK_LEFT)));
        MessageRecorder messages;
        Click(link);
        ASSERT_EQ(messages.Count(), 1u);
        EXPECT_EQ(messages.Calls()[0].text, expected);
        EXPECT_EQ(messages.Calls()[0].type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_FALSE(link.IsVisited());
        EXPECT_GT(Draw(link.Handle()).Count(HyperLink::kLinkColour), 0);
    }
    EXPECT_EQ(HyperLink::ErrorText(1234), L"Unknown Error (1234) occurred.");
}

TEST_F(HyperLinkTest, WhenTheShellCannotTheHtmBrowserOpensTheAddress)
{
    // The browser's command, with the file placeholder quoted, bare or absent.
    ScratchDir folder;
    const std::string log = folder / "opened.txt";
    const std::string placeholders[] = {"\"%1\"", "%1", ""};
    for (const std::string& placeholder : placeholders) {
        SCOPED_TRACE(placeholder);
        DeleteFileA(log.c_str());
        ShellAssociation htm(".htm", RecordOpenCommand(log, placeholder));
        HyperLink link;
        link.SetUrl(kUnopenable);
        ASSERT_TRUE(link.Attach(host.Item(IDC_LINK_LEFT)));
        MessageRecorder messages;
        Click(link);
        EXPECT_EQ(messages.Count(), 0u);
        EXPECT_TRUE(link.IsVisited());
        ASSERT_TRUE(WaitFor([&] { return !RecordedLines(log).empty(); }, 10000));
        EXPECT_EQ(RecordedLines(log), std::vector<std::string>{kUnopenable});
        const Drawing visited = Draw(link.Handle());
        EXPECT_GT(visited.Count(HyperLink::kVisitedColour), 0);
        EXPECT_EQ(visited.Count(HyperLink::kLinkColour), 0);
    }
}
