// Stands in for a program that another one starts (vardenix.exe, the updater,
// an installer): each start appends one UTF-8 line
//   <own file name>|<command line>
// to the file that the environment variable VARDENIX_START_RECORD names.
#include <windows.h>

#include <cwchar>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t record[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"VARDENIX_START_RECORD", record, MAX_PATH))
        return 1;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const wchar_t* name = wcsrchr(self, L'\\');
    const std::wstring line = std::wstring(name ? name + 1 : self) + L"|" + GetCommandLineW() + L"\n";
    char text[4 * MAX_PATH + 4096];
    const int length = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), -1, text, sizeof text, nullptr, nullptr);
    // Several stand-ins may start at once: wait for the file rather than lose a line.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, text, static_cast<DWORD>(length > 0 ? length - 1 : 0), &written, nullptr);
            CloseHandle(file);
            return 0;
        }
        Sleep(20);
    }
    return 1;
}
