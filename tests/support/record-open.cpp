// Stands in for the program the shell starts for a file type or an address:
//   record-open.exe LOG ARGUMENT...
// appends each ARGUMENT as one line (UTF-8) to the file LOG, so that a test
// can read what the shell was asked to open.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main()
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 2)
        return 2;
    std::string lines;
    for (int k = 2; k < count; ++k) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, arguments[k], -1, nullptr, 0, nullptr, nullptr);
        std::string line(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1)
            WideCharToMultiByte(CP_UTF8, 0, arguments[k], -1, &line[0], size, nullptr, nullptr);
        lines += line + "\n";
    }
    const HANDLE log = CreateFileW(arguments[1], FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    LocalFree(arguments);
    if (log == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(log, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(log);
    return 0;
}
