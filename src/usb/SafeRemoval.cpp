#include "usb/SafeRemoval.h"

#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "system/ProcessLookup.h"
#include "usb/DriveDiscovery.h"
#include "usb/ThreatClassifier.h"
#include "usb/VolumeControl.h"

#include <tlhelp32.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kExplorer[] = "explorer.exe";
constexpr size_t kExplorerLength = sizeof kExplorer - 1;

// How long the ended programs get, all together, to let go of their files
// before the first volume is locked: a process ends some time after
// TerminateProcess returns, and a volume it still holds does not lock.
constexpr DWORD kEndWait = 5000;

char UpperLetter(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// The USB drives to free. The drive Windows runs from is left out even when
// it is a USB disk: ending every program started from it would cost the user
// all unsaved work and the session, and its volume never locks anyway.
int UsbDrivesToFree(char letters[kDriveListSize])
{
    int count = GetUsbDriveLetters(letters);
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        return count;
    const char systemDrive = UpperLetter(windows[0]);
    int kept = 0;
    for (int k = 0; k < count; ++k) {
        if (letters[k] != systemDrive)
            letters[kept++] = letters[k];
    }
    std::memset(letters + kept, 0, static_cast<size_t>(kDriveListSize - kept));
    return kept;
}

// A process keeps the drive letter's case it was started with ("e:\tool.exe").
bool IsOnDrive(const char* path, const char* letters, int count)
{
    return count > 0 && std::memchr(letters, UpperLetter(path[0]), static_cast<size_t>(count)) != nullptr;
}

// Ends every process started from one of the drives and every Explorer, and
// waits a little for them to end.
void EndProgramsHoldingDrives(const char* letters, int count)
{
    const DWORD self = GetCurrentProcessId();
    std::vector<HANDLE> ended;
    for (const PROCESSENTRY32& entry : ListProcesses()) {
        // This program may itself run from the USB drive; ending it would
        // stop the operation halfway, with nothing ejected and nothing said.
        if (entry.th32ProcessID == self)
            continue;
        // Opened before its path is looked up, so that the identifier cannot
        // pass to another process in between.
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                     entry.th32ProcessID);
        if (!process)
            continue;
        std::wstring exePath;
        const bool end = GetProcessExePath(process, exePath) &&
                         (IsOnDrive(Narrow(exePath).c_str(), letters, count) || IsExplorerPath(Narrow(exePath).c_str()));
        if (end && TerminateProcess(process, 0))
            ended.push_back(process);
        else
            CloseHandle(process);
    }

    const DWORD start = GetTickCount();
    for (HANDLE process : ended) {
        const DWORD spent = GetTickCount() - start;
        WaitForSingleObject(process, spent < kEndWait ? kEndWait - spent : 0);
        CloseHandle(process);
    }
}

// The command line of the system's hardware-removal dialog; empty when the
// Windows folder does not fit its buffer.
std::string RemovalDialogCommandLine()
{
    char windows[128];
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        return std::string();
    return std::string(windows) + "\\system32\\RUNDLL32.EXE shell32.dll,Control_RunDLL hotplug.dll";
}

// A diagnostic line for whoever reads the program's standard output; a window
// program has none on Windows, and the line goes nowhere.
void WriteDiagnostic(const char* line)
{
    std::fputs(line, stdout);
    std::fflush(stdout);
}

}  // namespace

bool IsExplorerPath(const char* path)
{
    const size_t length = path ? std::strlen(path) : 0;
    return length > kExplorerLength && SameTextNoCase(path + length - kExplorerLength, kExplorer,
                                                            static_cast<int>(kExplorerLength));
}

HANDLE OpenVolumeByLetter(char letter)
{
    char root[4];
    std::snprintf(root, sizeof root, "%c:\\", letter);
    DWORD access = 0;
    switch (GetDriveTypeA(root)) {
    case DRIVE_REMOVABLE:
    case DRIVE_FIXED:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    case DRIVE_CDROM:
        access = GENERIC_READ;
        break;
    default:
        WriteDiagnostic("Cannot eject.  Drive type is incorrect.\n");
        return INVALID_HANDLE_VALUE;
    }
    char device[8];
    std::snprintf(device, sizeof device, "\\\\.\\%c:", letter);
    HANDLE volume =
        CreateFileA(device, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE) {
        char line[64];
        std::snprintf(line, sizeof line, "Error %d: %s\n", static_cast<int>(GetLastError()), "CreateFile");
        WriteDiagnostic(line);
    }
    return volume;
}

int EjectDriveByLetter(char letter)
{
    HANDLE volume = OpenVolumeByLetter(letter);
    if (volume == INVALID_HANDLE_VALUE)
        return kEjectFailed;
    VolumeControl& control = GetVolumeControl();
    int result = kEjectFailed;
    if (control.LockVolume(volume) && control.DismountVolume(volume))
        result = control.AllowMediaRemoval(volume) && control.EjectMedia(volume) ? kEjected : kEjectIncomplete;
    if (!CloseHandle(volume))
        return kEjectFailed;
    return result;
}

void SafeRemoveUsbDrives(HWND owner)
{
    if (ShowMessage(owner, IDS_CLOSE_USB_PROGRAMS, MB_OKCANCEL) != IDOK)
        return;
    char letters[kDriveListSize] = {};
    const int count = UsbDrivesToFree(letters);
    // Explorer goes on every run, USB drives or not: its windows hold drives open.
    EndProgramsHoldingDrives(letters, count);

    // The volume requests exist on the NT family only.
    if (GetOsFamily() != 1)
        return;
    const std::string dialog = RemovalDialogCommandLine();
    const std::wstring logOffQuestion = LoadText(IDS_LOGOFF_QUESTION);
    VolumeControl& control = GetVolumeControl();
    for (int k = 0; k < count; ++k) {
        if (EjectDriveByLetter(letters[k]) == kEjectFailed) {
            if (ShowMessage(owner, logOffQuestion, MB_OKCANCEL) == IDOK)
                control.LogOff();
        } else if (!dialog.empty()) {
            // Also after an incomplete eject: the user can stop the device there.
            control.StartRemovalDialog(dialog.c_str());
        }
    }
}
