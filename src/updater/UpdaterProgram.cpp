#include "updater/UpdaterProgram.h"

#include "framework/Text.h"
#include "updater/UpdateDescription.h"
#include "updater/UpdateDownload.h"

#include <shellapi.h>

#include <atomic>

namespace {

// The program's file name; without its extension it also names the program's
// instance semaphore.
constexpr wchar_t kProgramName[] = L"vardenix";

}  // namespace

bool ParseUpdaterArguments(const std::vector<std::wstring>& arguments, UpdateRequest& request)
{
    Version version;
    if (arguments.size() != 3 || arguments[0] != Widen(kProductWord) ||
        arguments[1].find_first_not_of(L"0123456789.") != std::wstring::npos ||
        !ParseVersion(Narrow(arguments[1]), version) || !IsWebAddress(arguments[2]))
        return false;
    request.version = Narrow(arguments[1]);
    request.url = arguments[2];
    return true;
}

std::vector<std::wstring> CommandLineArguments()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* split = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!split)
        return arguments;
    for (int k = 1; k < count; ++k)
        arguments.push_back(split[k]);
    LocalFree(split);
    return arguments;
}

std::wstring ProgramFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::wstring();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.erase(path.rfind(L'\\') + 1);
    return path;
}

bool IsProgramRunning()
{
    HANDLE semaphore = OpenSemaphoreW(SYNCHRONIZE, FALSE, kProgramName);
    // There but not to be opened: a copy running with other rights (an
    // administrator's, say) made it.
    if (!semaphore)
        return GetLastError() == ERROR_ACCESS_DENIED;
    CloseHandle(semaphore);
    return true;
}

bool WaitForProgramToEnd(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (IsProgramRunning()) {
        if (GetTickCount() - start >= milliseconds)
            return false;
        Sleep(100);
    }
    return true;
}

bool StartProgram(const std::wstring& folder)
{
    const std::wstring program = folder + kProgramName + L".exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

InstallerFile::~InstallerFile()
{
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
    if (!path_.empty())
        DeleteFileW(path_.c_str());
    if (!folder_.empty())
        RemoveDirectoryW(folder_.c_str());
}

bool InstallerFile::Create(const std::string& version)
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return false;
    // A folder no one else has: the installer's name inside it is then ours.
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
        const std::wstring folder = std::wstring(temp) + L"Tollupd-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(folder.c_str(), nullptr))
            folder_ = folder;
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    if (folder_.empty())
        return false;
    const std::wstring path = folder_ + L"\\Vardenix-" + Widen(version) + L"-setup.exe";
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file_ == INVALID_HANDLE_VALUE)
        return false;
    path_ = path;
    return true;
}

bool InstallerFile::Seal()
{
    if (file_ == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file_);
    file_ = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    return file_ != INVALID_HANDLE_VALUE;
}

bool InstallerFile::Matches(const Sha256Digest& digest) const
{
    LARGE_INTEGER start = {};
    if (file_ == INVALID_HANDLE_VALUE || !SetFilePointerEx(file_, start, nullptr, FILE_BEGIN))
        return false;
    Sha256 hash;
    std::vector<char> buffer(64 * 1024);
    DWORD got = 0;
    do {
        if (!ReadFile(file_, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) ||
            !hash.Add(buffer.data(), got))
            return false;
    } while (got > 0);
    Sha256Digest actual;
    return hash.Finish(actual) && actual == digest;
}

bool RunInstallerAndWait(const InstallerFile& installer)
{
    const std::wstring folder = installer.Path().substr(0, installer.Path().rfind(L'\\'));
    // ShellExecuteEx rather than CreateProcess: an installer that asks for
    // administrator rights is refused by CreateProcess, the shell elevates it.
    SHELLEXECUTEINFOW execute = {};
    execute.cbSize = sizeof execute;
    execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    execute.lpFile = installer.Path().c_str();
    execute.lpDirectory = folder.c_str();
    execute.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&execute))
        return false;
    if (!execute.hProcess)
        return true;
    // Messages keep flowing meanwhile, for the shell's hidden windows on this thread.
    while (MsgWaitForMultipleObjects(1, &execute.hProcess, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    CloseHandle(execute.hProcess);
    return true;
}
