#pragma once

#include "system/NativeCalls.h"

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

// The system's table of every open handle of every process, and which of
// those handles name files in given folders or volumes: how safe removal
// learns which programs keep a USB drive busy.

struct SystemHandle {
    DWORD processId;
    ULONG_PTR value;
    USHORT typeIndex;
};

struct HandleTable {
    std::vector<SystemHandle> handles;
    // The type index the system gives file objects, learnt from a file handle
    // of our own; 0 when the table did not show it, and then any handle may
    // be a file.
    USHORT fileType = 0;
};

// Reads the table (NtQuerySystemInformation, extended handle information);
// false when the system does not give it.
bool ReadHandleTable(HandleTable& table);

// A handle of another process whose object name lies under one of the
// prefixes asked for.
struct HandleUnderPrefix {
    DWORD processId;
    // Index into the prefixes.
    size_t prefix;
    // The object name as the system gives it ("\Device\HarddiskVolume5\a.txt",
    // or "\??\E:\a.txt" under Wine); empty once the names kept would pass a
    // few megabytes.
    std::wstring name;
};

struct HandleSearch {
    std::vector<HandleUnderPrefix> found;
    size_t named = 0;
    // Handles whose name query outlasted the time limit (a synchronous pipe
    // with a read pending blocks the query until the read completes).
    size_t timedOut = 0;
};

struct HandleSearchOptions {
    // How long one handle's name may take before the query is abandoned.
    DWORD timeLimit = 100;
    // The name query, NtQueryObject unless a test puts one in its place.
    NtQueryObjectCall query = nullptr;
    // Processes the caller holds open with PROCESS_DUP_HANDLE, by identifier;
    // any other process is opened here.
    const std::map<DWORD, HANDLE>* opened = nullptr;
};

// Names every file handle of every other process in `table` (each duplicated
// into this process without access rights, named with NtQueryObject and
// closed) and keeps those whose name equals a prefix or continues it with a
// backslash, compared case-blind. The naming runs on a worker thread that is
// ended and replaced when one handle outlasts the time limit. Processes that
// do not let their handles be duplicated are passed over.
HandleSearch FindHandlesUnder(const HandleTable& table, const std::vector<std::wstring>& prefixes,
                              const HandleSearchOptions& options = HandleSearchOptions());

// True when `name` equals `prefix` or continues it with a backslash, case-blind.
bool LiesUnder(const wchar_t* name, size_t nameLength, const std::wstring& prefix);
