#include "usb/AutorunSwitch.h"

#include "app/Settings.h"
#include "framework/MessageBox.h"
#include "res/resource.h"

namespace {

void WriteAutorunPolicy(HWND owner, DWORD mask)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerPolicyKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        ShowMessage(owner,
                    L"Tollmark failed in accessing the registry.\r\n"
                    L"Please check if the current user has right to access the registry.",
                    MB_OK);
        return;
    }
    RegSetValueExA(key, kNoDriveTypeAutoRunValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mask),
                   sizeof mask);
    RegCloseKey(key);
}

}  // namespace

void DisableDriveAutorun(HWND owner)
{
    WriteAutorunPolicy(owner, kAutorunOffMask);
}

void RestoreDriveAutorun(HWND owner)
{
    WriteAutorunPolicy(owner, kAutorunOnMask);
}

void AskStartupAutorunQuestion(HKEY settings)
{
    char asked[kSettingsValueSize];
    if (ReadSettingsText(settings, kAutorunValue, asked))
        return;
    if (ShowMessage(nullptr, IDS_AUTORUN_QUESTION, MB_OKCANCEL) == IDOK)
        DisableDriveAutorun();
    WriteSettingsText(settings, kAutorunValue, "1");
}
