#include "tools/RiskyProcesses.h"

#include "framework/Text.h"

#include <string>
#include <utility>

namespace {

// Paths and names as the file system compares them: case-blind, ordinal.
bool SameFileName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// The process snapshot's file name of a process.
bool SnapshotName(DWORD processId, std::string& name)
{
    for (const PROCESSENTRY32& entry : ListProcesses()) {
        if (entry.th32ProcessID == processId) {
            name = entry.szExeFile;
            return true;
        }
    }
    return false;
}

bool Qualifies(ListingRule rule, ProcessLookupCache& cache, const std::string& name, const ProcessFile& file,
               RiskLabel& label)
{
    if (rule == ListingRule::Monitor) {
        label = RiskLabel::Risk;
        return !cache.HasVersionInfo(file) && cache.ExistsInSystemFolders(name) && file.IsHidden();
    }
    if (file.IsHidden()) {
        label = RiskLabel::Risk;
        return true;
    }
    label = RiskLabel::Suspicious;
    return !cache.HasVersionInfo(file) && cache.ExistsInSystemFolders(name);
}

}  // namespace

bool operator==(const ListedProcess& a, const ListedProcess& b)
{
    return a.id == b.id && a.created == b.created && a.name == b.name && a.path == b.path &&
           a.pathGuessed == b.pathGuessed && a.label == b.label;
}

std::vector<ListedProcess> ListRiskyProcesses(ListingRule rule, ProcessLookupCache& cache)
{
    std::vector<ListedProcess> listed;
    const std::vector<PROCESSENTRY32> processes = ListProcesses();
    if (processes.empty())
        return listed;

    cache.BeginPass();
    for (const PROCESSENTRY32& entry : processes) {
        ListedProcess process;
        process.id = entry.th32ProcessID;
        process.name = entry.szExeFile;
        // Held open while the process is looked at, so that its identifier
        // cannot pass to a new process between the creation time and the path.
        HANDLE handle = process.id ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.id) : nullptr;
        process.created = ProcessCreationTime(handle);
        ProcessFile file;
        if (cache.LookUpProcessFile(process.id, process.created, process.name, file) &&
            Qualifies(rule, cache, process.name, file, process.label)) {
            process.path = file.path;
            process.pathGuessed = file.guessed;
            listed.push_back(std::move(process));
        }
        if (handle)
            CloseHandle(handle);
    }
    cache.EndPass();
    return listed;
}

HANDLE OpenListedProcess(const ListedProcess& process, DWORD access)
{
    if (process.id == 0)
        return nullptr;
    HANDLE handle = OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.id);
    // A process that refuses to be queried may still let itself be ended;
    // it refused the listing the same way, which therefore had to guess.
    if (!handle && process.pathGuessed)
        handle = OpenProcess(access, FALSE, process.id);
    if (!handle)
        return nullptr;

    bool same = process.created == 0 || ProcessCreationTime(handle) == process.created;
    std::string name;
    same = same && SnapshotName(process.id, name) && SameFileName(Widen(name), Widen(process.name));
    if (same) {
        std::wstring exePath;
        const bool read = GetProcessExePath(handle, exePath);
        same = process.pathGuessed ? !read : read && SameFileName(exePath, process.path);
    }
    if (!same) {
        CloseHandle(handle);
        return nullptr;
    }
    return handle;
}
