#include "support/UnixHost.h"

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

