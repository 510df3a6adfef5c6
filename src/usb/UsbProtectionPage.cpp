#include "usb/UsbProtectionPage.h"

#include "app/AppMessages.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"
#include "usb/ThreatClassifier.h"

#include <commctrl.h>

#include <cwchar>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Sent by the delete-all worker; carried out on the user-interface thread.
constexpr UINT kEnableButtonsMessage = WM_APP + 1;  // wParam: enable
constexpr UINT kDeleteAllDoneMessage = WM_APP + 2;

// The one list access both threads use: window messages, so that every list
// change is carried out on the user-interface thread whichever thread asks.
std::wstring ListText(HWND list, int row, int column)
{
    std::vector<wchar_t> text(1024, L'\0');
    for (;;) {
        LVITEMW item = {};
        item.iSubItem = column;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                            reinterpret_cast<LPARAM>(&item));
        if (length < static_cast<LRESULT>(text.size()) - 1)
            return std::wstring(text.data(), static_cast<size_t>(length));
        text.resize(text.size() * 2);
    }
}

void SetListText(HWND list, int row, int column, const std::wstring& text)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ListCount(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

// Clears the file's attributes and moves it into quarantine; a file that is
// gone already counts as deleted.
bool DeleteIntoQuarantine(const std::string& path, HWND owner, bool sayWait)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    char found[MAX_PATH];
    if (SearchPathA(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr) == 0)
        return true;
    if (sayWait)
        ShowMessage(owner, IDS_WAIT, MB_OK);
    return QuarantineFile(path.c_str());
}

}  // namespace

UsbProtectionPage::UsbProtectionPage() : Dialog(IDD_USB_PROTECTION_PAGE) {}

UsbProtectionPage::~UsbProtectionPage()
{
    if (counterFont_)
        DeleteObject(counterFont_);
}

HWND UsbProtectionPage::List() const
{
    return Item(IDC_THREAT_LIST_OR_STOP);
}

bool UsbProtectionPage::OnInitDialog()
{
    counterFont_ = CreateFontW(20, 10, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, L"Arial");
    SendItemMessage(IDC_USB_COUNTER, WM_SETFONT, reinterpret_cast<WPARAM>(counterFont_), TRUE);

    const HWND list = List();
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
    const struct {
        UINT header;
        int width;
    } columns[] = {{IDS_COL_THREAT, 600}, {IDS_COL_STATE, 135}};
    for (int k = 0; k < 2; ++k) {
        std::wstring header = LoadText(columns[k].header);
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = columns[k].width;
        column.pszText = &header[0];
        column.iSubItem = k;
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(k), reinterpret_cast<LPARAM>(&column));
    }

    for (ImageButton* button : {&deleteButton_, &deleteAllButton_}) {
        button->Attach(Handle(), button == &deleteButton_ ? IDC_FIRST_BUTTON : IDC_USB_DELETE_ALL);
        button->SetBitmaps(IDB_DELETE, kWhite);
        button->SetAlignment(ImageButton::ImageAbove);
        button->DrawBorder(false);
        button->SetCursor(IDCUR_HAND);
    }
    pictureButton_.Attach(Handle(), IDC_SECOND_BUTTON);
    pictureButton_.SetBitmaps(IDB_USB_DRIVE, kWhite);
    pictureButton_.DrawBorder(false);
    return true;
}

bool UsbProtectionPage::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDC_FIRST_BUTTON:
        DeleteSelectedThreat();
        return true;
    case IDC_USB_DELETE_ALL:
        DeleteAllThreats();
        return true;
    default:
        return false;  // the picture button 1003 does nothing
    }
}

bool UsbProtectionPage::OnMessage(UINT msg, WPARAM wParam, LPARAM, LRESULT& result)
{
    switch (msg) {
    case kEnableButtonsMessage:
        EnableItem(IDC_FIRST_BUTTON, wParam != 0);
        EnableItem(IDC_USB_DELETE_ALL, wParam != 0);
        result = 0;
        return true;
    case kDeleteAllDoneMessage:
        deletingAll_ = false;
        if (rescanPending_) {
            rescanPending_ = false;
            PostToWindow(GetParent(Handle()), kRescanUsbDrivesMessage);
        }
        result = 0;
        return true;
    default:
        return false;
    }
}

int UsbProtectionPage::RowCount() const
{
    return ListCount(List());
}

