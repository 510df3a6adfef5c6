#pragma once

#include "controls/ControlTip.h"
#include "framework/Control.h"

#include <string>

// A static text that behaves as a web link. It takes over an existing static
// of a dialog (Attach(dialog, id)), draws its text in link colours, underlines
// it while the pointer is over it (or always, or never), shows a hand cursor
// and a tooltip with its address, and opens the address with the shell when
// clicked. Its size, the area that reacts to the pointer, is fitted to its
// text: again when the dialog gives it another font, and when it learns of
// another DPI (DpiChangedMessage).
class HyperLink : public Control {
public:
    enum Underline { UnderlineHover = -1, UnderlineNever = 0, UnderlineAlways = 1 };

    static constexpr COLORREF kLinkColour = RGB(0, 0, 238);
    static constexpr COLORREF kVisitedColour = RGB(85, 26, 139);
    static constexpr COLORREF kHoverColour = RGB(255, 0, 0);
    static constexpr UINT_PTR kHoverTimer = 100;
    static constexpr UINT kHoverPeriodMs = 100;

    HyperLink() = default;
    ~HyperLink() override;

    // The address opened on a click (a URL or "mailto:" and an address). It is
    // also the tooltip's text; the control is fitted to its text again. Before
    // Attach it only records the address; an empty address at Attach takes the
    // window text, and an empty window text takes the address.
    void SetUrl(const std::string& url);
    const std::string& Url() const { return url_; }
    // UnderlineAlways, UnderlineNever or UnderlineHover (the default).
    void SetUnderline(int mode);
    int UnderlineMode() const { return underline_; }

    bool IsHovered() const { return hovered_; }
    // Whether the last attempt to open the address succeeded.
    bool IsVisited() const { return visited_; }
    // Whether the control now shows its text underlined.
    bool IsUnderlined() const;
    // The colour the text is drawn in now.
    COLORREF TextColour() const;
    HWND Tooltip() const { return tooltip_.Handle(); }
    HCURSOR Cursor() const { return cursor_; }

    // Opens the address as a click does; true when it opened.
    bool Open();

    // The link cursor: cursor 106 of "winhlp32.exe" in `windowsFolder`,
    // copied (`owned` true: the caller destroys it), or, where that file or
    // cursor is missing, the system's hand cursor (`owned` false).
    static HCURSOR LoadLinkCursor(const std::string& windowsFolder, bool& owned);
    // The text of "Unable to open hyperlink:" for a shell result code.
    static std::wstring ErrorText(INT_PTR code);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnAttached() override;

private:
    // The normal and the underlined copy of originalFont_.
    void MakeFonts();
    void TakeFont(HFONT font);
    void ApplyFont(bool underlined);
    void FitToText();
    void Paint(HDC dc);
    void Leave();
    void Release();

    std::string url_;
    int underline_ = UnderlineHover;
    bool hovered_ = false;
    bool visited_ = false;
    HFONT originalFont_ = nullptr;
    HFONT normalFont_ = nullptr;
    HFONT underlinedFont_ = nullptr;
    HFONT shownFont_ = nullptr;
    HCURSOR cursor_ = nullptr;
    bool ownsCursor_ = false;
    ControlTip tooltip_;
};
