#pragma once

#include "tools/StartupEntry.h"

#include <string>
#include <vector>

// The Startup folders of the Start menu ("Автозагрузка"): Explorer opens
// every file in them at logon. Worms drop shortcuts to themselves there.

// The user's Startup folder and all users', in that order, those that exist.
std::vector<std::wstring> StartupFolders();

// Appends a row for each file of `folder` (not its subfolders, and not the
// folder's own desktop.ini), by name: the file's name, its command (a
// shortcut's target and arguments, read as data; any other file's path), and
// the folder as the location.
void EnumStartupFolder(const std::wstring& folder, std::vector<StartupEntry>& entries);

// Every Startup folder in turn.
void ReadStartupFolderEntries(std::vector<StartupEntry>& entries);

// The command a shortcut file stands for: its target, in quotes when it holds
// a blank, and its arguments; the file's own path when it is no shortcut or
// names no path.
std::wstring ShortcutCommand(const std::wstring& path);

// The file a row names: its location must be one of the Startup folders as
// they are now, and its name a plain file name. Empty for any other row.
std::wstring ParseStartupFileRow(const std::wstring& name, const std::wstring& location);

// Moves the file into quarantine, from where it can be restored. False when
// it stays where it is.
bool QuarantineStartupFile(const std::wstring& path);
