#pragma once

#include <string>

// The Unix side of the Wine host, for tests that need what Wine cannot make
// itself: Wine 8 cannot make a junction or a Windows symbolic link
// (CreateSymbolicLinkA reports success and makes nothing), but it shows a
// Unix symbolic link made outside it.

// The Unix path of a Windows path, or an empty string outside Wine.
std::string UnixPathOf(const std::string& windowsPath);
// The Windows path of a Unix path, or an empty string outside Wine.
std::wstring WindowsPathOf(const std::string& unixPath);

// Makes the Unix symbolic link `folder`\`name` to `target` (a Unix path, or
// one relative to the link's folder) with /bin/ln; false when it does not
// appear.
bool MakeUnixLink(const std::string& target, const std::string& folder, const std::string& name);
void RemoveUnixLink(const std::string& folder, const std::string& name);

// True in a Wine process.
bool RunsUnderWine();

// Wine's Recycle Bin is the trash of the Unix user: that of XDG_DATA_HOME, or
// else of the home folder the process started with. True when both lie in a
// scratch home named "vardenix-scratch-home" (the tests' CTest entry and the
// cleanup benchmark set HOME to it and XDG_DATA_HOME to its "data" folder),
// so that emptying the Recycle Bin cannot reach the real user's trash.
bool TrashIsScratch();
// The Windows path of that trash folder ("...\data\Trash").
std::wstring ScratchTrashFolder();
