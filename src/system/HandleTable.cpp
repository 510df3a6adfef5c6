#include "system/HandleTable.h"

#include "system/OwnedHandle.h"

#include <atomic>
#include <map>
#include <memory>

namespace {

// SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX and its header: pointer-sized fields, so
// the same declaration fits the 32-bit layout (28 bytes an entry) and the
// 64-bit one (40 bytes).
struct TableEntry {
    void* object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};
struct TableHeader {
    ULONG_PTR count;
    ULONG_PTR reserved;
};

// The table of a busy server runs to a few hundred thousand entries; beyond
// this something is wrong, and the search gives up rather than exhaust memory.
constexpr size_t kLargestTable = size_t{256} << 20;

// What NtQueryObject answers for one name: a UNICODE_STRING and its text.
// Longer names than this are not file paths Windows can open anyway.
constexpr ULONG kNameBufferSize = 0x10000 + 64;
struct NameAnswer {
    USHORT length;
    USHORT maximumLength;
    const wchar_t* buffer;
};

// The names kept for the callers (the files that hold a drive); a handful
// in practice, bounded for a process that opens a drive's files by the
// thousand.
constexpr size_t kKeptNameCharacters = size_t{1} << 20;

// A handle to name, with the process it belongs to, opened to duplicate it.
struct NamingItem {
    HANDLE source;
    ULONG_PTR value;
    DWORD processId;
};

struct NamingMatch {
    size_t item;
    size_t prefix;
    size_t nameOffset;
    size_t nameLength;
};

enum Stage : int { kIdle, kDuplicating, kQuerying, kClosing };

// Everything the naming worker touches, allocated before it starts: the
// supervisor may have to end the worker in the middle of a name query, and
// a thread ended while it allocates would leave the heap locked for good.
// The worker therefore only reads and writes this block and calls the
// system; each result counts once its counter has moved past it.
struct NamingWork {
    std::vector<NamingItem> items;
    // A copy of the caller's: a worker the system would not end outlives the search.
    std::vector<std::wstring> prefixes;
    NtQueryObjectCall query = nullptr;
    std::vector<ULONG_PTR> answer;
    std::vector<NamingMatch> matches;
    std::vector<wchar_t> names;

    size_t start = 0;
    std::atomic<size_t> current{0};
    std::atomic<int> stage{kIdle};
    HANDLE duplicate = nullptr;
    std::atomic<size_t> matchCount{0};
    std::atomic<size_t> namedCount{0};
    size_t namesUsed = 0;
    // Set when the supervisor gives up on a worker the system would not end.
    std::atomic<bool> abandoned{false};
};

DWORD WINAPI NameHandles(void* argument)
{
    NamingWork& work = *static_cast<NamingWork*>(argument);
    const HANDLE self = GetCurrentProcess();
    for (size_t k = work.start; k < work.items.size() && !work.abandoned.load(); ++k) {
        const NamingItem& item = work.items[k];
        work.current.store(k);
        work.stage.store(kDuplicating);
        // No access at all: a name query needs none, and the copy must not
        // let this process read or write what another program holds.
        if (!DuplicateHandle(item.source, reinterpret_cast<HANDLE>(item.value), self, &work.duplicate, 0, FALSE, 0)) {
            work.duplicate = nullptr;
            continue;
        }
        work.stage.store(kQuerying);
        ULONG returned = 0;
        const NtStatus status = work.query(work.duplicate, kObjectNameInformation, work.answer.data(),
                                           kNameBufferSize, &returned);
        work.stage.store(kClosing);
        CloseHandle(work.duplicate);
        work.duplicate = nullptr;
        work.stage.store(kIdle);
        if (status != kStatusSuccess)
            continue;
        work.namedCount.fetch_add(1);
        const auto* answer = reinterpret_cast<const NameAnswer*>(work.answer.data());
        if (!answer->buffer || answer->length == 0)
            continue;
        const size_t length = answer->length / sizeof(wchar_t);
        for (size_t p = 0; p < work.prefixes.size(); ++p) {
            if (!LiesUnder(answer->buffer, length, work.prefixes[p]))
                continue;
            NamingMatch& match = work.matches[work.matchCount.load()];
            match.item = k;
            match.prefix = p;
            match.nameOffset = work.namesUsed;
            match.nameLength = 0;
            if (work.names.size() - work.namesUsed >= length) {
                for (size_t c = 0; c < length; ++c)
                    work.names[work.namesUsed + c] = answer->buffer[c];
                match.nameLength = length;
                work.namesUsed += length;
            }
            work.matchCount.fetch_add(1);
            break;
        }
    }
    return 0;
}

// The results the worker has counted so far.
void CollectMatches(const NamingWork& work, HandleSearch& search)
{
    const size_t count = work.matchCount.load();
    for (size_t k = 0; k < count; ++k) {
        const NamingMatch& match = work.matches[k];
        search.found.push_back({work.items[match.item].processId, match.prefix,
                                std::wstring(work.names.data() + match.nameOffset, match.nameLength)});
    }
    search.named = work.namedCount.load();
}

}  // namespace

bool LiesUnder(const wchar_t* name, size_t nameLength, const std::wstring& prefix)
{
    const size_t length = prefix.size();
    if (length == 0 || nameLength < length || (nameLength > length && name[length] != L'\\'))
        return false;
    return CompareStringOrdinal(name, static_cast<int>(length), prefix.data(), static_cast<int>(length), TRUE) ==
           CSTR_EQUAL;
}

