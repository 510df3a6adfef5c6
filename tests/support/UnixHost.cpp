#include "support/UnixHost.h"

#include "support/TestDrive.h"

#include <windows.h>

#include <vector>

namespace {

using WineGetUnixFileName = char*(CDECL*)(const WCHAR*);
using WineGetDosFileName = WCHAR*(CDECL*)(const char*);

FARPROC WineExport(const char* name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

// Starts a host program under Wine, which runs Unix executables directly.
// The handle it gives back does not follow the Unix process, so callers wait
// for the program's effect instead.
bool RunUnix(const std::string& program, const std::string& arguments)
{
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(("Z:" + program).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

}  // namespace

std::string UnixPathOf(const std::string& windowsPath)
{
    auto convert = reinterpret_cast<WineGetUnixFileName>(reinterpret_cast<void*>(WineExport("wine_get_unix_file_name")));
    if (!convert)
        return std::string();
    std::vector<WCHAR> wide(windowsPath.size() + 1);
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
    char* unixPath = convert(wide.data());
    if (!unixPath)
        return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

std::wstring WindowsPathOf(const std::string& unixPath)
{
    auto convert = reinterpret_cast<WineGetDosFileName>(reinterpret_cast<void*>(WineExport("wine_get_dos_file_name")));
    if (!convert)
        return std::wstring();
    WCHAR* windowsPath = convert(unixPath.c_str());
    if (!windowsPath)
        return std::wstring();
    std::wstring result = windowsPath;
    HeapFree(GetProcessHeap(), 0, windowsPath);
    return result;
}

bool MakeUnixLink(const std::string& target, const std::string& folder, const std::string& name)
{
    const std::string unixFolder = UnixPathOf(folder);
    return !unixFolder.empty() && RunUnix("/bin/ln", "-s \"" + target + "\" \"" + unixFolder + "/" + name + "\"") &&
           WaitFor([&] { return PathExists(folder + "\\" + name); }, 5000);
}

void RemoveUnixLink(const std::string& folder, const std::string& name)
{
    if (RunUnix("/bin/rm", "-f \"" + UnixPathOf(folder) + "/" + name + "\""))
        WaitFor([&] { return !PathExists(folder + "\\" + name); }, 5000);
}
