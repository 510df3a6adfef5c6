#include "app/MainApp.h"

#include "app/MainWindow.h"
#include "app/Settings.h"
#include "framework/MessageBox.h"
#include "res/resource.h"
#include "usb/AutorunSwitch.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kModulePathSize = 256;

using InitSkinLoadProc = int(WINAPI*)(DWORD threadId);
using LoadSkinProc = int(WINAPI*)(const char* skinPath);
using ExitSkinProc = int(WINAPI*)();

template <typename Proc>
Proc SkinExport(HMODULE library, const char* name)
{
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

bool MainApp::BringFirstInstanceForward() const
{
    const std::string name = ApplicationName();
    for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window && IsWindow(window);
         window = GetWindow(window, GW_HWNDNEXT)) {
        if (GetPropA(window, name.c_str())) {
            ShowWindow(window, SW_RESTORE);
            SetForegroundWindow(window);
            SetForegroundWindow(GetLastActivePopup(window));
            return true;
        }
    }
    return false;
}

void MainApp::LoadSkinLibrary(const char* programFolder)
{
    const std::string libraryPath = std::string(programFolder) + "SkinLoad.dll";
    const std::string skinPath = std::string(programFolder) + "xp_normal.skin";
    skinLibrary_ = LoadLibraryA(libraryPath.c_str());
    if (!skinLibrary_)
        return;
    auto initSkin = SkinExport<InitSkinLoadProc>(skinLibrary_, "InitSkinLoad");
    auto loadSkin = SkinExport<LoadSkinProc>(skinLibrary_, "LoadSkin");
    if (initSkin && loadSkin) {
        initSkin(GetCurrentThreadId());
        loadSkin(skinPath.c_str());
    }
}

bool MainApp::InitInstance()
{
    const std::string name = ApplicationName();
    // Kept open for the whole run; the system removes it when the process ends.
    HANDLE instance = CreateSemaphoreA(nullptr, 1, 1, name.c_str());
    const DWORD created = GetLastError();
    // A semaphore that exists but may not be opened was made by a copy that
    // runs with other rights (an administrator's, say): an instance all the same.
    if ((instance && created == ERROR_ALREADY_EXISTS) || (!instance && created == ERROR_ACCESS_DENIED)) {
        if (instance)
            CloseHandle(instance);
        BringFirstInstanceForward();
        return false;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    HKEY settings = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, nullptr, 0, kSettingsKeyAccess, nullptr, &settings,
                        nullptr) == ERROR_SUCCESS) {
        char module[kModulePathSize] = {};
        const HMODULE self = GetModuleHandleA(nullptr);
        const DWORD length = self ? GetModuleFileNameA(self, module, kModulePathSize) : 0;
        if (length == 0 || length >= kModulePathSize) {
            RegCloseKey(settings);
            ShowMessage(nullptr, IDS_ERROR, MB_OK);
            return false;
        }
        // The program folder: the module path up to and including its last backslash.
        char* lastSlash = std::strrchr(module, '\\');
        if (lastSlash)
            lastSlash[1] = '\0';
        LoadSkinLibrary(module);

        AskStartupAutorunQuestion(settings);

        if (popup_.CreateModeless(nullptr))
            popup_.ShowAboveTaskbar();
        updateDialog_.CreateModeless(nullptr);
        UpdateLastCheck(settings);
        RegCloseKey(settings);
    }

    MainWindow window;
    window.RunModal(nullptr);
    return false;
}

int MainApp::ExitInstance()
{
    if (skinLibrary_) {
        if (auto exitSkin = SkinExport<ExitSkinProc>(skinLibrary_, "ExitSkin"))
            exitSkin();
        FreeLibrary(skinLibrary_);
        skinLibrary_ = nullptr;
    }
    return 0;
}

bool MainApp::UpdateLastCheck(HKEY settings)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return UpdateLastCheck(settings, now.wDay);
}

bool MainApp::UpdateLastCheck(HKEY settings, int today)
{
    // Days of the month, not dates: a stored 28 and a today of 3 are 25 apart.
    char stored[kSettingsValueSize];
    if (ReadSettingsText(settings, kLastCheckValue, stored)) {
        const int day = std::atoi(stored);
        if (day != 0 && std::abs(today - day) <= 7)
            return false;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%d", today);
    WriteSettingsText(settings, kLastCheckValue, text);
    return true;
}
