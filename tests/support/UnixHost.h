#pragma once

#include <string>

// The Linux host under Wine, for tests that need a program of the host (ln,
// python3) or a file of the build seen from Windows.

// A Windows path's Unix path under Wine, and back; empty when Wine cannot
// convert it. Outside Wine, WindowsPathOf returns the path unchanged.
std::string UnixPathOf(const std::string& windowsPath);
// The session's drive Z: holds only the build tree: build outputs map there,
// anything else to a "\\?\unix\" path.
std::string WindowsPathOf(const std::string& unixPath);

// Starts a host program; Wine runs Unix executables directly. The handle it
// gives back does not follow the Unix process, so callers wait for the
// program's effect instead.
bool RunUnix(const std::string& program, const std::string& arguments);
