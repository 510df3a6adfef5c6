#include "controls/ImageButton.h"

#include "controls/ScaledBitmap.h"
#include "framework/Dpi.h"

#include <commctrl.h>
#include <windowsx.h>

#include <initializer_list>

namespace {

// At 96 DPI, scaled with the button's.
const int kMargin = 3;
const int kMaxTipWidth = 400;

// Builds the drawn forms of a bitmap: the colour image with its transparent
// pixels made black, a greyed copy for the disabled look, and the mask that
// keeps the background where the image is transparent.
bool MakeMaskedBitmap(HBITMAP source, COLORREF transparent, HBITMAP& color, HBITMAP& grey, HBITMAP& mask,
                      int& width, int& height)
{
    BITMAP info = {};
    if (!source || !GetObjectW(source, sizeof(info), &info) || info.bmWidth <= 0 || info.bmHeight <= 0)
        return false;
    width = info.bmWidth;
    height = info.bmHeight;

    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height; // top-down rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;

    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<DWORD> pixels(count);
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, source, 0, static_cast<UINT>(height), pixels.data(), &format, DIB_RGB_COLORS);
    void* colorBits = nullptr;
    void* greyBits = nullptr;
    color = rows == height ? CreateDIBSection(screen, &format, DIB_RGB_COLORS, &colorBits, nullptr, 0) : nullptr;
    grey = color ? CreateDIBSection(screen, &format, DIB_RGB_COLORS, &greyBits, nullptr, 0) : nullptr;
    ReleaseDC(nullptr, screen);
    if (!color || !grey) {
        if (color)
            DeleteObject(color);
        color = nullptr;
        return false;
    }

    // DIB pixels are 0x00RRGGBB; monochrome rows are padded to 16 bits.
    const DWORD key = (static_cast<DWORD>(GetRValue(transparent)) << 16) |
                      (static_cast<DWORD>(GetGValue(transparent)) << 8) | GetBValue(transparent);
    const size_t maskStride = ((static_cast<size_t>(width) + 15) / 16) * 2;
    std::vector<BYTE> maskBits(maskStride * static_cast<size_t>(height), 0);
    auto* colorOut = static_cast<DWORD*>(colorBits);
    auto* greyOut = static_cast<DWORD*>(greyBits);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
            const DWORD pixel = pixels[i] & 0x00FFFFFF;
            if (pixel == key) {
                colorOut[i] = 0;
                greyOut[i] = 0;
                maskBits[static_cast<size_t>(y) * maskStride + static_cast<size_t>(x) / 8] |=
                    static_cast<BYTE>(0x80 >> (x % 8));
                continue;
            }
            const DWORD r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
            // Lightened luminance: a disabled picture reads as a pale grey shape.
            const DWORD level = (255 + (r * 30 + g * 59 + b * 11) / 100) / 2;
            colorOut[i] = pixel;
            greyOut[i] = (level << 16) | (level << 8) | level;
        }
    }
    GdiFlush();
    mask = CreateBitmap(width, height, 1, 1, maskBits.data());
    if (!mask) {
        DeleteObject(color);
        DeleteObject(grey);
        color = grey = nullptr;
        return false;
    }
    return true;
}

bool IconSize(HICON icon, int& width, int& height)
{
    ICONINFO info = {};
    if (!GetIconInfo(icon, &info))
        return false;
    BITMAP bitmap = {};
    bool ok = false;
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof(bitmap), &bitmap)) {
        width = bitmap.bmWidth;
        height = bitmap.bmHeight;
        ok = true;
    } else if (info.hbmMask && GetObjectW(info.hbmMask, sizeof(bitmap), &bitmap)) {
        // A monochrome icon's mask holds the AND and XOR halves one above the other.
        width = bitmap.bmWidth;
        height = bitmap.bmHeight / 2;
        ok = true;
    }
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    if (info.hbmMask)
        DeleteObject(info.hbmMask);
    return ok;
}

