#pragma once

#include "tools/StartupEntry.h"

#include <string>
#include <vector>

// "Image File Execution Options": a key named after a program with a
// "Debugger" value makes Windows start the debugger's command line instead,
// whenever anything starts that program. A worm names itself the debugger of
// a common program (or of the accessibility tools on the logon screen).

// Appends a row for each key below Image File Execution Options with a
// Debugger value, of any type: the key's name, the value's data, and the
// key's location. The 64-bit view's keys first, then those 32-bit programs
// see, when that is a key of its own (on a 32-bit Windows there is one).
void ReadDebuggerEntries(std::vector<StartupEntry>& entries);

// The key path below HKEY_LOCAL_MACHINE of a row ReadDebuggerEntries made:
// one program's key right below either view's Image File Execution Options.
// False, with `keyPath` untouched, for any other row.
bool ParseDebuggerRow(const std::wstring& name, const std::wstring& location, std::wstring& keyPath);

// Removes the Debugger value of the key and nothing else. False when the key
// does not open for setting values or the system refuses.
bool RemoveDebuggerValue(const std::wstring& keyPath);