std::wstring UsbProtectionPage::RowText(int row, int column) const
{
    return ListText(List(), row, column);
}

void UsbProtectionPage::ClearThreats()
{
    SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0);
}

void UsbProtectionPage::AddThreatRow(int row, const std::string& path, const std::wstring& state)
{
    std::wstring text = Widen(path);
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = &text[0];
    const int inserted = static_cast<int>(SendMessageW(List(), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    SetListText(List(), inserted, 1, state);
}

void UsbProtectionPage::ScanDriveRoots(const char* letters, int count)
{
    if (!letters || count <= 0)
        return;
    EnableItem(IDC_FIRST_BUTTON, false);
    EnableItem(IDC_USB_DELETE_ALL, false);

    int row = 0;
    bool found = false;
    const std::wstring risk = LoadText(IDS_RISK);
    // One repaint at the end instead of one per row.
    SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
    for (int k = 0; k < count; ++k) {
        const std::string root = std::string(1, letters[k]) + ":\\";
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((root + "*.*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            // Long names are fine: the path is as long as it needs to be.
            const std::string path = root + entry.cFileName;
            // The search already holds the entry's attributes, so classifying
            // costs no file-system query: directories are never threats.
            const DWORD attributes = entry.dwFileAttributes;
            const int code = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kTypeNone : ClassifyFileName(path.c_str());
            if (code == kTypeNone)
                continue;
            // Every .inf file is listed; any other risky type only when hidden.
            const bool listed = code == kTypeInf || (attributes & FILE_ATTRIBUTE_HIDDEN);
            if (listed) {
                AddThreatRow(row++, path, risk);
                found = true;
            }
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(List(), nullptr, TRUE);

    if (found) {
        wchar_t label[128];
        std::swprintf(label, 128, LoadText(IDS_THREATS_FOUND).c_str(), row);
        SetItemText(IDC_USB_COUNTER, label);
    } else {
        SetItemText(IDC_USB_COUNTER, LoadText(IDS_NO_THREATS));
    }
    EnableItem(IDC_FIRST_BUTTON, true);
    EnableItem(IDC_USB_DELETE_ALL, true);
}

void UsbProtectionPage::DeleteSelectedThreat()
{
    const HWND list = List();
    const int selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (ListCount(list) == 0) {
        ShowMessage(Handle(), IDS_NO_THREATS, MB_OK);
        return;
    }
    if (selected < 0) {
        ShowMessage(Handle(), IDS_SELECT_FILE, MB_OK);
        return;
    }
    const std::wstring widePath = ListText(list, selected, 0);
    if (ShowMessage(Handle(), LoadText(IDS_DELETE_PREFIX) + widePath + L"?", MB_OKCANCEL) != IDOK)
        return;
    const bool deleted = DeleteIntoQuarantine(Narrow(widePath), Handle(), true);
    SetListText(list, selected, 1, LoadText(deleted ? IDS_DELETED : IDS_DELETE_ERROR));
}

void UsbProtectionPage::DeleteAllThreats()
{
    if (RowCount() == 0) {
        ShowMessage(Handle(), IDS_NO_THREATS, MB_OK);
        return;
    }
    if (ShowMessage(Handle(), IDS_DELETE_ALL_QUESTION, MB_OKCANCEL) != IDOK)
        return;
    deletingAll_ = true;
    if (!StartWorkerThread(DeleteAllThreatsWorker, this))
        deletingAll_ = false;
}

DWORD WINAPI UsbProtectionPage::DeleteAllThreatsWorker(void* argument)
{
    // Runs on its own thread: the page's window is reached only through messages.
    auto* page = static_cast<UsbProtectionPage*>(argument);
    const HWND window = page->Handle();
    const HWND list = page->List();

    const int rows = ListCount(list);
    ShowMessage(window, IDS_WAIT, MB_OK);
    SendMessageW(window, kEnableButtonsMessage, FALSE, 0);
    for (int row = 0; row < rows; ++row) {
        const bool deleted = DeleteIntoQuarantine(Narrow(ListText(list, row, 0)), window, false);
        SetListText(list, row, 1, LoadText(deleted ? IDS_DELETED : IDS_DELETE_ERROR));
    }
    SendMessageW(window, kEnableButtonsMessage, TRUE, 0);
    ShowMessage(window, IDS_REATTACH_DRIVE, MB_OK);
    PostToWindow(window, kDeleteAllDoneMessage);
    return 0;
}
