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

bool RunsUnderWine()
{
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

namespace {

std::wstring EnvironmentText(const wchar_t* name)
{
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], size));
    return value;
}

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool TrashIsScratch()
{
    // Wine keeps the home folder as WINEHOMEDIR, in Windows form.
    return RunsUnderWine() && EndsWith(EnvironmentText(L"XDG_DATA_HOME"), L"/vardenix-scratch-home/data") &&
           EndsWith(EnvironmentText(L"WINEHOMEDIR"), L"vardenix-scratch-home");
}

std::wstring ScratchTrashFolder()
{
    const std::wstring data = EnvironmentText(L"XDG_DATA_HOME");
    return WindowsPathOf(std::string(data.begin(), data.end()) + "/Trash");
}
