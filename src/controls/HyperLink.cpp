#include "controls/HyperLink.h"

#include "framework/Dpi.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace {

const int kLinkCursorId = 106;

std::wstring WindowTextOf(HWND window)
{
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The default value of a key under HKEY_CLASSES_ROOT, of any length; an
// expandable string comes back expanded.
bool ReadClassDefault(const std::string& subkey, std::string& value)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size);
    std::vector<char> data(static_cast<size_t>(size) + 1, '\0');
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    value.assign(data.data());
    if (type == REG_EXPAND_SZ) {
        const DWORD length = ExpandEnvironmentStringsA(value.c_str(), nullptr, 0);
        std::vector<char> expanded(length + 1, '\0');
        if (length && ExpandEnvironmentStringsA(value.c_str(), expanded.data(), length + 1))
            value.assign(expanded.data());
    }
    return !value.empty();
}

// The browser that opens ".htm" files, started with `url`; the result is that
// of WinExec, or `failed` when there is no such association.
INT_PTR OpenWithHtmlBrowser(const std::string& url, INT_PTR failed)
{
    std::string progId, command;
    if (!ReadClassDefault(".htm", progId) || !ReadClassDefault(progId + "\\shell\\open\\command", command))
        return failed;
    // The address takes the place of the file placeholder, quoted or not.
    size_t cut = command.find("\"%1\"");
    if (cut == std::string::npos)
        cut = command.find("%1");
    if (cut != std::string::npos)
        command.erase(cut);
    command += " " + url;
    return static_cast<INT_PTR>(WinExec(command.c_str(), SW_SHOW));
}

} // namespace

HyperLink::~HyperLink()
{
    Release();
    Detach();
}

void HyperLink::Release()
{
    if (Handle()) {
        // The control outlives this object by a moment; give it back a font that still exists.
        SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(originalFont_), FALSE);
        KillTimer(Handle(), kHoverTimer);
    }
    tooltip_.Destroy();
    if (normalFont_)
        DeleteObject(normalFont_);
    if (underlinedFont_)
        DeleteObject(underlinedFont_);
    normalFont_ = underlinedFont_ = shownFont_ = nullptr;
    if (cursor_ && ownsCursor_)
        DestroyCursor(cursor_);
    cursor_ = nullptr;
    ownsCursor_ = false;
}

void HyperLink::OnAttached()
{
    // Without the notify style a static lets the mouse through to its parent.
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    SetWindowLongPtrW(Handle(), GWL_STYLE, style | SS_NOTIFY);

    if (url_.empty())
        url_ = Narrow(WindowTextOf(Handle()));
    else if (GetWindowTextLengthW(Handle()) == 0)
        SetWindowTextW(Handle(), Widen(url_).c_str());

    originalFont_ = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
    MakeFonts();
    ApplyFont(underline_ == UnderlineAlways);
    FitToText();

    char windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    cursor_ = LoadLinkCursor(length && length < MAX_PATH ? windows : "", ownsCursor_);

    if (tooltip_.SetText(Handle(), Widen(url_)))
        tooltip_.Activate(true);
}

void HyperLink::MakeFonts()
{
    HGDIOBJ base = originalFont_;
    if (!base)
        base = GetStockObject(DEFAULT_GUI_FONT);
    if (!base)
        base = GetStockObject(SYSTEM_FONT);
    LOGFONTW font = {};
    GetObjectW(base, sizeof(font), &font);
    font.lfUnderline = FALSE;
    normalFont_ = CreateFontIndirectW(&font);
    font.lfUnderline = TRUE;
    underlinedFont_ = CreateFontIndirectW(&font);
}

void HyperLink::TakeFont(HFONT font)
{
    const HFONT oldNormal = normalFont_, oldUnderlined = underlinedFont_;
    const bool underlined = IsUnderlined();
    originalFont_ = font;
    MakeFonts();
    ApplyFont(underlined);
    FitToText();
    DeleteObject(oldNormal);
    DeleteObject(oldUnderlined);
}

void HyperLink::ApplyFont(bool underlined)
{
    shownFont_ = underlined ? underlinedFont_ : normalFont_;
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(shownFont_), FALSE);
    InvalidateRect(Handle(), nullptr, TRUE);
}