// The size an icon is drawn at at 100 %: that of its first image, which the
// icon's group directory names (six bytes of header, then 14-byte entries
// that begin with width and height). 0 when there is no such icon.
int IconDesignSize(HINSTANCE instance, int id)
{
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), reinterpret_cast<LPCWSTR>(RT_GROUP_ICON));
    const HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto* directory = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!directory || SizeofResource(instance, found) < 6 + 14 || (directory[4] | directory[5] << 8) == 0)
        return 0;
    return directory[6] != 0 ? directory[6] : 256;
}

void FillColor(HDC dc, const RECT& rect, int systemColor)
{
    FillRect(dc, &rect, GetSysColorBrush(systemColor));
}

// A one-pixel frame: `topLeft` on the top and left edges, `bottomRight` on the others.
void Frame(HDC dc, const RECT& r, int topLeft, int bottomRight)
{
    FillColor(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, topLeft);
    FillColor(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, topLeft);
    FillColor(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, bottomRight);
    FillColor(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, bottomRight);
}

} // namespace

ImageButton::~ImageButton()
{
    for (Image& image : images_)
        FreeImage(image);
    Detach();
}

HINSTANCE ImageButton::Instance() const
{
    return instance_ ? instance_ : GetModuleHandleW(nullptr);
}

int ImageButton::Dpi() const
{
    return dpi_ != 0 ? dpi_ : WindowDpi(Handle());
}

void ImageButton::OnAttached()
{
    dpi_ = WindowDpi(Handle());
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    Repaint(true);
}

void ImageButton::FreeImage(Image& image)
{
    if (image.icon)
        DestroyIcon(image.icon);
    for (HBITMAP bitmap : {image.color, image.grey, image.mask})
        if (bitmap)
            DeleteObject(bitmap);
    image = Image();
}

void ImageButton::SetImages(std::vector<Image> images, bool repaint)
{
    for (Image& image : images_)
        FreeImage(image);
    images_ = std::move(images);
    Repaint(repaint);
}

void ImageButton::Repaint(bool repaint) const
{
    if (repaint && Handle())
        InvalidateRect(Handle(), nullptr, FALSE);
}

ImageButtonResult ImageButton::SetIcons(int iconId, int secondIconId, bool repaint)
{
    const ImageButtonResult result = LoadIcons(iconId, secondIconId, repaint);
    if (result == ImageButtonResult::Ok)
        source_ = {true, {iconId, secondIconId}, {}};
    return result;
}

ImageButtonResult ImageButton::LoadIcons(int iconId, int secondIconId, bool repaint)
{
    std::vector<Image> images;
    for (int id : {iconId, secondIconId}) {
        if (id == 0 && !images.empty())
            break;
        Image image;
        const int size = ScaleToDpi(IconDesignSize(Instance(), id), Dpi());
        // The system picks the icon's image nearest that size.
        image.icon = size > 0 ? static_cast<HICON>(LoadImageW(Instance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size,
                                                              size, 0))
                              : nullptr;
        if (!image.icon || !IconSize(image.icon, image.width, image.height)) {
            FreeImage(image);
            for (Image& loaded : images)
                FreeImage(loaded);
            return ImageButtonResult::ImageNotLoaded;
        }
        images.push_back(image);
    }
    SetImages(std::move(images), repaint);
    return ImageButtonResult::Ok;
}

ImageButtonResult ImageButton::SetBitmaps(int bitmapId, COLORREF transparent, int secondBitmapId,
                                          COLORREF secondTransparent, bool repaint)
{
    const ImageButtonResult result = LoadBitmaps(bitmapId, transparent, secondBitmapId, secondTransparent, repaint);
    if (result == ImageButtonResult::Ok)
        source_ = {false, {bitmapId, secondBitmapId}, {transparent, secondTransparent}};
    return result;
}

