#include "support/UnixHost.h"

#include "support/TestDrive.h"

#include <windows.h>

#include <vector>

namespace {

using WineUnixFileName = char*(CDECL*)(const WCHAR*);
using WineDosFileName = WCHAR*(CDECL*)(const char*);

FARPROC WineExport(const char* name)
{
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

}  // namespace

std::string UnixPathOf(const std::string& windowsPath)
{
    auto convert = reinterpret_cast<WineUnixFileName>(reinterpret_cast<void*>(WineExport("wine_get_unix_file_name")));
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

std::string WindowsPathOf(const std::string& unixPath)
{
    auto convert = reinterpret_cast<WineDosFileName>(reinterpret_cast<void*>(WineExport("wine_get_dos_file_name")));
    if (!convert)
        return unixPath;
    WCHAR* dosPath = convert(unixPath.c_str());
    if (!dosPath)
        return std::string();
    char narrow[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, dosPath, -1, narrow, sizeof narrow, nullptr, nullptr);
    HeapFree(GetProcessHeap(), 0, dosPath);
    return narrow;
}

bool RunUnix(const std::string& program, const std::string& arguments)
{
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(WindowsPathOf(program).c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
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

std::string EnvironmentText(const char* name)
{
    const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0)
        return std::string();
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA(name, &value[0], size));
    return value;
}

bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

bool TrashIsScratch()
{
    // Wine keeps the home folder as WINEHOMEDIR, in Windows form.
    return RunsUnderWine() && EndsWith(EnvironmentText("XDG_DATA_HOME"), "/vardenix-scratch-home/data") &&
           EndsWith(EnvironmentText("WINEHOMEDIR"), "vardenix-scratch-home");
}

std::string ScratchTrashFolder()
{
    return WindowsPathOf(EnvironmentText("XDG_DATA_HOME") + "/Trash");
}
