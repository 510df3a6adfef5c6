#pragma once

#include "system/HandleTable.h"
#include "system/OwnedHandle.h"

#include <windows.h>

#include <string>
#include <vector>

// Which running programs keep drives busy, and which of them this program
// may end: what a user must know before a drive can be ejected.

// How a process holds a drive; one process may hold it in several ways.
enum HoldReason : unsigned {
    kStartedFromDrive = 1,  // its executable lies there
    kOpenFile = 2,          // a file or folder of the drive is open (handle table, Restart Manager)
    kCurrentFolder = 4,     // its current folder lies there
    kLoadedModule = 8,      // a library loaded from there
};

enum class EndVerdict {
    kMayEnd,
    // This program itself: ending it would stop the work halfway.
    kThisProgram,
    // Session 0, the system folder's critical processes, or a process the
    // system marks critical (ending one stops Windows).
    kSystemProcess,
    // Another user's process (another session), or one the system does not
    // let this program end.
    kNotPermitted,
};

struct DriveHolder {
    DWORD processId = 0;
    // The executable's file name, and its full path (empty when the system
    // does not give it).
    std::wstring name;
    std::wstring path;
    // Bit k for drive letter 'A' + k.
    unsigned drives = 0;
    unsigned reasons = 0;
    EndVerdict verdict = EndVerdict::kNotPermitted;
    // For kMayEnd, open with (at least) PROCESS_TERMINATE, SYNCHRONIZE and
    // PROCESS_QUERY_LIMITED_INFORMATION since before the search: the
    // identifier cannot pass to another process while it is open, so the
    // process ended is the one found.
    OwnedHandle process;
};

struct HolderSearchOptions {
    HandleSearchOptions handles;
};

// The processes that hold any of the `count` drives `letters` (upper-case):
// started from one, a file or folder open there, their current folder there
// or a library loaded from there, each with its verdict, ordered by name.
// Every process is looked at, this program too.
std::vector<DriveHolder> FindDriveHolders(const char* letters, int count,
                                          const HolderSearchOptions& options = HolderSearchOptions());

// The drive letter a Windows path starts with ("E:\a", "\\?\E:\a"),
// upper-case; 0 for any other path.
char DriveOfPath(const std::wstring& path);

// True for the system folder's programs whose end stops the session or
// Windows itself (csrss.exe, winlogon.exe, services.exe, svchost.exe, ...),
// by their full path.
bool IsCriticalSystemProgram(const std::wstring& path);