bool ReadHandleTable(HandleTable& table)
{
    table.handles.clear();
    table.fileType = 0;
    const NtQuerySystemInformationCall query = Native().querySystemInformation;
    if (!query)
        return false;
    // A file handle of our own shows which type index the table gives files.
    wchar_t system[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    OwnedHandle marker(systemLength > 0 && systemLength < MAX_PATH
                           ? CreateFileW(system, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                           : INVALID_HANDLE_VALUE);

    // ULONG_PTR elements keep the entries aligned as the system writes them.
    std::vector<ULONG_PTR> buffer(size_t{1} << 16);
    NtStatus status;
    for (;;) {
        const size_t bytes = buffer.size() * sizeof(ULONG_PTR);
        ULONG returned = 0;
        status = query(kSystemExtendedHandleInformation, buffer.data(), static_cast<ULONG>(bytes), &returned);
        if (status != kStatusInfoLengthMismatch && status != kStatusBufferTooSmall)
            break;
        // The table grows while it is asked for; leave room for that.
        const size_t wanted = (returned > bytes ? returned : bytes * 2) + (size_t{1} << 16);
        if (wanted > kLargestTable)
            return false;
        buffer.assign(wanted / sizeof(ULONG_PTR) + 1, 0);
    }
    if (status < 0)
        return false;

    const auto* header = reinterpret_cast<const TableHeader*>(buffer.data());
    const auto* entries = reinterpret_cast<const TableEntry*>(header + 1);
    const size_t room = (buffer.size() * sizeof(ULONG_PTR) - sizeof(TableHeader)) / sizeof(TableEntry);
    const size_t count = header->count < room ? header->count : room;
    const DWORD self = GetCurrentProcessId();
    table.handles.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        const TableEntry& entry = entries[k];
        const DWORD processId = static_cast<DWORD>(entry.processId);
        if (marker && processId == self && entry.handleValue == reinterpret_cast<ULONG_PTR>(marker.Get()))
            table.fileType = entry.objectTypeIndex;
        table.handles.push_back({processId, entry.handleValue, entry.objectTypeIndex});
    }
    return true;
}

HandleSearch FindHandlesUnder(const HandleTable& table, const std::vector<std::wstring>& prefixes,
                              const HandleSearchOptions& options)
{
    HandleSearch search;
    const NtQueryObjectCall query = options.query ? options.query : Native().queryObject;
    if (!query || prefixes.empty())
        return search;

    const DWORD self = GetCurrentProcessId();
    std::map<DWORD, OwnedHandle> sources;
    auto work = std::make_unique<NamingWork>();
    for (const SystemHandle& handle : table.handles) {
        if (handle.processId == self || (table.fileType != 0 && handle.typeIndex != table.fileType))
            continue;
        HANDLE source = nullptr;
        if (options.opened && options.opened->count(handle.processId)) {
            source = options.opened->at(handle.processId);
        } else {
            auto own = sources.find(handle.processId);
            if (own == sources.end())
                own = sources.emplace(handle.processId,
                                      OwnedHandle(OpenProcess(PROCESS_DUP_HANDLE, FALSE, handle.processId))).first;
            source = own->second.Get();
        }
        if (source)
            work->items.push_back({source, handle.value, handle.processId});
    }
    if (work->items.empty())
        return search;
    work->prefixes = prefixes;
    work->query = query;
    work->answer.assign(kNameBufferSize / sizeof(ULONG_PTR) + 1, 0);
    work->matches.resize(work->items.size());
    work->names.resize(kKeptNameCharacters);

    const DWORD limit = options.timeLimit > 0 ? options.timeLimit : 1;
    size_t start = 0;
    while (start < work->items.size()) {
        work->start = start;
        work->current.store(start);
        work->stage.store(kIdle);
        OwnedHandle thread(CreateThread(nullptr, 64 * 1024, NameHandles, work.get(), STACK_SIZE_PARAM_IS_A_RESERVATION,
                                        nullptr));
        if (!thread)
            break;
        // The worker is stuck when two looks a time limit apart find it on
        // the same handle.
        size_t seen = work->items.size();
        for (;;) {
            if (WaitForSingleObject(thread.Get(), limit) == WAIT_OBJECT_0) {
                start = work->items.size();
                break;
            }
            const size_t now = work->current.load();
            if (now != seen) {
                seen = now;
                continue;
            }
            const int stage = work->stage.load();
            TerminateThread(thread.Get(), 1);
            if (WaitForSingleObject(thread.Get(), 5000) != WAIT_OBJECT_0) {
                // The system did not end it: the worker may still write into
                // its block, which must therefore outlive this search.
                work->abandoned.store(true);
                CollectMatches(*work, search);
                ++search.timedOut;
                work.release();
                return search;
            }
            // Closed here only when the query held it: at any other stage
            // the value may already belong to another handle of ours.
            if (stage == kQuerying && work->duplicate)
                CloseHandle(work->duplicate);
            work->duplicate = nullptr;
            ++search.timedOut;
            start = now + 1;
            break;
        }
    }
    CollectMatches(*work, search);
    return search;
}
