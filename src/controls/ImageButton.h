#pragma once

#include "controls/ControlTip.h"
#include "framework/Control.h"

#include <string>
#include <vector>

enum class ImageButtonResult {
    Ok = 0,
    NotAttached = 1,
    ImageNotLoaded = 2,
    TooltipNotCreated = 3,
    BadAlignment = 4,
};

// The flat owner-drawn push button with a picture, hover highlighting, a
// cursor of its own and a tooltip. It takes over an existing push button of a
// dialog (Attach(dialog, id)); clicks still reach the dialog as the button's
// ordinary WM_COMMAND.
//
// Up to two images: the first is shown while the mouse is over the button or
// it is pressed, the second (when given) otherwise; a single image is shown
// always. Every setter repaints when `repaint` is true.
//
// Pictures from resources follow the button's DPI: a bitmap at the drawing
// nearest it (LoadBitmapForDpi), an icon at its first image's size scaled to
// it; they are loaded again when the button learns of another DPI
// (DpiChangedMessage). The margin and the tooltip's width scale likewise.
class ImageButton : public Control {
public:
    enum Alignment { ImageLeft = 0, ImageAbove = 1, ImageRight = 2 };

    ImageButton() = default;
    ~ImageButton() override;

    // Where images and cursors are loaded from; the executable by default.
    void SetResourceInstance(HINSTANCE instance) { instance_ = instance; }

    // Icons at the size of their first image, scaled to the button's DPI.
    ImageButtonResult SetIcons(int iconId, int secondIconId = 0, bool repaint = true);
    // Pixels of a bitmap's transparent colour are not painted.
    ImageButtonResult SetBitmaps(int bitmapId, COLORREF transparent, int secondBitmapId = 0,
                                 COLORREF secondTransparent = 0, bool repaint = true);
    // The same from bitmaps made in memory, shown at their own size whatever
    // the DPI; the button takes ownership of both.
    ImageButtonResult SetBitmapHandles(HBITMAP bitmap, COLORREF transparent, HBITMAP second = nullptr,
                                       COLORREF secondTransparent = 0, bool repaint = true);
    // ImageLeft, ImageAbove or ImageRight; anything else is refused with
    // BadAlignment and changes nothing.
    ImageButtonResult SetAlignment(int alignment, bool repaint = true);
    // A cursor resource shown over the button, or 0 for the class cursor.
    ImageButtonResult SetCursor(int cursorId, bool repaint = true);
    // On a flat button: a 3-D frame while hovered or pressed.
    ImageButtonResult DrawBorder(bool on, bool repaint = true);
    // A non-flat button has a raised frame at rest and a focus rectangle.
    ImageButtonResult SetFlat(bool on, bool repaint = true);
    // Creates the tooltip on first use (whole client area, tips at most 400
    // pixels wide), later only changes its text; then (de)activates it.
    ImageButtonResult SetTooltip(const std::wstring& text, bool activate = true, bool repaint = true);

    int Alignment() const { return alignment_; }
    bool IsHovered() const { return hovered_; }
    bool IsFlat() const { return flat_; }
    bool DrawsBorder() const { return drawBorder_; }
    int ImageCount() const { return static_cast<int>(images_.size()); }
    // The image that a repaint now would draw: 0 the first, 1 the second, -1 none.
    int CurrentImageIndex() const;
    HWND Tooltip() const { return tooltip_.Handle(); }
    HCURSOR Cursor() const { return cursor_; }
    // The DPI the pictures are made for.
    int Dpi() const;
    // The size of image 0 or 1 as drawn; 0 x 0 when there is no such image.
    SIZE ImageSize(int index) const;

    void DrawItem(const DRAWITEMSTRUCT& item) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    struct Image {
        HICON icon = nullptr;
        HBITMAP color = nullptr; // transparent pixels made black
        HBITMAP grey = nullptr;  // the disabled look, likewise
        HBITMAP mask = nullptr;  // monochrome, 1 where transparent
        int width = 0;
        int height = 0;
    };

    // Where the images came from, to load them again at another DPI; no ids
    // for bitmaps made in memory.
    struct Source {
        bool icons = false;
        int ids[2] = {};
        COLORREF keys[2] = {};
    };

    HINSTANCE Instance() const;
    ImageButtonResult LoadIcons(int iconId, int secondIconId, bool repaint);
    ImageButtonResult LoadBitmaps(int bitmapId, COLORREF transparent, int secondBitmapId, COLORREF secondTransparent,
                                  bool repaint);
    ImageButtonResult UseBitmaps(HBITMAP bitmap, COLORREF transparent, HBITMAP second, COLORREF secondTransparent,
                                 bool repaint);
    void ReloadImages();
    void SetImages(std::vector<Image> images, bool repaint);
    static void FreeImage(Image& image);
    void Repaint(bool repaint) const;
    void Draw(HDC dc, const RECT& client, UINT state) const;
    void DrawImage(HDC dc, const Image& image, int x, int y, bool disabled) const;

    HINSTANCE instance_ = nullptr;
    Source source_;
    int dpi_ = 0;  // until attached: the screen's
    std::vector<Image> images_;
    int alignment_ = ImageLeft;
    bool flat_ = true;
    bool drawBorder_ = true;
    bool hovered_ = false;
    HCURSOR cursor_ = nullptr;
    ControlTip tooltip_;
};
