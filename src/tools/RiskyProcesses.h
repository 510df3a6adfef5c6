#pragma once

#include "system/ProcessLookup.h"

#include <windows.h>

#include <string>
#include <vector>

// Which running processes look like disguised system programs.

enum class ListingRule {
    // The process monitor: a hidden executable without a version block whose
    // name is also the name of a file in the Windows, system or system32 folder.
    Monitor,
    // A refresh of the page: every hidden executable, and besides them the
    // executables without a version block named like such a system file.
    Refresh,
};

enum class RiskLabel {
    Risk,        // the executable file is hidden
    Suspicious,  // not hidden, but without a version block and named like a system file
};

// One listed process, and what tells it apart from a later process that is
// given the same identifier.
struct ListedProcess {
    DWORD id = 0;
    ULONGLONG created = 0;  // creation time; 0 when the system did not give it
    std::string name;       // the executable's file name as the process snapshot gives it
    std::wstring path;      // the executable's full path
    // The process did not let its path be read: `path` is the file of its
    // name in the system folders, which may be another program entirely. Such
    // a process may be ended, but nothing is done to that file.
    bool pathGuessed = false;
    RiskLabel label = RiskLabel::Risk;
};

bool operator==(const ListedProcess& a, const ListedProcess& b);
inline bool operator!=(const ListedProcess& a, const ListedProcess& b) { return !(a == b); }

// One pass over a process snapshot, in snapshot order: the processes that
// `rule` lists. Empty when no snapshot can be taken.
std::vector<ListedProcess> ListRiskyProcesses(ListingRule rule, ProcessLookupCache& cache);

// Opens the listed process with `access`, but only while its identifier still
// belongs to that process: the same creation time (where the system gave
// one), the same name and the same executable (for a guessed path: still no
// path to be read). Null otherwise, and when the process cannot be opened or
// has ended. While the handle is open the identifier cannot pass to another
// process.
HANDLE OpenListedProcess(const ListedProcess& process, DWORD access);
