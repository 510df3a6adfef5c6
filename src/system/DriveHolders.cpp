#include "system/DriveHolders.h"

#include "framework/Text.h"
#include "system/NativeCalls.h"
#include "system/ProcessFiles.h"
#include "system/ProcessLookup.h"
#include "system/RestartManager.h"

#include <algorithm>
#include <map>

namespace {

constexpr DWORD kUnknownSession = static_cast<DWORD>(-1);

const wchar_t* const kCriticalPrograms[] = {
    L"csrss.exe", L"dwm.exe", L"fontdrvhost.exe", L"lsass.exe", L"lsm.exe", L"services.exe",
    L"smss.exe", L"svchost.exe", L"wininit.exe", L"winlogon.exe",
};

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

unsigned DriveBit(char letter)
{
    return letter >= 'A' && letter <= 'Z' ? 1u << (letter - 'A') : 0;
}

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// A running process as the search sees it, opened before anything is looked
// up, so that its identifier keeps naming it until the search ends.
struct Candidate {
    OwnedHandle process;
    // What `process` was opened with.
    DWORD access = 0;
    DWORD session = kUnknownSession;
    std::wstring name;
    std::wstring path;
    unsigned drives = 0;
    unsigned reasons = 0;
};

// The rights the search asks for, all at once where the system allows (one
// system call instead of one for each part of the search); the last set is
// the least that still pins the process and gives its executable.
constexpr DWORD kReadRights = PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ |
                              PROCESS_DUP_HANDLE | SYNCHRONIZE;
constexpr DWORD kEndRights = PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION;
const DWORD kRightsToTry[] = {kReadRights | kEndRights, kReadRights, kEndRights,
                              PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE};

void Note(Candidate& candidate, char letter, unsigned mask, HoldReason reason)
{
    const unsigned bit = DriveBit(letter);
    if (bit & mask) {
        candidate.drives |= bit;
        candidate.reasons |= reason;
    }
}

Candidate& CandidateFor(std::map<DWORD, Candidate>& candidates, DWORD processId, DWORD session,
                        const std::wstring& imageName)
{
    auto found = candidates.find(processId);
    if (found != candidates.end())
        return found->second;
    Candidate& candidate = candidates[processId];
    for (DWORD rights : kRightsToTry) {
        candidate.process.Reset(OpenProcess(rights, FALSE, processId));
        if (candidate.process) {
            candidate.access = rights;
            break;
        }
    }
    candidate.session = session;
    if (candidate.session == kUnknownSession && !ProcessIdToSessionId(processId, &candidate.session))
        candidate.session = kUnknownSession;
    if (candidate.process)
        GetProcessExePath(candidate.process.Get(), candidate.path);
    candidate.name = candidate.path.empty() ? imageName : FileNameOf(candidate.path);
    return candidate;
}

bool Has(const Candidate& candidate, DWORD rights)
{
    return candidate.process && (candidate.access & rights) == rights;
}

// The names a drive's files have in the handle table: "\??\E:" everywhere,
// and the volume's device ("\Device\HarddiskVolume5") on Windows.
std::vector<std::wstring> PrefixesOf(char letter)
{
    const wchar_t drive[3] = {static_cast<wchar_t>(letter), L':', 0};
    std::vector<std::wstring> prefixes = {std::wstring(L"\\??\\") + drive};
    wchar_t device[MAX_PATH] = {};
    if (QueryDosDeviceW(drive, device, MAX_PATH) && device[0] == L'\\')
        prefixes.emplace_back(device);
    return prefixes;
}

bool MarkedCritical(HANDLE process)
{
    const NtQueryInformationProcessCall query = Native().queryInformationProcess;
    ULONG critical = 0;
    return process && query &&
           query(process, kProcessBreakOnTermination, &critical, sizeof critical, nullptr) == kStatusSuccess &&
           critical != 0;
}

EndVerdict Judge(DWORD processId, Candidate& candidate)
{
    if (processId == GetCurrentProcessId())
        return EndVerdict::kThisProgram;
    // The idle process and System.
    if (processId == 0 || processId == 4)
        return EndVerdict::kSystemProcess;
    DWORD ours = 0;
    if (candidate.session == kUnknownSession || !ProcessIdToSessionId(GetCurrentProcessId(), &ours))
        return EndVerdict::kNotPermitted;
    if (candidate.session == 0 || IsCriticalSystemProgram(candidate.path) ||
        (Has(candidate, PROCESS_QUERY_INFORMATION) && MarkedCritical(candidate.process.Get())))
        return EndVerdict::kSystemProcess;
    if (candidate.session != ours || !Has(candidate, kEndRights))
        return EndVerdict::kNotPermitted;
    return EndVerdict::kMayEnd;
}

}  // namespace

char DriveOfPath(const std::wstring& path)
{
    size_t start = 0;
    if (path.compare(0, 4, L"\\\\?\\") == 0 || path.compare(0, 4, L"\\??\\") == 0)
        start = 4;
    if (path.size() < start + 2 || path[start + 1] != L':')
        return 0;
    const wchar_t letter = path[start];
    if (letter >= L'a' && letter <= L'z')
        return static_cast<char>(letter - L'a' + 'A');
    if (letter >= L'A' && letter <= L'Z')
        return static_cast<char>(letter);
    return 0;
}

