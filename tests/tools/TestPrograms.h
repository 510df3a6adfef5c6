#pragma once

#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "framework/Text.h"
#include "system/HandleTable.h"
#include "system/ProcessLookup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

inline std::string WindowsFolder()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return windows;
}

// The idle program (IdleProgram.cpp; with a version block when `versioned`)
// copied as `name` into a folder of the test's own, with `attributes`.
struct ProgramCopy {
    ProgramCopy(const std::string& name, DWORD attributes, bool versioned = false) : path(folder / name)
    {
        const std::string source = WindowsPathOf(versioned ? IDLE_PROGRAM_VERSIONED : IDLE_PROGRAM);
        EXPECT_TRUE(CopyFileA(source.c_str(), path.c_str(), FALSE)) << source;
        EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes));
    }
    ScratchDir folder;
    std::string path;
};

// A file `name` in system32 while the object lives. Wine answers the version
// query for a file named like one of its own programs (write.exe, winver.exe)
// from that program: a system name with a version block of its own needs a
// name of its own.
struct SystemFileName {
    explicit SystemFileName(const std::string& name) : path(WindowsFolder() + "\\system32\\" + name)
    {
        MakeFile(path, "MZ");
    }
    ~SystemFileName() { RemoveTree(path); }
    std::string path;
};

// Starts `path` with `arguments` (in `folder`, when given); fails the test
// when it does not start.
inline void StartProgram(ProgramUnderTest& process, const std::string& path, const std::string& arguments,
                         const std::string& folder = std::string())
{
    ASSERT_TRUE(process.Start(path, arguments, folder)) << path << " does not start: error " << GetLastError();
}

// Starts `path` with `arguments` (in `folder`, when given) and waits until
// the system names its file, as the monitor then finds it, and until it holds
// open the file its arguments name, if any.
inline void StartIdleProcess(ProgramUnderTest& process, const std::string& path,
                             const std::string& arguments = std::string(), const std::string& folder = std::string())
{
    ASSERT_NO_FATAL_FAILURE(StartProgram(process, path, arguments, folder));
    std::wstring exePath;
    // The system may give the drive letter in another case than the start did.
    const std::wstring expected = Widen(path);
    ASSERT_TRUE(WaitFor(
        [&] {
            return GetProcessExePath(process.ProcessId(), exePath) &&
                   CompareStringOrdinal(exePath.c_str(), -1, expected.c_str(), -1, TRUE) == CSTR_EQUAL;
        },
        30000))
        << path << " runs " << Narrow(exePath) << (process.IsRunning() ? "" : ", ended");
    if (arguments.empty() || GetFileAttributesA(arguments.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    // Seen in the handle table under Wine's name for it: a probe that opened
    // the file itself could make the program's one open fail.
    const std::vector<std::wstring> names = {L"\\??\\" + Widen(arguments)};
    ASSERT_TRUE(WaitFor(
        [&] {
            HandleTable table;
            if (!ReadHandleTable(table))
                return false;
            for (const HandleUnderPrefix& found : FindHandlesUnder(table, names).found) {
                if (found.processId == process.ProcessId())
                    return true;
            }
            return false;
        },
        30000))
        << path << " does not hold " << arguments;
}

// A ProgramCopy started from where it lies, as a disguised program runs.
struct RunningCopy : ProgramCopy {
    RunningCopy(const std::string& name, DWORD attributes, bool versioned = false)
        : ProgramCopy(name, attributes, versioned)
    {
        StartIdleProcess(process, path);
    }
    DWORD Id() const { return process.ProcessId(); }

    ProgramUnderTest process;
};
