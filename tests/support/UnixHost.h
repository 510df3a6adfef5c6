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

// A Unix symbolic link made outside Wine: Wine 8 cannot make a junction or a
// Windows symbolic link itself (CreateSymbolicLinkA reports success and makes
// nothing; FSCTL_SET_REPARSE_POINT is not supported). Makes `folder`\`name`
// pointing at `target` (a Unix path, or one relative to the link's folder);
// false when it does not appear.
bool MakeUnixLink(const std::string& target, const std::string& folder, const std::string& name);
void RemoveUnixLink(const std::string& folder, const std::string& name);

// True in a Wine process.
bool RunsUnderWine();
// Wine's Recycle Bin is the trash of the Unix user: that of XDG_DATA_HOME, or
// else of the home folder the process started with. True when both lie in a
// scratch home named "vardenix-scratch-home" (the system page tests' CTest
// entry and the cleanup benchmark set HOME to it and XDG_DATA_HOME to its
// "data" folder), so that emptying the Recycle Bin cannot reach the real
// user's trash.
bool TrashIsScratch();
// The Windows path of that trash folder ("...\data\Trash").
std::string ScratchTrashFolder();
