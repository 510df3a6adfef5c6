#pragma once

#include <string>

// The Linux host under Wine, for tests that need a program of the host (ln,
// python3) or a file of the build seen from Windows.

// The host's path of a Windows path; empty outside Wine.
std::string UnixPathOf(const std::string& windowsPath);

// The Windows path of a host path, through drive Z:, Wine's view of "/".
// A path with a drive letter is only given backslashes.
std::string WindowsPathOf(const std::string& unixPath);

// Starts a host program; Wine runs Unix executables directly. The handle it
// gives back does not follow the Unix process, so callers wait for the
// program's effect instead.
bool RunUnix(const std::string& program, const std::string& arguments);
