#include "controls/ImageButton.h"
#include "controls/ScaledBitmap.h"
#include "framework/Dpi.h"
#include "framework/Dialog.h"
#include "support/TestDrive.h"

#include "TestResources.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kGreen = RGB(0, 255, 0);
// The test bitmaps are 20 x 20: a 4-pixel white ring around a 12 x 12 square.
const int kRing = 4;
const int kSquare = 12;

class ButtonHost : public Dialog {
public:
    ButtonHost() : Dialog(IDD_BUTTONS) {}
    std::vector<std::pair<WORD, WORD>> commands;

protected:
    bool OnCommand(WORD id, WORD code, HWND) override
    {
        commands.emplace_back(id, code);
        return true;
    }
    void OnOK() override {}
    void OnCancel() override {}
};

// A button drawn into a memory bitmap, read back pixel by pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;

    COLORREF At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
    int Count(COLORREF color) const
    {
        int count = 0;
        for (COLORREF pixel : pixels)
            count += pixel == color;
        return count;
    }
    // The bounding box of the pixels of `color`; empty when there are none.
    RECT Bounds(COLORREF color) const
    {
        RECT box = {width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) == color) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        if (box.right == 0)
            box = RECT{0, 0, 0, 0};
        return box;
    }
    bool operator==(const Picture& other) const { return pixels == other.pixels; }
};

Picture Render(ImageButton& button, UINT state = 0)
{
    RECT client;
    GetClientRect(button.Handle(), &client);
    Picture picture;
    picture.width = client.right;
    picture.height = client.bottom;

    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = picture.width;
    format.bmiHeader.biHeight = -picture.height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(dc, bitmap);

    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(button.Id());
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = button.Handle();
    item.hDC = dc;
    item.rcItem = client;
    button.DrawItem(item);
    GdiFlush();

    const auto* data = static_cast<const DWORD*>(bits);
    for (int i = 0; i < picture.width * picture.height; ++i)
        picture.pixels.push_back(RGB((data[i] >> 16) & 0xFF, (data[i] >> 8) & 0xFF, data[i] & 0xFF));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return picture;
}

LONG Width(const RECT& r)
{
    return r.right - r.left;
}

void MouseMove(ImageButton& button, int x, int y)
{
    SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

void MouseLeave(ImageButton& button)
{
    SendMessageW(button.Handle(), WM_MOUSELEAVE, 0, 0);
}

class ImageButtonTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.CreateModeless(nullptr));
        host.Show();
    }

    ButtonHost host;
};

} // namespace

