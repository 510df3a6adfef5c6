#include "support/ProgramUnderTest.h"

#include "support/TestDrive.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

namespace {

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    bool visibleOnly;
    HWND found;
    bool messageBoxOnly = false;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    if (search->visibleOnly && !IsWindowVisible(window))
        return TRUE;
    if (search->className) {
        wchar_t name[256] = {};
        GetClassNameW(window, name, 256);
        if (lstrcmpiW(name, search->className) != 0)
            return TRUE;
    }
    if (search->caption && WindowText(window) != search->caption)
        return TRUE;
    if (search->messageBoxOnly && !GetDlgItem(window, 0xFFFF))
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

std::wstring WindowText(HWND window)
{
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 2, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    return text.data();
}

std::string TestProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    return folder.substr(0, folder.rfind('\\') + 1);
}

ProgramUnderTest::~ProgramUnderTest()
{
    Kill();
    if (info_.hProcess)
        CloseHandle(info_.hProcess);
    if (info_.hThread)
        CloseHandle(info_.hThread);
}

bool ProgramUnderTest::Start(const std::string& exePath, const std::string& arguments, const std::string& folder)
{
    std::string commandLine = "\"" + exePath + "\"";
    if (!arguments.empty())
        commandLine += " " + arguments;
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    for (int attempt = 1;; ++attempt) {
        if (CreateProcessA(exePath.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder.empty() ? nullptr : folder.c_str(), &startup, &info_))
            return true;
        // Wine refuses a start now and then (ERROR_INTERNAL_ERROR, about one
        // in a few hundred); another try makes it.
        const DWORD error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 3)
            return false;
        std::fprintf(stderr, "%s did not start (error %lu); trying again\n", exePath.c_str(), error);
        Sleep(200);
    }
}

bool ProgramUnderTest::Attach(DWORD processId)
{
    info_.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    info_.dwProcessId = processId;
    return info_.hProcess != nullptr;
}

bool ProgramUnderTest::WaitForExit(DWORD milliseconds)
{
    if (!info_.hProcess)
        return true;
    return WaitForSingleObject(info_.hProcess, milliseconds) == WAIT_OBJECT_0;
}

bool ProgramUnderTest::IsRunning() const
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD ProgramUnderTest::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (info_.hProcess)
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void ProgramUnderTest::Kill()
{
    if (IsRunning()) {
        TerminateProcess(info_.hProcess, 1);
        WaitForSingleObject(info_.hProcess, 5000);
    }
}

HWND ProgramUnderTest::FindWindowOf(const wchar_t* className, const wchar_t* caption, bool visibleOnly) const
{
    WindowSearch search = {info_.dwProcessId, className, caption, visibleOnly, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramUnderTest::FindMessageBox() const
{
    // A message box is a visible dialog of the standard class whose text is the static 0xFFFF.
    WindowSearch search = {info_.dwProcessId, L"#32770", nullptr, true, nullptr};
    search.messageBoxOnly = true;
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramUnderTest::WaitForWindow(const wchar_t* className, const wchar_t* caption, bool visibleOnly,
                                     DWORD milliseconds) const
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindWindowOf(className, caption, visibleOnly)) != nullptr; }, milliseconds);
    return found;
}

std::wstring ProgramUnderTest::WaitForMessageBox(DWORD milliseconds) const
{
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox()) != nullptr; }, milliseconds);
    return box ? WindowText(GetDlgItem(box, 0xFFFF)) : std::wstring();
}

bool ProgramUnderTest::AnswerMessageBox(int button, DWORD milliseconds) const
{
    if (WaitForMessageBox(milliseconds).empty())
        return false;
    HWND box = FindMessageBox();
    if (!box)
        return false;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
    return WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

namespace {

// Memory in the process that owns `window`, freed on destruction.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size)
    {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
        if (process_)
            memory_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer()
    {
        if (memory_)
            VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    char* Address() const { return static_cast<char*>(memory_); }
    bool Write(size_t offset, const void* data, size_t size) const
    {
        return memory_ && WriteProcessMemory(process_, Address() + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) const
    {
        return memory_ && ReadProcessMemory(process_, Address() + offset, data, size, nullptr);
    }

private:
    HANDLE process_ = nullptr;
    void* memory_ = nullptr;
    size_t size_;
};

}  // namespace

std::wstring RemoteListText(HWND list, int row, int column)
{
    constexpr int kChars = 1024;
    RemoteBuffer remote(list, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    LVITEMW item = {};
    item.iSubItem = column;
    item.cchTextMax = kChars;
    item.pszText = reinterpret_cast<wchar_t*>(remote.Address() + sizeof(LVITEMW));
    if (!remote.Write(0, &item, sizeof item))
        return std::wstring();
    const LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                        reinterpret_cast<LPARAM>(remote.Address()));
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        remote.Read(sizeof(LVITEMW), &text[0], static_cast<size_t>(length) * sizeof(wchar_t));
    return text;
}

bool RemoteListSelect(HWND list, int row)
{
    RemoteBuffer remote(list, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    return remote.Write(0, &item, sizeof item) &&
           SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(remote.Address()));
}
