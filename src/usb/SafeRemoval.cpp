#include "usb/SafeRemoval.h"

#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "system/ShellRestart.h"
#include "usb/DriveDiscovery.h"
#include "usb/ThreatClassifier.h"
#include "usb/VolumeControl.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const char kExplorer[] = "explorer.exe";
constexpr size_t kExplorerLength = sizeof kExplorer - 1;

// How long the ended programs get, all together, to let go of their files
// before the first volume is locked: a process ends some time after
// TerminateProcess returns, and a volume it still holds does not lock.
constexpr DWORD kEndWait = 5000;

// The longest list of programs a message shows before it counts the rest.
constexpr size_t kMostLines = 10;

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

// Explorer is ended only when it holds a drive, and started again afterwards;
// a program of that name started from a drive being freed is no Explorer.
bool IsShell(const DriveHolder& holder)
{
    return IsExplorerPath(Narrow(holder.path).c_str()) && !(holder.reasons & kStartedFromDrive);
}

bool EndedOnOk(const DriveHolder& holder)
{
    return holder.verdict == EndVerdict::kMayEnd;
}

std::wstring WhyKept(EndVerdict verdict)
{
    switch (verdict) {
    case EndVerdict::kThisProgram: return LoadText(IDS_HOLDER_THIS_PROGRAM);
    case EndVerdict::kSystemProcess: return LoadText(IDS_HOLDER_SYSTEM);
    default: return LoadText(IDS_HOLDER_NOT_PERMITTED);
    }
}

// One line a program: its name and path, and a note after a dash.
std::wstring HolderLine(const DriveHolder& holder, const std::wstring& note)
{
    std::wstring line = holder.name;
    if (!holder.path.empty())
        line += L" (" + holder.path + L")";
    if (!note.empty())
        line += L" \u2014 " + note;
    return line;
}

// The lines of a list, at most ten, then how many were left out.
void AppendLines(std::wstring& text, const std::vector<std::wstring>& lines, const wchar_t* indent)
{
    const size_t shown = lines.size() < kMostLines ? lines.size() : kMostLines;
    for (size_t k = 0; k < shown; ++k)
        text += L"\r\n" + std::wstring(indent) + lines[k];
    if (lines.size() > shown) {
        wchar_t more[64];
        std::swprintf(more, 64, LoadText(IDS_AND_MORE).c_str(), static_cast<int>(lines.size() - shown));
        text += L"\r\n" + std::wstring(indent) + more;
    }
}

// Ends the holders the question named to be ended, remembering an Explorer
// among them to start it again, and waits a little for them to end.
void EndHolders(std::vector<DriveHolder>& holders, ShellRestart& shell)
{
    std::vector<HANDLE> ended;
    for (DriveHolder& holder : holders) {
        if (!EndedOnOk(holder))
            continue;
        if (IsShell(holder))
            shell.Remember(holder.process.Get(), holder.path);
        if (TerminateProcess(holder.process.Get(), 0))
            ended.push_back(holder.process.Get());
    }
    const DWORD start = GetTickCount();
    for (HANDLE process : ended) {
        const DWORD spent = GetTickCount() - start;
        WaitForSingleObject(process, spent < kEndWait ? kEndWait - spent : 0);
    }
}

// The closing message: each drive's result, and what holds a drive that
// stayed, looked for again now that the others have gone.
std::wstring RemovalReport(const char* letters, const std::vector<int>& results, bool shellBack)
{
    std::wstring text = LoadText(IDS_REMOVAL_RESULT);
    for (size_t k = 0; k < results.size(); ++k) {
        text += L"\r\n" + std::wstring(1, static_cast<wchar_t>(letters[k])) + L": \u2014 ";
        if (results[k] == kEjected) {
            text += LoadText(IDS_DRIVE_EJECTED);
            continue;
        }
        if (results[k] == kEjectIncomplete) {
            text += LoadText(IDS_DRIVE_STOPPED);
            continue;
        }
        std::vector<std::wstring> lines;
        for (const DriveHolder& holder : FindDriveHolders(&letters[k], 1))
            lines.push_back(HolderLine(holder, EndedOnOk(holder) ? std::wstring() : WhyKept(holder.verdict)));
        if (lines.empty()) {
            text += LoadText(IDS_DRIVE_NOT_EJECTED);
            continue;
        }
        text += LoadText(IDS_DRIVE_HELD);
        AppendLines(text, lines, L"    ");
    }
    if (!shellBack)
        text += L"\r\n\r\n" + LoadText(IDS_EXPLORER_NOT_STARTED);
    return text;
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

std::wstring RemovalQuestion(const std::vector<DriveHolder>& holders)
{
    std::wstring text = LoadText(IDS_CLOSE_USB_PROGRAMS);
    std::vector<std::wstring> ended, kept;
    for (const DriveHolder& holder : holders) {
        if (!EndedOnOk(holder))
            kept.push_back(HolderLine(holder, WhyKept(holder.verdict)));
        else
            ended.push_back(HolderLine(holder, IsShell(holder) ? LoadText(IDS_HOLDER_RESTARTED) : std::wstring()));
    }
    if (!ended.empty()) {
        text += L"\r\n\r\n" + LoadText(IDS_HOLDERS_TO_END);
        AppendLines(text, ended, L"");
    }
    if (!kept.empty()) {
        text += L"\r\n\r\n" + LoadText(IDS_HOLDERS_KEPT);
        AppendLines(text, kept, L"");
    }
    return text;
}

void SafeRemoveUsbDrives(HWND owner)
{
    char letters[kDriveListSize] = {};
    const int count = UsbDrivesToFree(letters);
    std::vector<DriveHolder> holders = FindDriveHolders(letters, count);
    if (ShowMessage(owner, RemovalQuestion(holders), MB_OKCANCEL) != IDOK)
        return;
    ShellRestart shell;
    EndHolders(holders, shell);

    // The volume requests exist on the NT family only.
    if (GetOsFamily() != 1) {
        shell.StartAgain();
        return;
    }
    const std::string dialog = RemovalDialogCommandLine();
    const std::wstring logOffQuestion = LoadText(IDS_LOGOFF_QUESTION);
    VolumeControl& control = GetVolumeControl();
    std::vector<int> results;
    for (int k = 0; k < count; ++k) {
        results.push_back(EjectDriveByLetter(letters[k]));
        if (results.back() == kEjectFailed) {
            if (ShowMessage(owner, logOffQuestion, MB_OKCANCEL) == IDOK)
                control.LogOff();
        } else if (!dialog.empty()) {
            // Also after an incomplete eject: the user can stop the device there.
            control.StartRemovalDialog(dialog.c_str());
        }
    }
    // After the eject loop whatever its outcome: the desktop comes back even
    // when a drive stayed.
    const bool shellBack = !shell.Remembered() || shell.StartAgain();
    ShowMessage(owner, count > 0 ? RemovalReport(letters, results, shellBack) : LoadText(IDS_NO_USB_DRIVE), MB_OK);
}