TEST_F(ImageButtonTest, AttachMakesTheButtonOwnerDrawnAndClicksStillReachTheDialog)
{
    ImageButton button;
    EXPECT_FALSE(button.Attach(host.Handle(), 9999));
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_LEFT));
    EXPECT_EQ(GetWindowLongPtrW(button.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);

    SendMessageW(button.Handle(), BM_CLICK, 0, 0);
    ASSERT_EQ(host.commands.size(), 1u);
    EXPECT_EQ(host.commands[0], std::make_pair(WORD(IDC_LEFT), WORD(BN_CLICKED)));
    EXPECT_EQ(GetFocus(), button.Handle()) << "a click gives the button the focus first";

    // A quick second click is a second command, not a double-click notification.
    host.commands.clear();
    for (UINT down : {UINT(WM_LBUTTONDOWN), UINT(WM_LBUTTONDBLCLK)}) {
        SendMessageW(button.Handle(), down, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageW(button.Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    ASSERT_EQ(host.commands.size(), 2u);
    EXPECT_EQ(host.commands[1], std::make_pair(WORD(IDC_LEFT), WORD(BN_CLICKED)));

    // Moving the default button must not turn it back into a plain push button.
    SendMessageW(button.Handle(), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(GetWindowLongPtrW(button.Handle(), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
}

TEST_F(ImageButtonTest, OneBitmapIsShownInEveryState)
{
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_LEFT));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite), ImageButtonResult::Ok);
    EXPECT_EQ(button.ImageCount(), 1);

    EXPECT_EQ(button.CurrentImageIndex(), 0);
    const RECT rest = Render(button).Bounds(kRed);
    EXPECT_EQ(Width(rest), kSquare);

    MouseMove(button, 5, 5);
    EXPECT_TRUE(button.IsHovered());
    EXPECT_EQ(button.CurrentImageIndex(), 0);
    EXPECT_EQ(Width(Render(button).Bounds(kRed)), kSquare);

    // Pressed: the same image, one pixel right and down.
    const RECT pressed = Render(button, ODS_SELECTED).Bounds(kRed);
    EXPECT_EQ(pressed.left, rest.left + 1);
    EXPECT_EQ(pressed.top, rest.top + 1);
    MouseLeave(button);
    EXPECT_FALSE(button.IsHovered());
}

TEST_F(ImageButtonTest, TwoBitmapsSwapToTheFirstWhileHoveredOrPressed)
{
    // The picture button, without a caption that could overlap the picture.
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_PICTURE));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite, IDB_BLUE, kWhite), ImageButtonResult::Ok);

    EXPECT_EQ(button.CurrentImageIndex(), 1);
    Picture picture = Render(button);
    EXPECT_EQ(picture.Count(kBlue), kSquare * kSquare);
    EXPECT_EQ(picture.Count(kRed), 0);

    MouseMove(button, 5, 5);
    EXPECT_EQ(button.CurrentImageIndex(), 0);
    picture = Render(button);
    EXPECT_EQ(picture.Count(kRed), kSquare * kSquare);
    EXPECT_EQ(picture.Count(kBlue), 0);

    // While the button holds the capture, a move outside it is no hover.
    RECT client;
    GetClientRect(button.Handle(), &client);
    MouseMove(button, client.right + 10, 5);
    EXPECT_FALSE(button.IsHovered());
    MouseMove(button, 5, 5);
    MouseLeave(button);
    EXPECT_FALSE(button.IsHovered());
    EXPECT_EQ(button.CurrentImageIndex(), 1);
    EXPECT_EQ(Render(button).Count(kBlue), kSquare * kSquare);

    SendMessageW(button.Handle(), BM_SETSTATE, TRUE, 0);
    EXPECT_EQ(button.CurrentImageIndex(), 0);
    EXPECT_EQ(Render(button, ODS_SELECTED).Count(kRed), kSquare * kSquare);
    SendMessageW(button.Handle(), BM_SETSTATE, FALSE, 0);
}

TEST_F(ImageButtonTest, HoverFollowsTheRealMousePointer)
{
    // The picture button, without a caption that could overlap the picture.
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_PICTURE));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite, IDB_BLUE, kWhite), ImageButtonResult::Ok);
    ASSERT_EQ(button.SetCursor(IDC_TEST_CURSOR), ImageButtonResult::Ok);
    SetWindowPos(host.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

    // Away from the button first. Wine clamps a negative position to the
    // corner and then loses track of later moves, so stay inside the screen.
    RECT box;
    GetWindowRect(button.Handle(), &box);
    const POINT away = {box.right + 200, box.bottom + 200};
    SetCursorPos(away.x, away.y);
    WaitFor([] { return false; }, 100);
    SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    EXPECT_TRUE(WaitFor([&] { return button.IsHovered(); }, 5000));
    EXPECT_EQ(button.CurrentImageIndex(), 0);
    EXPECT_TRUE(WaitFor([&] { return GetCursor() == button.Cursor(); }, 5000));

    SetCursorPos(away.x, away.y);
    EXPECT_TRUE(WaitFor([&] { return !button.IsHovered(); }, 5000));
    EXPECT_EQ(button.CurrentImageIndex(), 1);
}

