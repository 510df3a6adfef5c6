#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a process uses besides its open handles: its current folder and the
// files of its loaded modules, the executable first. A folder a program has
// made current, or a library it has loaded, keeps a drive as busy as an open
// document does.
struct ProcessFiles {
    // As the process keeps it ("E:\work\"; Wine leaves out the trailing
    // backslash but at a drive's root); empty when it could not be read.
    std::wstring currentFolder;
    std::vector<std::wstring> modules;
};

// Reads both from the process's own bookkeeping (its process parameters and
// its loader's module list) for a process open with PROCESS_QUERY_INFORMATION
// and PROCESS_VM_READ: a few memory reads, where a module snapshot costs a
// hundred system calls. A 64-bit build reads 64-bit and 32-bit processes
// alike; a 32-bit build reads 32-bit processes only (a 64-bit process's
// current folder then shows in the handle table, as the folder handle every
// process holds). False when the process's memory does not read.
bool ReadProcessFiles(HANDLE process, ProcessFiles& files);

// A running process as one system query lists them.
struct SystemProcess {
    DWORD processId;
    DWORD sessionId;
    // The executable's file name.
    std::wstring imageName;
};

// Every running process, with its session, in one system query
// (NtQuerySystemInformation, process information); from a process snapshot
// where that query is missing. Empty when neither answers.
std::vector<SystemProcess> ListSystemProcesses();
