#include "usb/ImmunityPage.h"

#include "controls/PageButton.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "usb/AutorunSwitch.h"
#include "usb/Immunity.h"
#include "usb/SafeRemoval.h"

ImmunityPage::ImmunityPage() : ChildPage(IDD_IMMUNITY_PAGE) {}

template <typename Operation>
void ImmunityPage::RunAlone(Operation operation)
{
    if (running_)
        return;
    running_ = true;
    operation();
    running_ = false;
}

bool ImmunityPage::OnInitDialog()
{
    AttachPageButton(immuniseButton_, Handle(), IDC_IMMUNISE, IDB_IMMUNISE, IDS_TIP_IMMUNISE);
    AttachPageButton(cancelImmunityButton_, Handle(), IDC_CANCEL_IMMUNITY, IDB_CANCEL_IMMUNITY, IDS_TIP_CANCEL_IMMUNITY);
    AttachPageButton(safeRemovalButton_, Handle(), IDC_FIRST_BUTTON, IDB_SAFE_REMOVAL, IDS_TIP_SAFE_REMOVAL);
    SetItemText(IDC_IMMUNITY_TEXT, LoadText(IDS_IMMUNITY_HELP));
    SetItemText(IDC_SAFE_REMOVAL_TEXT, LoadText(IDS_SAFE_REMOVAL_HELP));
    return true;
}

bool ImmunityPage::OnCommand(WORD id, WORD, HWND)
{
    switch (id) {
    case IDC_IMMUNISE:
        ImmuniseAllDrives();
        return true;
    case IDC_CANCEL_IMMUNITY:
        RemoveAllImmunity();
        return true;
    case IDC_FIRST_BUTTON:
        RunAlone([this] { SafeRemoveUsbDrives(Handle()); });
        return true;
    default:
        return false;
    }
}

void ImmunityPage::ImmuniseAllDrives()
{
    RunAlone([this] {
        ForEachImmunityDrive(ImmuniseDrive, Handle());
        DisableDriveAutorun(Handle());
        ShowMessage(Handle(), IDS_IMMUNISED, MB_OK);
    });
}

void ImmunityPage::RemoveAllImmunity()
{
    RunAlone([this] {
        ForEachImmunityDrive(RemoveDriveImmunity, Handle());
        RestoreDriveAutorun(Handle());
        ShowMessage(Handle(), IDS_NOT_PROTECTED, MB_OK);
    });
}