TEST_F(ImageButtonTest, TransparentColourIsNotPainted)
{
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_LEFT));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite), ImageButtonResult::Ok);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    ASSERT_NE(face, kWhite);

    Picture picture = Render(button);
    const RECT square = picture.Bounds(kRed);
    ASSERT_EQ(Width(square), kSquare);
    EXPECT_EQ(picture.Count(kWhite), 0);
    EXPECT_EQ(picture.At(square.left - kRing, square.top - kRing), face);
    EXPECT_EQ(picture.At(square.left - 1, square.top + 2), face);

    // Any colour can be the transparent one: here the square goes, the ring stays.
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kRed), ImageButtonResult::Ok);
    picture = Render(button);
    EXPECT_EQ(picture.Count(kRed), 0);
    EXPECT_EQ(picture.Count(kWhite), 20 * 20 - kSquare * kSquare);

    // A bitmap made in memory: magenta is transparent, one pixel is black.
    const HDC screen = GetDC(nullptr);
    const HBITMAP made = CreateCompatibleBitmap(screen, 8, 8);
    const HDC dc = CreateCompatibleDC(screen);
    ReleaseDC(nullptr, screen);
    const HGDIOBJ old = SelectObject(dc, made);
    const RECT all = {0, 0, 8, 8};
    const HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &all, magenta);
    DeleteObject(magenta);
    SetPixel(dc, 3, 3, RGB(0, 0, 0));
    SelectObject(dc, old);
    DeleteDC(dc);
    ASSERT_EQ(button.SetBitmapHandles(made, RGB(255, 0, 255)), ImageButtonResult::Ok);
    picture = Render(button);
    EXPECT_EQ(picture.Count(RGB(255, 0, 255)), 0);
    EXPECT_GE(picture.Count(RGB(0, 0, 0)), 1);
}

TEST_F(ImageButtonTest, AlignmentPlacesTheImageAndOtherValuesAreRefused)
{
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_ABOVE));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite), ImageButtonResult::Ok);
    const int margin = 3;

    EXPECT_EQ(button.Alignment(), ImageButton::ImageLeft);
    Picture picture = Render(button);
    EXPECT_EQ(picture.Bounds(kRed).left, margin + kRing);

    ASSERT_EQ(button.SetAlignment(ImageButton::ImageRight), ImageButtonResult::Ok);
    picture = Render(button);
    EXPECT_EQ(picture.Bounds(kRed).right, picture.width - margin - kRing);

    ASSERT_EQ(button.SetAlignment(ImageButton::ImageAbove), ImageButtonResult::Ok);
    picture = Render(button);
    EXPECT_EQ(picture.Bounds(kRed).top, margin + kRing);
    // The caption goes below the image.
    const RECT text = picture.Bounds(GetSysColor(COLOR_BTNTEXT));
    EXPECT_GT(text.top, picture.Bounds(kRed).bottom);

    for (int refused : {3, -1, 7}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(button.SetAlignment(refused), ImageButtonResult::BadAlignment);
        EXPECT_EQ(static_cast<int>(button.SetAlignment(refused)), 4);
        EXPECT_EQ(button.Alignment(), ImageButton::ImageAbove);
        EXPECT_TRUE(Render(button) == picture);
    }

    // Without a caption the picture sits in the middle.
    ImageButton pictureOnly;
    ASSERT_TRUE(pictureOnly.Attach(host.Handle(), IDC_PICTURE));
    ASSERT_EQ(pictureOnly.SetBitmaps(IDB_RED, kWhite), ImageButtonResult::Ok);
    const Picture centred = Render(pictureOnly);
    const RECT square = centred.Bounds(kRed);
    EXPECT_LE(std::abs((square.left + square.right) - centred.width), 1);
    EXPECT_LE(std::abs((square.top + square.bottom) - centred.height), 1);
}

TEST_F(ImageButtonTest, DisabledButtonGreysItsImageAndEmbossesItsCaption)
{
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_DISABLED));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite), ImageButtonResult::Ok);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    const COLORREF textColor = GetSysColor(COLOR_BTNTEXT);

    const Picture enabled = Render(button);
    const RECT square = enabled.Bounds(kRed);
    EXPECT_GT(enabled.Count(textColor), 0);
    EXPECT_EQ(enabled.Count(shadow), 0);

    EnableWindow(button.Handle(), FALSE);
    const Picture disabled = Render(button, ODS_DISABLED);
    EXPECT_EQ(disabled.Count(kRed), 0);
    const COLORREF grey = disabled.At(square.left + 5, square.top + 5);
    EXPECT_EQ(GetRValue(grey), GetGValue(grey));
    EXPECT_EQ(GetGValue(grey), GetBValue(grey));
    EXPECT_NE(grey, face);
    EXPECT_EQ(disabled.At(square.left - 1, square.top), face) << "still transparent when greyed";
    EXPECT_GT(disabled.Count(shadow), 0);
    EXPECT_EQ(disabled.Count(textColor), 0);
}

