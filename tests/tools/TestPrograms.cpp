#include "TestPrograms.h"

#include "support/TestDrive.h"
#include "tools/ProcessLookup.h"

#include <gtest/gtest.h>

ProgramCopy::ProgramCopy(const std::string& name, DWORD attributes, bool versioned)
    : path_(folder_ / name)
{
    const char* source = versioned ? IDLE_PROGRAM_VERSIONED : IDLE_PROGRAM;
    EXPECT_TRUE(CopyFileA(source, path_.c_str(), FALSE)) << "cannot copy " << source;
    content_ = ReadWholeFile(path_);
    EXPECT_TRUE(SetFileAttributesA(path_.c_str(), attributes));
}

SystemFileName::SystemFileName(const std::string& name)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    path_ = std::string(windows) + "\\system32\\" + name;
    MakeFile(path_, "MZ");
}

SystemFileName::~SystemFileName()
{
    RemoveTree(path_);
}

void StartIdleProcess(ProgramUnderTest& process, const std::string& path)
{
    ASSERT_TRUE(process.Start(path)) << path;
    ASSERT_TRUE(WaitFor([&] {
        MODULEENTRY32 module = {};
        module.dwSize = sizeof module;
        return GetProcessExePath(process.ProcessId(), &module) && path == module.szExePath;
    })) << path << " did not come up";
}