bool HyperLink::IsUnderlined() const
{
    return shownFont_ && shownFont_ == underlinedFont_;
}

COLORREF HyperLink::TextColour() const
{
    if (hovered_)
        return kHoverColour;
    return visited_ ? kVisitedColour : kLinkColour;
}

void HyperLink::SetUrl(const std::string& url)
{
    url_ = url;
    if (!Handle())
        return;
    if (tooltip_.Handle())
        tooltip_.SetText(Handle(), Widen(url_));
    FitToText();
}

void HyperLink::SetUnderline(int mode)
{
    if (mode != UnderlineAlways && mode != UnderlineNever)
        mode = UnderlineHover;
    underline_ = mode;
    if (Handle())
        ApplyFont(mode == UnderlineAlways || (mode == UnderlineHover && hovered_));
}

void HyperLink::FitToText()
{
    const HWND parent = GetParent(Handle());
    RECT window, client;
    GetWindowRect(Handle(), &window);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&window), 2);
    GetClientRect(Handle(), &client);

    const std::wstring text = WindowTextOf(Handle());
    SIZE extent = {};
    const HDC dc = GetDC(Handle());
    const HGDIOBJ old = SelectObject(dc, underlinedFont_ ? underlinedFont_ : GetStockObject(DEFAULT_GUI_FONT));
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(Handle(), dc);
    // Room for a border, if the static has one.
    extent.cx += (window.right - window.left) - client.right;
    extent.cy += (window.bottom - window.top) - client.bottom;

    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    if (style & SS_CENTERIMAGE) {
        const LONG spare = (window.bottom - window.top - extent.cy) / 2;
        window.top += spare;
        window.bottom = window.top + extent.cy;
    } else {
        window.bottom = window.top + extent.cy;
    }
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: {
        const LONG spare = (window.right - window.left - extent.cx) / 2;
        window.left += spare;
        window.right = window.left + extent.cx;
        break;
    }
    case SS_RIGHT:
        window.left = window.right - extent.cx;
        break;
    default:
        window.right = window.left + extent.cx;
        break;
    }
    SetWindowPos(Handle(), nullptr, window.left, window.top, window.right - window.left, window.bottom - window.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    tooltip_.FitToControl(Handle());
}

void HyperLink::Paint(HDC dc)
{
    RECT client;
    GetClientRect(Handle(), &client);
    // The parent's background, as a plain static would have it; the text is
    // then drawn transparently on it in the link's colour.
    const HWND parent = GetParent(Handle());
    auto brush = reinterpret_cast<HBRUSH>(
        SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Handle())));
    FillRect(dc, &client, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));

    const HGDIOBJ old = SelectObject(dc, shownFont_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, TextColour());
    const LONG_PTR style = GetWindowLongPtrW(Handle(), GWL_STYLE);
    UINT format = DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: format |= DT_CENTER; break;
    case SS_RIGHT: format |= DT_RIGHT; break;
    default: format |= DT_LEFT; break;
    }
    format |= (style & SS_CENTERIMAGE) ? DT_SINGLELINE | DT_VCENTER : DT_WORDBREAK;
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    std::wstring text = WindowTextOf(Handle());
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, format);
    SelectObject(dc, old);
}

void HyperLink::Leave()
{
    hovered_ = false;
    KillTimer(Handle(), kHoverTimer);
    ApplyFont(underline_ == UnderlineAlways);
}

bool HyperLink::Open()
{
    hovered_ = false;
    const INT_PTR first = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url_.c_str(), nullptr, nullptr,
                                                                  SW_SHOW));
    INT_PTR result = first;
    if (result <= 32)
        result = OpenWithHtmlBrowser(url_, first);
    visited_ = result > 32;
    if (Handle())
        InvalidateRect(Handle(), nullptr, TRUE);
    if (!visited_) {
        MessageBeep(MB_ICONEXCLAMATION);
        // The shell's own error says more than that of the fallback browser start.
        ShowMessage(Handle() ? GetAncestor(Handle(), GA_ROOT) : nullptr,
                    L"Unable to open hyperlink:\n\n" + ErrorText(first), MB_OK | MB_ICONEXCLAMATION);
    }
    return visited_;
}

