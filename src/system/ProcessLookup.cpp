#include "system/ProcessLookup.h"

#include "framework/Text.h"

#include <cstring>

namespace {

// A snapshot fails with ERROR_BAD_LENGTH while a process is loading or
// unloading modules; asked again, it succeeds.
constexpr int kSnapshotAttempts = 8;

HANDLE TakeSnapshot(DWORD flags, DWORD processId)
{
    HANDLE snapshot = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kSnapshotAttempts; ++attempt) {
        snapshot = CreateToolhelp32Snapshot(flags, processId);
        if (snapshot != INVALID_HANDLE_VALUE || GetLastError() != ERROR_BAD_LENGTH)
            break;
    }
    return snapshot;
}

constexpr size_t kVersionBufferSize = 512;

// The Windows folder, its "system" and its "system32" folder, in search order.
bool SystemFolders(std::string (&folders)[3])
{
    char windows[kLookupPathSize];
    const UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows)
        return false;
    folders[0] = windows;
    folders[1] = folders[0] + "\\system";
    folders[2] = folders[0] + "\\system32";
    return true;
}

ULONGLONG AsNumber(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

}  // namespace

bool GetProcessExePath(HANDLE process, std::wstring& path)
{
    path.clear();
    if (!process)
        return false;
    // 32,767 characters is the longest path Windows knows; start with MAX_PATH.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        if (QueryFullProcessImageNameW(process, 0, &buffer[0], &size) && size > 0) {
            buffer.resize(size);
            path = std::move(buffer);
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 32768)
            return false;
        buffer.resize(buffer.size() * 4);
    }
}

bool GetProcessExePath(DWORD processId, std::wstring& path)
{
    path.clear();
    if (processId == 0)
        return false;
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return false;
    const bool found = GetProcessExePath(process, path);
    CloseHandle(process);
    return found;
}

std::vector<PROCESSENTRY32> ListProcesses()
{
    std::vector<PROCESSENTRY32> processes;
    const HANDLE snapshot = TakeSnapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return processes;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        processes.push_back(entry);
    CloseHandle(snapshot);
    return processes;
}

bool FindInSystemFolders(const char* fileName, char* path, size_t pathSize)
{
    if (!fileName || !*fileName || !path || pathSize == 0)
        return false;
    std::string folders[3];
    if (!SystemFolders(folders))
        return false;
    for (const std::string& folder : folders) {
        char found[kLookupPathSize];
        const DWORD length = SearchPathA(folder.c_str(), fileName, nullptr, sizeof found, found, nullptr);
        // A longer answer is the size the path would need: it was not copied.
        if (length == 0 || length >= sizeof found)
            continue;
        // The failure value has every bit set: an unreadable hit counts as a folder.
        if (GetFileAttributesA(found) & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (length >= pathSize)
            return false;
        std::memcpy(path, found, length + 1);
        return true;
    }
    return false;
}

bool ExistsInSystemFolders(const char* fileName)
{
    char path[kLookupPathSize];
    return FindInSystemFolders(fileName, path);
}

bool HasVersionInfo(const std::wstring& path)
{
    // A larger block is cut to the buffer; the call still succeeds.
    char block[kVersionBufferSize];
    return !path.empty() && GetFileVersionInfoW(path.c_str(), 0, sizeof block, block) != FALSE;
}

void ProcessFile::ReadAttributes()
{
    readable = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) != FALSE;
    if (!readable)
        data = WIN32_FILE_ATTRIBUTE_DATA();
}

ULONGLONG ProcessCreationTime(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!process || !GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return AsNumber(created);
}

void ProcessLookupCache::BeginPass()
{
    ++pass_;
    if (!enabled_)
        return;
    std::string folders[3];
    FILETIME times[3] = {};
    if (SystemFolders(folders)) {
        for (int k = 0; k < 3; ++k) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (GetFileAttributesExA(folders[k].c_str(), GetFileExInfoStandard, &data))
                times[k] = data.ftLastWriteTime;
        }
    }
    for (int k = 0; k < 3; ++k) {
        if (!SameTime(times[k], folderTimes_[k])) {
            searches_.clear();
            break;
        }
    }
    std::memcpy(folderTimes_, times, sizeof times);
}

void ProcessLookupCache::EndPass()
{
    // What this pass did not use belongs to processes and files that are gone.
    auto sweep = [this](auto& entries) {
        for (auto entry = entries.begin(); entry != entries.end();) {
            if (entry->second.pass != pass_)
                entry = entries.erase(entry);
            else
                ++entry;
        }
    };
    sweep(exePaths_);
    sweep(versions_);
    sweep(searches_);
}

bool ProcessLookupCache::LookUpProcessFile(DWORD processId, ULONGLONG created, const std::string& name,
                                           ProcessFile& file)
{
    const bool cacheable = enabled_ && created != 0;
    const auto key = std::make_pair(processId, created);
    if (cacheable) {
        auto known = exePaths_.find(key);
        if (known != exePaths_.end()) {
            // A running program's file can still be renamed: the remembered
            // path holds only while it names a file.
            file.path = known->second.path;
            file.guessed = false;
            file.ReadAttributes();
            if (file.readable && !(file.data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                known->second.pass = pass_;
                return true;
            }
            exePaths_.erase(known);
        }
    }

    file.guessed = !GetProcessExePath(processId, file.path);
    if (!file.guessed) {
        if (cacheable)
            exePaths_[key] = CachedPath{file.path, pass_};
    } else {
        // For the listing rules alone: a delete never acts on a guessed file.
        std::string found;
        if (!FindInSystemFolders(name, found))
            return false;
        file.path = Widen(found);
    }
    file.ReadAttributes();
    return true;
}

bool ProcessLookupCache::HasVersionInfo(const ProcessFile& file)
{
    if (!enabled_ || !file.readable)
        return ::HasVersionInfo(file.path);
    const WIN32_FILE_ATTRIBUTE_DATA& data = file.data;
    auto known = versions_.find(file.path);
    if (known != versions_.end() && SameTime(known->second.lastWrite, data.ftLastWriteTime) &&
        known->second.sizeHigh == data.nFileSizeHigh && known->second.sizeLow == data.nFileSizeLow) {
        known->second.pass = pass_;
        return known->second.hasVersion;
    }
    const bool hasVersion = ::HasVersionInfo(file.path);
    versions_[file.path] = CachedVersion{data.ftLastWriteTime, data.nFileSizeHigh, data.nFileSizeLow, hasVersion, pass_};
    return hasVersion;
}

bool ProcessLookupCache::ExistsInSystemFolders(const std::string& name)
{
    std::string path;
    return FindInSystemFolders(name, path);
}

bool ProcessLookupCache::FindInSystemFolders(const std::string& name, std::string& path)
{
    if (enabled_) {
        auto known = searches_.find(name);
        if (known != searches_.end()) {
            known->second.pass = pass_;
            path = known->second.path;
            return known->second.found;
        }
    }
    char found[kLookupPathSize];
    const bool isFound = ::FindInSystemFolders(name.c_str(), found);
    path = isFound ? found : "";
    if (enabled_)
        searches_[name] = CachedSearch{isFound, path, pass_};
    return isFound;
}
