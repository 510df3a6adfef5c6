#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

// What the program finds out about a running process and the file it runs:
// the process monitor, the startup checks and safe removal all ask here.

// The size of the path buffers the system-folder search fills.
constexpr size_t kLookupPathSize = 256;

// The executable of a process as the system recorded it when the process
// started: its full Windows path. Read with the limited-information right,
// which the system grants for an elevated process and for another user's
// process too, and which needs no module list (a process that is still
// loading has none yet). False for identifier 0 and for a process that does
// not open (the system's own, one gone); `path` is then empty.
bool GetProcessExePath(DWORD processId, std::wstring& path);
// The same for a process already open with PROCESS_QUERY_LIMITED_INFORMATION
// (or more): while the handle is open the answer belongs to that process.
bool GetProcessExePath(HANDLE process, std::wstring& path);

// Every running process, as one process snapshot lists them; empty when no
// snapshot can be taken.
std::vector<PROCESSENTRY32> ListProcesses();

// Looks for the file `fileName` in the Windows folder, its "system" folder and
// its "system32" folder, in that order; the first hit that is not a folder is
// copied into `path`. False when none is found or the hit does not fit.
bool FindInSystemFolders(const char* fileName, char* path, size_t pathSize = kLookupPathSize);
// The same search, for its answer alone.
bool ExistsInSystemFolders(const char* fileName);

// True when the file has a version block.
bool HasVersionInfo(const std::wstring& path);

// The creation time of an open process as one number (a FILETIME), or 0 when
// the system does not give it.
ULONGLONG ProcessCreationTime(HANDLE process);

// A running process's executable as a pass of the process monitor sees it.
struct ProcessFile {
    // The full path as the system gave it, or, when the process did not let
    // its path be read, the file of its name in the system folders: a guess,
    // good for judging the process but never for acting on that file.
    std::wstring path;
    bool guessed = false;
    // From the attribute query of this pass; `readable` false when it failed.
    bool readable = false;
    WIN32_FILE_ATTRIBUTE_DATA data = {};

    // Queries the attributes, times and size of the file at `path`.
    void ReadAttributes();
    // A file whose attributes cannot be read is not hidden: that is no
    // evidence of a disguised program.
    bool IsHidden() const { return readable && (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0; }
};

// The lookups of the process monitor, remembered for as long as their answer
// cannot change, so that a pass over an unchanged set of processes costs no
// module snapshot and no version read:
// - a process's executable path, while that process runs (keyed by its
//   identifier and creation time; a process without a creation time is looked
//   up afresh every time);
// - a file's version block, while the file is unchanged (keyed by its path,
//   last-write time and size);
// - the system-folder search for a name, while none of the three folders
//   changed (a folder's last-write time moves when a file in it comes or goes).
// The file's attributes are read on every pass. Entries that a pass did not
// use are dropped at its end. A disabled cache looks everything up afresh.
// One thread uses an object at a time.
class ProcessLookupCache {
public:
    explicit ProcessLookupCache(bool enabled = true) : enabled_(enabled) {}

    // Around one pass over the process snapshot.
    void BeginPass();
    void EndPass();

    // The executable of the process with identifier `processId`, created at
    // `created` (0: unknown), named `name` in the process snapshot: the path
    // the system gives, or else the system-folder file of that name, marked
    // as guessed. The caller keeps the process open meanwhile, so the
    // identifier cannot pass to another process.
    bool LookUpProcessFile(DWORD processId, ULONGLONG created, const std::string& name, ProcessFile& file);
    bool HasVersionInfo(const ProcessFile& file);
    bool ExistsInSystemFolders(const std::string& name);

private:
    struct CachedPath {
        std::wstring path;
        unsigned pass;
    };
    struct CachedVersion {
        FILETIME lastWrite;
        DWORD sizeHigh;
        DWORD sizeLow;
        bool hasVersion;
        unsigned pass;
    };
    struct CachedSearch {
        bool found;
        std::string path;
        unsigned pass;
    };

    bool FindInSystemFolders(const std::string& name, std::string& path);

    bool enabled_;
    unsigned pass_ = 0;
    std::map<std::pair<DWORD, ULONGLONG>, CachedPath> exePaths_;
    std::map<std::wstring, CachedVersion> versions_;
    std::map<std::string, CachedSearch> searches_;
    // The last-write times of the Windows, system and system32 folders when
    // `searches_` was filled.
    FILETIME folderTimes_[3] = {};
};