HCURSOR HyperLink::LoadLinkCursor(const std::string& windowsFolder, bool& owned)
{
    owned = false;
    if (!windowsFolder.empty()) {
        std::string path = windowsFolder;
        if (path.back() != '\\')
            path += '\\';
        path += "winhlp32.exe";
        // As data only: nothing of that program runs in this process.
        if (HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
            HCURSOR copy = nullptr;
            if (HCURSOR cursor = LoadCursorW(module, MAKEINTRESOURCEW(kLinkCursorId)))
                copy = reinterpret_cast<HCURSOR>(CopyIcon(reinterpret_cast<HICON>(cursor)));
            FreeLibrary(module);
            if (copy) {
                owned = true;
                return copy;
            }
        }
    }
    // Current Windows no longer carries that cursor; the system's hand looks the same.
    return LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)); // IDC_HAND
}

std::wstring HyperLink::ErrorText(INT_PTR code)
{
    switch (code) {
    case 0: return L"The operating system is out\nof memory or resources.";
    case SE_ERR_FNF: return L"The specified file was not found.";
    case SE_ERR_PNF: return L"The specified path was not found.";
    case SE_ERR_ACCESSDENIED: return L"The operating system denied\naccess to the specified file.";
    case SE_ERR_OOM: return L"There was not enough memory to complete the operation.";
    case ERROR_BAD_FORMAT: return L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case SE_ERR_SHARE: return L"A sharing violation occurred. ";
    case SE_ERR_ASSOCINCOMPLETE: return L"The filename association is\nincomplete or invalid.";
    case SE_ERR_DDETIMEOUT: return L"The DDE transaction could not\nbe completed because the request timed out.";
    case SE_ERR_DDEFAIL: return L"The DDE transaction failed.";
    case SE_ERR_DDEBUSY:
        return L"The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed.";
    case SE_ERR_NOASSOC: return L"There is no application associated\nwith the given filename extension.";
    case SE_ERR_DLLNOTFOUND: return L"The specified dynamic-link library was not found.";
    default: return L"Unknown Error (" + std::to_wstring(code) + L") occurred.";
    }
}

LRESULT HyperLink::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(Handle(), &paint);
        Paint(dc);
        EndPaint(Handle(), &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_ERASEBKGND:
        // Paint fills the whole client area.
        return TRUE;
    case WM_MOUSEMOVE:
        if (!hovered_) {
            hovered_ = true;
            if (underline_ == UnderlineHover)
                ApplyFont(true);
            InvalidateRect(Handle(), nullptr, TRUE);
            // The pointer may leave without another move reaching us; the
            // timer looks for it until it has gone.
            SetTimer(Handle(), kHoverTimer, kHoverPeriodMs, nullptr);
        }
        break;
    case WM_TIMER:
        if (wParam == kHoverTimer) {
            POINT cursor;
            GetCursorPos(&cursor);
            ScreenToClient(Handle(), &cursor);
            RECT client;
            GetClientRect(Handle(), &client);
            if (!PtInRect(&client, cursor))
                Leave();
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (cursor_) {
            ::SetCursor(cursor_);
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        Open();
        break;
    case WM_SETFONT:
        // A font of the dialog's (Windows 10 sends the controls new ones after
        // a move to a monitor of another DPI): the link's own are made anew
        // from it, and the link fits its text again.
        if (reinterpret_cast<HFONT>(wParam) != normalFont_ && reinterpret_cast<HFONT>(wParam) != underlinedFont_) {
            TakeFont(reinterpret_cast<HFONT>(wParam));
            return 0;
        }
        break;
    case WM_DESTROY:
        KillTimer(Handle(), kHoverTimer);
        // The tooltip goes with its owner; forget the handle before the
        // system can give it to another window.
        tooltip_.Destroy();
        break;
    default:
        if (msg == DpiChangedMessage())
            FitToText();
        break;
    }
    return DefaultProc(msg, wParam, lParam);
}
