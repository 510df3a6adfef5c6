#include "usb/UsbProtectionPage.h"

#include "app/AppMessages.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "framework/Worker.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"
#include "usb/ThreatClassifier.h"

#include <cwchar>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);

// Sent by the delete-all worker; carried out on the user-interface thread.
constexpr UINT kEnableButtonsMessage = WM_APP + 1;  // wParam: enable
constexpr UINT kDeleteAllDoneMessage = WM_APP + 2;

// Clears the file's attributes and moves it into quarantine; a file that is
// gone already counts as deleted.
bool DeleteIntoQuarantine(const std::string& path, HWND owner, bool sayWait)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    char found[MAX_PATH];
    if (SearchPathA(nullptr, path.c_str(), nullptr, MAX_PATH, found, nullptr) == 0)
        return true;
    if (sayWait)
        ShowMessage(owner, IDS_WAIT, MB_OK);
    if (QuarantineFile(path.c_str()))
        return true;
    // The file stays: it keeps its attributes too, so a hidden threat that
    // could not be deleted is still found by the next scan.
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesA(path.c_str(), attributes);
    return false;
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

    SetUpList(List(), {{IDS_COL_THREAT, 600}, {IDS_COL_STATE, 135}});

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
    return ListRowCount(List());
}

std::wstring UsbProtectionPage::RowText(int row, int column) const
{
    return ListText(List(), row, column);
}

void UsbProtectionPage::ClearThreats()
{
    ClearList(List());
}

void UsbProtectionPage::AddThreatRow(int row, const std::string& path, const std::wstring& state)
{
    const int inserted = InsertListRow(List(), row, Widen(path));
    if (inserted >= 0)
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
    const int selected = SelectedListRow(list);
    if (ListRowCount(list) == 0) {
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
    // Runs on its own thread: the page's window and its list are reached only
    // through messages (the list helpers do nothing else).
    auto* page = static_cast<UsbProtectionPage*>(argument);
    const HWND window = page->Handle();
    const HWND list = page->List();

    const int rows = ListRowCount(list);
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