TEST_F(ImageButtonTest, BorderShowsOnlyWhileHoveredOrPressedAndCanBeSwitchedOff)
{
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_LEFT));
    EXPECT_TRUE(button.DrawsBorder());
    EXPECT_TRUE(button.IsFlat());
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);

    Picture picture = Render(button);
    EXPECT_EQ(picture.At(0, 0), face);
    EXPECT_EQ(picture.At(picture.width - 1, picture.height - 1), face);

    MouseMove(button, 5, 5);
    picture = Render(button);
    EXPECT_EQ(picture.At(0, 0), light);
    EXPECT_EQ(picture.At(picture.width - 1, picture.height - 1), shadow);

    picture = Render(button, ODS_SELECTED);
    EXPECT_EQ(picture.At(0, 0), shadow);
    EXPECT_EQ(picture.At(picture.width - 1, picture.height - 1), light);

    ASSERT_EQ(button.DrawBorder(false), ImageButtonResult::Ok);
    EXPECT_EQ(Render(button).At(0, 0), face);
    EXPECT_EQ(Render(button, ODS_SELECTED).At(0, 0), face);
    // No focus rectangle on a flat button.
    EXPECT_TRUE(Render(button, ODS_FOCUS) == Render(button));
    MouseLeave(button);
}

TEST_F(ImageButtonTest, TooltipIsCreatedOnceWithItsWidthAndFollowsTheText)
{
    ImageButton loose;
    EXPECT_EQ(loose.SetTooltip(L"x"), ImageButtonResult::NotAttached);

    HWND tooltip = nullptr;
    {
        ImageButton button;
        ASSERT_TRUE(button.Attach(host.Handle(), IDC_ABOVE));
        EXPECT_EQ(button.Tooltip(), nullptr);
        ASSERT_EQ(button.SetTooltip(L"Краткая инструкция"), ImageButtonResult::Ok);
        tooltip = button.Tooltip();
        ASSERT_NE(tooltip, nullptr);
        EXPECT_EQ(SendMessageW(tooltip, TTM_GETMAXTIPWIDTH, 0, 0), 400);
        EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);

        ASSERT_EQ(button.SetTooltip(L"Полное исследование USB устройств", false), ImageButtonResult::Ok);
        EXPECT_EQ(button.Tooltip(), tooltip);
        EXPECT_EQ(SendMessageW(tooltip, TTM_GETTOOLCOUNT, 0, 0), 1);

        wchar_t text[100] = {};
        TOOLINFOW tool = {};
        tool.cbSize = TTTOOLINFOW_V2_SIZE;
        tool.hwnd = button.Handle();
        tool.uId = 1;
        tool.lpszText = text;
        SendMessageW(tooltip, TTM_GETTEXTW, 100, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(text, L"Полное исследование USB устройств");

        // The tool covers the whole client area.
        RECT client;
        GetClientRect(button.Handle(), &client);
        ASSERT_TRUE(SendMessageW(tooltip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_TRUE(EqualRect(&tool.rect, &client));
    }
    EXPECT_FALSE(IsWindow(tooltip)) << "the tooltip goes with its button";

    // And with the button's window, when the dialog goes before the object.
    ButtonHost other;
    ASSERT_TRUE(other.CreateModeless(nullptr));
    ImageButton survivor;
    ASSERT_TRUE(survivor.Attach(other.Handle(), IDC_LEFT));
    ASSERT_EQ(survivor.SetTooltip(L"Карантин"), ImageButtonResult::Ok);
    tooltip = survivor.Tooltip();
    other.Destroy();
    EXPECT_EQ(survivor.Handle(), nullptr);
    EXPECT_EQ(survivor.Tooltip(), nullptr);
    EXPECT_FALSE(IsWindow(tooltip));
}

TEST_F(ImageButtonTest, IconsAndCursorComeFromResources)
{
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_LEFT));
    ASSERT_EQ(button.SetIcons(IDI_GREEN), ImageButtonResult::Ok);
    EXPECT_EQ(button.ImageCount(), 1);
    const RECT icon = Render(button).Bounds(kGreen);
    EXPECT_EQ(Width(icon), 16);
    EXPECT_EQ(icon.left, 3);

    // Missing images change nothing.
    EXPECT_EQ(button.SetIcons(IDI_GREEN, 999), ImageButtonResult::ImageNotLoaded);
    EXPECT_EQ(button.SetBitmaps(998, kWhite), ImageButtonResult::ImageNotLoaded);
    EXPECT_EQ(button.ImageCount(), 1);
    EXPECT_EQ(Render(button).Count(kGreen), 16 * 16);

    ASSERT_EQ(button.SetIcons(IDI_GREEN, IDI_GREEN), ImageButtonResult::Ok);
    EXPECT_EQ(button.ImageCount(), 2);

    EXPECT_EQ(button.Cursor(), nullptr);
    EXPECT_EQ(button.SetCursor(997), ImageButtonResult::ImageNotLoaded);
    ASSERT_EQ(button.SetCursor(IDC_TEST_CURSOR), ImageButtonResult::Ok);
    ASSERT_NE(button.Cursor(), nullptr);
    EXPECT_EQ(SendMessageW(button.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(button.Handle()),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(GetCursor(), button.Cursor());
    ASSERT_EQ(button.SetCursor(0), ImageButtonResult::Ok);
    EXPECT_EQ(button.Cursor(), nullptr);
}

// Not a check: shows the buttons for a screenshot. Run with
// --gtest_also_run_disabled_tests --gtest_filter=*Gallery* and
// VARDENIX_GALLERY_MS set to how long the window stays up.
TEST_F(ImageButtonTest, DISABLED_Gallery)
{
    ImageButton above, left, right, disabled, picture, plain;
    const struct {
        ImageButton* button;
        int id;
        int alignment;
    } buttons[] = {{&above, IDC_ABOVE, 1}, {&left, IDC_LEFT, 0}, {&right, IDC_RIGHT, 2},
                   {&disabled, IDC_DISABLED, 1}, {&picture, IDC_PICTURE, 0}};
    for (const auto& b : buttons) {
        ASSERT_TRUE(b.button->Attach(host.Handle(), b.id));
        b.button->SetBitmaps(IDB_RED, kWhite, IDB_BLUE, kWhite);
        b.button->SetAlignment(b.alignment);
        b.button->DrawBorder(false);
        b.button->SetCursor(IDC_TEST_CURSOR);
        b.button->SetTooltip(L"Полное исследование USB устройств");
    }
    // The hovered one keeps its border, to show the raised frame.
    above.DrawBorder(true);
    ASSERT_TRUE(plain.Attach(host.Handle(), IDC_PLAIN));
    plain.SetIcons(IDI_GREEN);
    EnableWindow(disabled.Handle(), FALSE);
    SetWindowPos(host.Handle(), HWND_TOP, 100, 100, 0, 0, SWP_NOSIZE);

    RECT box;
    GetWindowRect(above.Handle(), &box);
    SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    const char* ms = getenv("VARDENIX_GALLERY_MS");
    WaitFor([] { return false; }, ms ? static_cast<DWORD>(atoi(ms)) : 3000);
}

namespace {

// The pixels of a bitmap, as 0x00RRGGBB.
std::vector<DWORD> PixelsOf(HBITMAP bitmap, SIZE& size)
{
    BITMAP info = {};
    GetObjectW(bitmap, sizeof info, &info);
    size = {info.bmWidth, info.bmHeight};
    BITMAPINFO format = {};
    format.bmiHeader = {sizeof(format.bmiHeader), info.bmWidth, -info.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<DWORD> pixels(static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight));
    const HDC screen = GetDC(nullptr);
    GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), pixels.data(), &format, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (DWORD& pixel : pixels)
        pixel &= 0x00FFFFFF;
    return pixels;
}

}  // namespace

TEST(ScaledBitmap, TheDrawingNearestTheDpiIsTakenAndResizedToTheScale)
{
    // Red is drawn at 100 % (20 px), green at 150 % (30), blue at 200 % (40).
    const struct {
        int dpi, size;
        DWORD colour;
    } cases[] = {{96, 20, 0xFF0000}, {120, 25, 0x00FF00}, {144, 30, 0x00FF00}, {168, 35, 0x0000FF},
                 {192, 40, 0x0000FF}, {240, 50, 0x0000FF}, {72, 15, 0xFF0000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dpi);
        const HBITMAP bitmap = LoadBitmapForDpi(GetModuleHandleW(nullptr), IDB_RED, c.dpi, kWhite);
        ASSERT_NE(bitmap, nullptr);
        SIZE size;
        const std::vector<DWORD> pixels = PixelsOf(bitmap, size);
        DeleteObject(bitmap);
        EXPECT_EQ(size.cx, c.size);
        EXPECT_EQ(size.cy, c.size);
        const size_t middle = static_cast<size_t>(c.size / 2);
        EXPECT_EQ(pixels[middle * static_cast<size_t>(c.size) + middle], c.colour);
    }
    EXPECT_EQ(LoadBitmapForDpi(GetModuleHandleW(nullptr), 998, 144, kWhite), nullptr);
}

TEST(ScaledBitmap, ScalingBlendsNeighboursButNeverTheTransparentColour)
{
    // Drawn at 100 % only: at 144 DPI its 8 pixels become 12.
    const HBITMAP bitmap = LoadBitmapForDpi(GetModuleHandleW(nullptr), IDB_STRIPES, 144, kWhite);
    ASSERT_NE(bitmap, nullptr);
    SIZE size;
    const std::vector<DWORD> pixels = PixelsOf(bitmap, size);
    DeleteObject(bitmap);
    ASSERT_EQ(size.cx, 12);
    int blended = 0, transparent = 0;
    for (DWORD pixel : pixels) {
        SCOPED_TRACE(pixel);
        if (pixel == 0xFFFFFF) {
            ++transparent;
            continue;
        }
        // Red and blue have no green: white taken into an edge would show as some.
        EXPECT_EQ(pixel & 0x00FF00, 0u);
        blended += (pixel & 0xFF0000) != 0 && (pixel & 0x0000FF) != 0;
    }
    EXPECT_GT(blended, 0) << "red and blue meet in between, not pixel for pixel";
    EXPECT_GE(transparent, 5);
}

TEST_F(ImageButtonTest, DpiPicturesFollowTheButtonsDpi)
{
    // The picture button, without a caption that could overlap the picture.
    ImageButton button;
    ASSERT_TRUE(button.Attach(host.Handle(), IDC_PICTURE));
    ASSERT_EQ(button.SetBitmaps(IDB_RED, kWhite, IDB_BLUE, kWhite), ImageButtonResult::Ok);
    EXPECT_EQ(button.Dpi(), WindowDpi(host.Handle()));
    if (button.Dpi() == 144) {
        // The session at 150 %: the 150 % drawing, green, at its own size.
        EXPECT_EQ(button.ImageSize(0).cx, 30);
        EXPECT_EQ(Render(button, ODS_SELECTED).Count(kGreen), 30 * 30);
        EXPECT_EQ(button.ImageSize(1).cx, 30) << "blue has only its 100 % drawing, enlarged";
    } else {
        EXPECT_EQ(button.ImageSize(0).cx, ScaleToDpi(20, button.Dpi()));
    }

    // Told of another DPI, the button draws its pictures for it.
    SendMessageW(button.Handle(), DpiChangedMessage(), 192, 0);
    EXPECT_EQ(button.Dpi(), 192);
    EXPECT_EQ(button.ImageSize(0).cx, 40);
    EXPECT_EQ(Render(button, ODS_SELECTED).Count(kBlue), 40 * 40) << "the 200 % drawing";
    ASSERT_EQ(button.SetIcons(IDI_GREEN), ImageButtonResult::Ok);
    EXPECT_EQ(button.ImageSize(0).cx, 32) << "the 16-pixel icon at 200 %";
}
