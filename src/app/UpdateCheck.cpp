#include "app/UpdateCheck.h"

#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <vector>

namespace {

// The executable's folder with its trailing backslash; empty when the module
// path does not fit, since a cut path would name some other folder's updater.
std::string ProgramFolder()
{
    char module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string folder(module, length);
    folder.erase(folder.rfind('\\') + 1);
    return folder;
}

}  // namespace

std::string UpdaterCommandLine(const std::string& programFolder, const std::string& version)
{
    return "\"" + programFolder + "Tollupd.exe\" Tollmark " + version + " " + kUpdateDescriptionUrl;
}

bool StartUpdater(HWND owner)
{
    // The version of the string table, not of the version block: it is the
    // one the information page shows.
    const std::string version = Narrow(LoadText(IDS_VERSION));
    const std::string folder = ProgramFolder();
    const std::string line = UpdaterCommandLine(folder, version);

    // Shown before the start is tried, so also when the updater is missing.
    ShowMessage(owner, IDS_UPDATE_RUNNING, MB_OK);

    // CreateProcess may write into the command line.
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (folder.empty() || !CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process)) {
        ShowMessage(owner, L"Update program not found!", MB_OK);
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}
