#pragma once

#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"

#include <windows.h>

#include <string>

// The idle program of the process monitor's tests (IdleProgram.cpp) copied as
// `name` into a folder of the test's own and given `attributes`; the build
// with a version block when `versioned`.
class ProgramCopy {
public:
    ProgramCopy(const std::string& name, DWORD attributes, bool versioned = false);
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    const std::string& Path() const { return path_; }
    // The file's bytes as copied.
    const std::string& Content() const { return content_; }

private:
    ScratchDir folder_;
    std::string path_;
    std::string content_;
};

// A file named `name` in the Windows system32 folder while the object lives,
// so that a program of that name is named like a system file. Wine answers the
// version query for a file named like one of its own programs (write.exe,
// winver.exe) from that program rather than the file: a test that needs a
// system name and its own version block uses a name of its own.
class SystemFileName {
public:
    explicit SystemFileName(const std::string& name);
    ~SystemFileName();
    SystemFileName(const SystemFileName&) = delete;
    SystemFileName& operator=(const SystemFileName&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Starts `path` in `process` and waits until the process's module list names
// its file, as the monitor finds it; fails the test otherwise.
void StartIdleProcess(ProgramUnderTest& process, const std::string& path);
