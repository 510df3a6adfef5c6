#include "support/UnixHost.h"

#include <windows.h>

using UnixFileName = char*(CDECL*)(const WCHAR*);

std::string UnixPathOf(const std::string& windowsPath)
{
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert)
        return std::string();
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* unixPath = convert(wide.c_str());
    if (!unixPath)
        return std::string();
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

std::string WindowsPathOf(const std::string& unixPath)
{
    // A build on Windows itself names its files by their Windows paths already.
    std::string path = unixPath.size() > 1 && unixPath[1] == ':' ? unixPath : "Z:" + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

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
