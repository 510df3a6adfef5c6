#include "app/UpdateCheck.h"

#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"

#include <vector>

std::string UpdaterCommandLine(const std::string& programFolder, const std::string& version)
{
    return "\"" + programFolder + "Tollupd.exe\" Tollmark " + version + " " + kUpdateDescriptionUrl;
}

bool StartUpdater(HWND owner)
{
    // The version of the string table, not of the version block: it is the
    // one the information page shows.
    const std::string version = Narrow(LoadText(IDS_VERSION));
    // Empty when the module path does not fit: a cut path would name some
    // other folder's updater.
    char folder[MAX_PATH] = {};
    const bool found = GetProgramFolder(folder, MAX_PATH);
    const std::string line = UpdaterCommandLine(folder, version);

    // Shown before the start is tried, so also when the updater is missing.
    ShowMessage(owner, IDS_UPDATE_RUNNING, MB_OK);

    // CreateProcess may write into the command line.
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!found || !CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process)) {
        ShowMessage(owner, L"Update program not found!", MB_OK);
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