bool IsCriticalSystemProgram(const std::wstring& path)
{
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    const size_t slash = path.find_last_of(L'\\');
    if (length == 0 || length >= MAX_PATH || slash == std::wstring::npos || !SameText(path.substr(0, slash), system))
        return false;
    const std::wstring name = path.substr(slash + 1);
    return std::any_of(std::begin(kCriticalPrograms), std::end(kCriticalPrograms),
                       [&](const wchar_t* critical) { return SameText(name, critical); });
}

std::vector<DriveHolder> FindDriveHolders(const char* letters, int count, const HolderSearchOptions& options)
{
    std::vector<DriveHolder> holders;
    unsigned mask = 0;
    for (int k = 0; k < count; ++k)
        mask |= DriveBit(letters[k]);
    if (mask == 0)
        return holders;

    std::map<DWORD, Candidate> candidates;
    for (const SystemProcess& process : ListSystemProcesses()) {
        if (process.processId != 0)
            CandidateFor(candidates, process.processId, process.sessionId, process.imageName);
    }
    for (auto& [processId, candidate] : candidates) {
        Note(candidate, DriveOfPath(candidate.path), mask, kStartedFromDrive);
        ProcessFiles files;
        if (!Has(candidate, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ) ||
            !ReadProcessFiles(candidate.process.Get(), files))
            continue;
        Note(candidate, DriveOfPath(files.currentFolder), mask, kCurrentFolder);
        for (const std::wstring& module : files.modules) {
            if (!SameText(module, candidate.path))
                Note(candidate, DriveOfPath(module), mask, kLoadedModule);
        }
    }

    std::vector<std::wstring> prefixes;
    std::vector<char> prefixDrives;
    for (int k = 0; k < count; ++k) {
        if (!(DriveBit(letters[k]) & mask))
            continue;
        for (const std::wstring& prefix : PrefixesOf(letters[k])) {
            prefixes.push_back(prefix);
            prefixDrives.push_back(letters[k]);
        }
    }
    // The files found open, by drive, in the form the Restart Manager takes.
    std::map<char, std::vector<std::wstring>> openFiles;
    HandleTable table;
    if (ReadHandleTable(table)) {
        std::map<DWORD, HANDLE> opened;
        for (const auto& [processId, candidate] : candidates)
            opened[processId] = Has(candidate, PROCESS_DUP_HANDLE) ? candidate.process.Get() : nullptr;
        HandleSearchOptions handleOptions = options.handles;
        handleOptions.opened = &opened;
        const HandleSearch search = FindHandlesUnder(table, prefixes, handleOptions);
        for (const HandleUnderPrefix& found : search.found) {
            const char letter = prefixDrives[found.prefix];
            Note(CandidateFor(candidates, found.processId, kUnknownSession, std::wstring()), letter, mask, kOpenFile);
            const size_t prefixLength = prefixes[found.prefix].size();
            if (found.name.size() > prefixLength + 1)
                openFiles[letter].push_back(std::wstring(1, static_cast<wchar_t>(letter)) + L":" +
                                            found.name.substr(prefixLength));
        }
    }
    for (auto& [letter, files] : openFiles) {
        std::sort(files.begin(), files.end());
        files.erase(std::unique(files.begin(), files.end()), files.end());
        for (const FileUser& user : ProcessesUsingFiles(files)) {
            Candidate& candidate = CandidateFor(candidates, user.processId, kUnknownSession, std::wstring());
            const ULONGLONG started = (static_cast<ULONGLONG>(user.started.dwHighDateTime) << 32) |
                                      user.started.dwLowDateTime;
            if (candidate.process && ProcessCreationTime(candidate.process.Get()) == started)
                Note(candidate, letter, mask, kOpenFile);
        }
    }

    for (auto& [processId, candidate] : candidates) {
        if (candidate.drives == 0)
            continue;
        // A process that ended meanwhile holds nothing any more.
        if (candidate.process && WaitForSingleObject(candidate.process.Get(), 0) == WAIT_OBJECT_0)
            continue;
        DriveHolder holder;
        holder.processId = processId;
        holder.name = candidate.name;
        holder.path = candidate.path;
        holder.drives = candidate.drives;
        holder.reasons = candidate.reasons;
        holder.verdict = Judge(processId, candidate);
        if (holder.verdict == EndVerdict::kMayEnd)
            holder.process = std::move(candidate.process);
        holders.push_back(std::move(holder));
    }
    std::sort(holders.begin(), holders.end(), [](const DriveHolder& a, const DriveHolder& b) {
        const int order = CompareStringOrdinal(a.name.c_str(), -1, b.name.c_str(), -1, TRUE);
        return order != CSTR_EQUAL ? order == CSTR_LESS_THAN : a.processId < b.processId;
    });
    return holders;
}