ImageButtonResult ImageButton::LoadBitmaps(int bitmapId, COLORREF transparent, int secondBitmapId,
                                           COLORREF secondTransparent, bool repaint)
{
    const HBITMAP first = LoadBitmapForDpi(Instance(), bitmapId, Dpi(), transparent);
    const HBITMAP second = secondBitmapId ? LoadBitmapForDpi(Instance(), secondBitmapId, Dpi(), secondTransparent)
                                          : nullptr;
    if (!first || (secondBitmapId && !second)) {
        if (first)
            DeleteObject(first);
        if (second)
            DeleteObject(second);
        return ImageButtonResult::ImageNotLoaded;
    }
    return UseBitmaps(first, transparent, second, secondTransparent, repaint);
}

ImageButtonResult ImageButton::SetBitmapHandles(HBITMAP bitmap, COLORREF transparent, HBITMAP second,
                                                COLORREF secondTransparent, bool repaint)
{
    const ImageButtonResult result = UseBitmaps(bitmap, transparent, second, secondTransparent, repaint);
    if (result == ImageButtonResult::Ok)
        source_ = Source();
    return result;
}

ImageButtonResult ImageButton::UseBitmaps(HBITMAP bitmap, COLORREF transparent, HBITMAP second,
                                          COLORREF secondTransparent, bool repaint)
{
    std::vector<Image> images;
    bool ok = bitmap != nullptr;
    const HBITMAP sources[] = {bitmap, second};
    const COLORREF keys[] = {transparent, secondTransparent};
    for (int i = 0; ok && i < 2 && sources[i]; ++i) {
        Image image;
        ok = MakeMaskedBitmap(sources[i], keys[i], image.color, image.grey, image.mask, image.width, image.height);
        if (ok)
            images.push_back(image);
    }
    for (HBITMAP source : sources)
        if (source)
            DeleteObject(source);
    if (!ok) {
        for (Image& image : images)
            FreeImage(image);
        return ImageButtonResult::ImageNotLoaded;
    }
    SetImages(std::move(images), repaint);
    return ImageButtonResult::Ok;
}

void ImageButton::ReloadImages()
{
    if (source_.ids[0] == 0)
        return;
    if (source_.icons)
        LoadIcons(source_.ids[0], source_.ids[1], true);
    else
        LoadBitmaps(source_.ids[0], source_.keys[0], source_.ids[1], source_.keys[1], true);
}

ImageButtonResult ImageButton::SetAlignment(int alignment, bool repaint)
{
    if (alignment != ImageLeft && alignment != ImageAbove && alignment != ImageRight)
        return ImageButtonResult::BadAlignment;
    alignment_ = alignment;
    Repaint(repaint);
    return ImageButtonResult::Ok;
}

ImageButtonResult ImageButton::SetCursor(int cursorId, bool repaint)
{
    HCURSOR cursor = nullptr;
    if (cursorId != 0) {
        // Resource cursors are shared by the system; they are never destroyed here.
        cursor = LoadCursorW(Instance(), MAKEINTRESOURCEW(cursorId));
        if (!cursor)
            return ImageButtonResult::ImageNotLoaded;
    }
    cursor_ = cursor;
    Repaint(repaint);
    return ImageButtonResult::Ok;
}

ImageButtonResult ImageButton::DrawBorder(bool on, bool repaint)
{
    drawBorder_ = on;
    Repaint(repaint);
    return ImageButtonResult::Ok;
}

ImageButtonResult ImageButton::SetFlat(bool on, bool repaint)
{
    flat_ = on;
    Repaint(repaint);
    return ImageButtonResult::Ok;
}

ImageButtonResult ImageButton::SetTooltip(const std::wstring& text, bool activate, bool repaint)
{
    if (!Handle())
        return ImageButtonResult::NotAttached;
    if (!tooltip_.SetText(Handle(), text, ScaleToDpi(kMaxTipWidth, Dpi())))
        return ImageButtonResult::TooltipNotCreated;
    tooltip_.Activate(activate);
    Repaint(repaint);
    return ImageButtonResult::Ok;
}

SIZE ImageButton::ImageSize(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= images_.size())
        return SIZE{0, 0};
    return SIZE{images_[static_cast<size_t>(index)].width, images_[static_cast<size_t>(index)].height};
}

