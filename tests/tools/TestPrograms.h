#pragma once

#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "tools/ProcessLookup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

// The idle program (IdleProgram.cpp; with a version block when `versioned`)
// copied as `name` into a folder of the test's own, with `attributes`.
class ProgramCopy {
public:
    ProgramCopy(const std::string& name, DWORD attributes, bool versioned = false) : path_(folder_ / name)
    {
        const std::string source = WindowsPathOf(versioned ? IDLE_PROGRAM_VERSIONED : IDLE_PROGRAM);
        EXPECT_TRUE(CopyFileA(source.c_str(), path_.c_str(), FALSE)) << source;
        content_ = ReadWholeFile(path_);
        EXPECT_TRUE(SetFileAttributesA(path_.c_str(), attributes));
    }
    const std::string& Path() const { return path_; }
    const std::string& Content() const { return content_; }

private:
    ScratchDir folder_;
    std::string path_;
    std::string content_;
};

// A file `name` in system32 while the object lives. Wine answers the version
// query for a file named like one of its own programs (write.exe, winver.exe)
// from that program: a system name with a version block of its own needs a
// name of its own.
class SystemFileName {
public:
    explicit SystemFileName(const std::string& name)
    {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        path_ = std::string(windows) + "\\system32\\" + name;
        MakeFile(path_, "MZ");
    }
    ~SystemFileName() { RemoveTree(path_); }

private:
    std::string path_;
};

// Starts `path` with `arguments` and waits until its module list names its
// file, as the monitor then finds it.
inline void StartIdleProcess(ProgramUnderTest& process, const std::string& path,
                             const std::string& arguments = std::string())
{
    for (int attempt = 1; !process.Start(path, arguments); ++attempt) {
        // Wine refuses a start now and then (ERROR_INTERNAL_ERROR, about one
        // in a few hundred); a second try makes it.
        const DWORD error = GetLastError();
        ASSERT_LT(attempt, 3) << path << " does not start: error " << error;
        std::fprintf(stderr, "%s did not start (error %lu); trying again\n", path.c_str(), error);
        Sleep(200);
    }
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    ASSERT_TRUE(WaitFor([&] { return GetProcessExePath(process.ProcessId(), &module) && path == module.szExePath; },
                        30000))
        << path << " runs " << module.szExePath << (process.IsRunning() ? "" : ", ended");
}

// A ProgramCopy started from where it lies, as a disguised program runs.
struct RunningCopy : ProgramCopy {
    RunningCopy(const std::string& name, DWORD attributes, bool versioned = false)
        : ProgramCopy(name, attributes, versioned)
    {
        StartIdleProcess(process, Path());
    }
    DWORD Id() const { return process.ProcessId(); }

    ProgramUnderTest process;
};
