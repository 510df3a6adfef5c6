#pragma once

#include "tools/StartupEntry.h"
#include "tools/StartupRegistry.h"

#include <string>
#include <vector>

// Winlogon's "Shell" and "Userinit" values, which start Explorer and the
// user's session at every logon: a worm appends itself to them or replaces
// them. Without them nobody can log on, so they are never deleted: a changed
// value is set back to Windows' default.

// The Winlogon key, below either root.
extern const wchar_t kWinlogonKey[];

// Appends a row for each of Shell and Userinit, under HKEY_LOCAL_MACHINE and
// then HKEY_CURRENT_USER, whose data is not Windows' default; a value that is
// absent or holds the default adds nothing.
void ReadWinlogonEntries(std::vector<StartupEntry>& entries);

// Windows' default for value `name` ("explorer.exe" for Shell, the system
// folder's "userinit.exe," for Userinit); empty for any other name.
std::wstring WinlogonDefault(const std::wstring& name);

// The root of a row read by ReadWinlogonEntries, and the value's name as
// Windows spells it; kNoStartupRoot for any other row.
StartupRoot ParseWinlogonRow(const std::wstring& name, const std::wstring& location, std::wstring& valueName);

// Writes the default back into the value. False when the key does not open
// for setting values or the system refuses.
bool RestoreWinlogonDefault(StartupRoot root, const std::wstring& valueName);