int ImageButton::CurrentImageIndex() const
{
    if (images_.empty())
        return -1;
    if (images_.size() == 1)
        return 0;
    const bool pressed = Handle() && (SendMessageW(Handle(), BM_GETSTATE, 0, 0) & BST_PUSHED);
    return hovered_ || pressed ? 0 : 1;
}

LRESULT ImageButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_MOUSEMOVE: {
        // While the button holds the capture (pressed and dragged) moves come
        // from outside it too; only a point inside counts as hovering.
        RECT client;
        GetClientRect(Handle(), &client);
        const POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool inside = PtInRect(&client, point) != FALSE;
        if (inside != hovered_) {
            hovered_ = inside;
            if (inside) {
                TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, Handle(), 0};
                TrackMouseEvent(&track);
            }
            Repaint(true);
        }
        break;
    }
    case WM_MOUSELEAVE:
        if (hovered_) {
            hovered_ = false;
            Repaint(true);
        }
        break;
    case WM_SETCURSOR:
        if (cursor_) {
            ::SetCursor(cursor_);
            return TRUE;
        }
        break;
    case WM_LBUTTONDBLCLK:
        // An owner-drawn button reports the second click of a quick pair as
        // BN_DOUBLECLICKED; a press makes it an ordinary click for the page.
        msg = WM_LBUTTONDOWN;
        break;
    case BM_SETSTYLE:
        // The dialog manager resets push-button styles when the default button
        // moves; keep the owner-draw type.
        wParam = (wParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
        break;
    case WM_ERASEBKGND:
        // DrawItem paints the whole client area.
        return TRUE;
    case WM_SIZE:
        tooltip_.FitToControl(Handle());
        break;
    case WM_DESTROY:
        // The tooltip belongs to the dialog's window and goes with it; forget
        // the handle now, before the system can give it to another window.
        tooltip_.Destroy();
        break;
    case WM_ENABLE:
        if (!wParam)
            hovered_ = false;
        break;
    default:
        if (msg == DpiChangedMessage() && static_cast<int>(wParam) != dpi_) {
            dpi_ = static_cast<int>(wParam);
            ReloadImages();
            if (tooltip_.Handle())
                SendMessageW(tooltip_.Handle(), TTM_SETMAXTIPWIDTH, 0, ScaleToDpi(kMaxTipWidth, dpi_));
        }
        break;
    }
    return DefaultProc(msg, wParam, lParam);
}

void ImageButton::DrawItem(const DRAWITEMSTRUCT& item)
{
    const RECT& target = item.rcItem;
    const int width = target.right - target.left;
    const int height = target.bottom - target.top;
    if (width <= 0 || height <= 0)
        return;
    // Drawn off screen first, so that hovering does not flicker.
    const HDC memory = CreateCompatibleDC(item.hDC);
    const HBITMAP canvas = CreateCompatibleBitmap(item.hDC, width, height);
    if (!memory || !canvas) {
        if (memory)
            DeleteDC(memory);
        if (canvas)
            DeleteObject(canvas);
        Draw(item.hDC, target, item.itemState);
        return;
    }
    const HGDIOBJ oldBitmap = SelectObject(memory, canvas);
    Draw(memory, RECT{0, 0, width, height}, item.itemState);
    BitBlt(item.hDC, target.left, target.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, oldBitmap);
    DeleteObject(canvas);
    DeleteDC(memory);
}

