#pragma once

#include <windows.h>

#include <string>
#include <vector>

// vardenix.exe (or any program) started from a test and driven from outside
// through its windows. The program is ended, if still running, on destruction.
class ProgramUnderTest {
public:
    ProgramUnderTest() = default;
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // Starts `exePath` with `arguments` in `folder` (empty: the test's own
    // current folder), trying again when Wine refuses the start for no reason
    // of the program's; false when it does not start.
    bool Start(const std::string& exePath, const std::string& arguments = std::string(),
               const std::string& folder = std::string());
    // Takes on a process that something else started; false when it cannot be opened.
    bool Attach(DWORD processId);
    // Waits for the process to end; true when it ended within `milliseconds`.
    bool WaitForExit(DWORD milliseconds);
    bool IsRunning() const;
    DWORD ExitCode() const;
    DWORD ProcessId() const { return info_.dwProcessId; }
    void Kill();

    // The first top-level window of the process that has the given class
    // (nullptr: any) and caption (nullptr: any) and, if `visibleOnly`, is visible.
    HWND FindWindowOf(const wchar_t* className, const wchar_t* caption, bool visibleOnly = false) const;
    // The same, waiting up to `milliseconds`.
    HWND WaitForWindow(const wchar_t* className, const wchar_t* caption, bool visibleOnly = false,
                       DWORD milliseconds = 20000) const;

    // The visible message box of the process, if any.
    HWND FindMessageBox() const;
    // Waits for a message box of the process and returns its text (empty when none came).
    std::wstring WaitForMessageBox(DWORD milliseconds = 20000) const;
    // Presses a button (IDOK, IDCANCEL) of the process's message box; true when one was there.
    bool AnswerMessageBox(int button, DWORD milliseconds = 20000) const;

private:
    PROCESS_INFORMATION info_ = {};
};

// List-view rows of another process: the item record has to live in that
// process's memory for the list to read or fill it.
std::wstring RemoteListText(HWND list, int row, int column);
bool RemoteListSelect(HWND list, int row);

// The text of a window, read through the wide-character API.
std::wstring WindowText(HWND window);

// The folder of the running test program, with a trailing backslash.
std::string TestProgramFolder();
