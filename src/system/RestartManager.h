#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A second opinion on who uses a file: Windows' Restart Manager (from Vista)
// knows the processes that have the registered files open or loaded,
// including some whose handles this program may not duplicate.

struct FileUser {
    DWORD processId;
    // The process's start time as the Restart Manager gives it, to tell it
    // from a later process with the same identifier.
    FILETIME started;
};

// The processes that use any of `files` (full Windows paths); empty where
// the system has no answer: no Restart Manager, a failed session, or Wine 8,
// whose Restart Manager answers every question with no process at all.
std::vector<FileUser> ProcessesUsingFiles(const std::vector<std::wstring>& files);