void ImageButton::Draw(HDC dc, const RECT& client, UINT state) const
{
    const bool pressed = (state & ODS_SELECTED) != 0;
    const bool focused = (state & ODS_FOCUS) != 0;
    const bool disabled = (state & ODS_DISABLED) != 0;
    const int shift = pressed ? 1 : 0;
    const int margin = ScaleToDpi(kMargin, Dpi());

    FillColor(dc, client, COLOR_BTNFACE);
    if (flat_) {
        if (drawBorder_ && pressed)
            Frame(dc, client, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
        else if (drawBorder_ && hovered_)
            Frame(dc, client, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW);
    } else {
        RECT frame = client;
        DrawFrameControl(dc, &frame, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    }

    std::wstring caption;
    if (Handle()) {
        caption.resize(static_cast<size_t>(GetWindowTextLengthW(Handle())) + 1);
        caption.resize(static_cast<size_t>(GetWindowTextW(Handle(), &caption[0], static_cast<int>(caption.size()))));
    }
    const bool hasCaption = !caption.empty();

    // The image's place, and the area it leaves to the caption. Without a
    // caption the image is centred.
    RECT textArea = client;
    if (!images_.empty()) {
        const bool first = images_.size() == 1 || hovered_ || pressed;
        const Image& image = images_[first ? 0 : 1];
        const int areaWidth = client.right - client.left;
        const int areaHeight = client.bottom - client.top;
        int x = client.left + (areaWidth - image.width) / 2;
        int y = client.top + (areaHeight - image.height) / 2;
        if (hasCaption) {
            switch (alignment_) {
            case ImageAbove:
                y = client.top + margin;
                textArea.top = y + image.height;
                break;
            case ImageRight:
                x = client.right - margin - image.width;
                textArea.right = x;
                break;
            default:
                x = client.left + margin;
                textArea.left = x + image.width;
                break;
            }
        }
        DrawImage(dc, image, x + shift, y + shift, disabled);
    }

    if (hasCaption) {
        const HFONT font = Handle() ? reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0)) : nullptr;
        const HGDIOBJ oldFont = font ? SelectObject(dc, font) : nullptr;
        const UINT format = DT_WORDBREAK | DT_CENTER;
        RECT measured = {0, 0, textArea.right - textArea.left, 0};
        DrawTextW(dc, caption.c_str(), -1, &measured, format | DT_CALCRECT);
        RECT text = textArea;
        text.left += ((textArea.right - textArea.left) - (measured.right - measured.left)) / 2;
        text.top += ((textArea.bottom - textArea.top) - (measured.bottom - measured.top)) / 2;
        text.right = text.left + (measured.right - measured.left);
        text.bottom = text.top + (measured.bottom - measured.top);
        OffsetRect(&text, shift, shift);
        SetBkMode(dc, TRANSPARENT);
        if (disabled) {
            RECT raised = text;
            OffsetRect(&raised, 1, 1);
            SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
            DrawTextW(dc, caption.c_str(), -1, &raised, format);
            SetTextColor(dc, GetSysColor(COLOR_BTNSHADOW));
        } else {
            SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        }
        DrawTextW(dc, caption.c_str(), -1, &text, format);
        if (font)
            SelectObject(dc, oldFont);
    }

    if (!flat_ && focused) {
        RECT focus = client;
        InflateRect(&focus, -margin, -margin);
        DrawFocusRect(dc, &focus);
    }
}

void ImageButton::DrawImage(HDC dc, const Image& image, int x, int y, bool disabled) const
{
    if (image.icon) {
        if (disabled)
            DrawStateW(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(image.icon), 0, x, y, image.width,
                       image.height, DST_ICON | DSS_DISABLED);
        else
            DrawIconEx(dc, x, y, image.icon, image.width, image.height, 0, nullptr, DI_NORMAL);
        return;
    }
    const HDC source = CreateCompatibleDC(dc);
    if (!source)
        return;
    // A monochrome source is blitted as text colour for 0 bits and background
    // colour for 1 bits: black and white here, so the mask keeps the background
    // where it is 1 and clears it where the image is opaque.
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
    const HGDIOBJ old = SelectObject(source, image.mask);
    BitBlt(dc, x, y, image.width, image.height, source, 0, 0, SRCAND);
    SelectObject(source, disabled ? image.grey : image.color);
    BitBlt(dc, x, y, image.width, image.height, source, 0, 0, SRCPAINT);
    SelectObject(source, old);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
    DeleteDC(source);
}
