#include "system/ProcessFiles.h"

#include "framework/Text.h"
#include "system/NativeCalls.h"
#include "system/ProcessLookup.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr ULONG kSystemProcessInformation = 5;
// The longest path the system keeps, in bytes.
constexpr USHORT kLongestPathBytes = 32767 * sizeof(wchar_t);
// A loader list longer than this is being rewritten under the reader's feet.
constexpr int kMostModules = 4096;

// Where the fields read lie in the PEB, its PEB_LDR_DATA, an
// LDR_DATA_TABLE_ENTRY and the RTL_USER_PROCESS_PARAMETERS, for each width
// of pointers. The layouts are those every Windows since NT 4 keeps.
struct Layout32 {
    using Pointer = ULONG;
    static constexpr uintptr_t ldrInPeb = 0x0C, parametersInPeb = 0x10;
    static constexpr uintptr_t listInLdr = 0x0C, nameInEntry = 0x24, folderInParameters = 0x24;
};
struct Layout64 {
    using Pointer = ULONG64;
    static constexpr uintptr_t ldrInPeb = 0x18, parametersInPeb = 0x20;
    static constexpr uintptr_t listInLdr = 0x10, nameInEntry = 0x48, folderInParameters = 0x38;
};

// A UNICODE_STRING of the other process.
template <typename Pointer>
struct RemoteString {
    USHORT length;
    USHORT maximumLength;
    Pointer buffer;
};

bool ReadBytes(HANDLE process, uint64_t address, void* into, size_t size)
{
    SIZE_T read = 0;
    if (address == 0 || address > UINTPTR_MAX)
        return false;
    return ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), into, size,
                             &read) &&
           read == size;
}

template <typename Pointer>
bool ReadText(HANDLE process, const RemoteString<Pointer>& text, std::wstring& into)
{
    if (text.length == 0 || text.length % sizeof(wchar_t) != 0 || text.length > kLongestPathBytes)
        return false;
    std::wstring read(text.length / sizeof(wchar_t), L'\0');
    if (!ReadBytes(process, text.buffer, &read[0], text.length))
        return false;
    into = std::move(read);
    return true;
}

template <typename Layout>
bool ReadWithLayout(HANDLE process, uint64_t peb, ProcessFiles& files)
{
    using Pointer = typename Layout::Pointer;
    Pointer fields[Layout::parametersInPeb / sizeof(Pointer) + 1] = {};
    if (!ReadBytes(process, peb, fields, sizeof fields))
        return false;
    const Pointer ldr = fields[Layout::ldrInPeb / sizeof(Pointer)];
    const Pointer parameters = fields[Layout::parametersInPeb / sizeof(Pointer)];

    RemoteString<Pointer> folder = {};
    if (ReadBytes(process, uint64_t{parameters} + Layout::folderInParameters, &folder, sizeof folder))
        ReadText(process, folder, files.currentFolder);

    // InLoadOrderLinks is an entry's first field: a link is its entry's address.
    const uint64_t head = uint64_t{ldr} + Layout::listInLdr;
    Pointer link = 0;
    if (ldr == 0 || !ReadBytes(process, head, &link, sizeof link))
        return true;
    for (int count = 0; link != 0 && link != head && count < kMostModules; ++count) {
        struct {
            Pointer next;
            BYTE skipped[Layout::nameInEntry - sizeof(Pointer)];
            RemoteString<Pointer> fullName;
        } entry = {};
        static_assert(offsetof(decltype(entry), fullName) == Layout::nameInEntry, "the full name's place");
        if (!ReadBytes(process, link, &entry, sizeof entry))
            break;
        std::wstring name;
        if (ReadText(process, entry.fullName, name))
            files.modules.push_back(std::move(name));
        link = entry.next;
    }
    return true;
}

struct BasicInformation {
    NtStatus exitStatus;
    void* pebBaseAddress;
    ULONG_PTR affinityMask;
    LONG basePriority;
    ULONG_PTR uniqueProcessId;
    ULONG_PTR inheritedFromUniqueProcessId;
};

// The head of a SYSTEM_PROCESS_INFORMATION record, as far as it is read.
struct ProcessRecord {
    ULONG nextEntryOffset;
    ULONG numberOfThreads;
    BYTE times[48];
    RemoteString<wchar_t*> imageName;
    LONG basePriority;
    HANDLE uniqueProcessId;
    HANDLE inheritedFromUniqueProcessId;
    ULONG handleCount;
    ULONG sessionId;
};

}  // namespace

bool ReadProcessFiles(HANDLE process, ProcessFiles& files)
{
    files = ProcessFiles();
    const NtQueryInformationProcessCall query = Native().queryInformationProcess;
    BOOL targetIsWow64 = FALSE;
    if (!process || !query || !IsWow64Process(process, &targetIsWow64))
        return false;
#ifdef _WIN64
    // A 32-bit process under WOW64 keeps its own 32-bit PEB and loader list;
    // the 64-bit ones hold only the WOW64 layer itself.
    if (targetIsWow64) {
        ULONG_PTR peb32 = 0;
        return query(process, kProcessWow64Information, &peb32, sizeof peb32, nullptr) == kStatusSuccess &&
               ReadWithLayout<Layout32>(process, peb32, files);
    }
    BasicInformation basic = {};
    return query(process, kProcessBasicInformation, &basic, sizeof basic, nullptr) == kStatusSuccess &&
           ReadWithLayout<Layout64>(process, reinterpret_cast<uintptr_t>(basic.pebBaseAddress), files);
#else
    // A 32-bit build under WOW64 cannot reach a 64-bit process's memory.
    BOOL selfIsWow64 = FALSE;
    IsWow64Process(GetCurrentProcess(), &selfIsWow64);
    if (selfIsWow64 && !targetIsWow64)
        return false;
    BasicInformation basic = {};
    return query(process, kProcessBasicInformation, &basic, sizeof basic, nullptr) == kStatusSuccess &&
           ReadWithLayout<Layout32>(process, reinterpret_cast<uintptr_t>(basic.pebBaseAddress), files);
#endif
}

std::vector<SystemProcess> ListSystemProcesses()
{
    std::vector<SystemProcess> processes;
    if (const NtQuerySystemInformationCall query = Native().querySystemInformation) {
        std::vector<ULONG_PTR> buffer(size_t{1} << 15);
        NtStatus status;
        for (int attempt = 0; attempt < 8; ++attempt) {
            ULONG returned = 0;
            const size_t bytes = buffer.size() * sizeof(ULONG_PTR);
            status = query(kSystemProcessInformation, buffer.data(), static_cast<ULONG>(bytes), &returned);
            if (status != kStatusInfoLengthMismatch)
                break;
            buffer.assign(((returned > bytes ? returned : bytes * 2) + 16384) / sizeof(ULONG_PTR), 0);
        }
        if (status == kStatusSuccess) {
            const BYTE* start = reinterpret_cast<const BYTE*>(buffer.data());
            const size_t size = buffer.size() * sizeof(ULONG_PTR);
            for (size_t offset = 0; offset + sizeof(ProcessRecord) <= size;) {
                const auto* record = reinterpret_cast<const ProcessRecord*>(start + offset);
                std::wstring name;
                // The image name lies in the same buffer.
                if (record->imageName.buffer)
                    name.assign(record->imageName.buffer, record->imageName.length / sizeof(wchar_t));
                processes.push_back({static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(record->uniqueProcessId)),
                                     record->sessionId, std::move(name)});
                if (record->nextEntryOffset == 0)
                    return processes;
                offset += record->nextEntryOffset;
            }
        }
        processes.clear();
    }
    for (const PROCESSENTRY32& entry : ListProcesses()) {
        DWORD session = 0;
        if (!ProcessIdToSessionId(entry.th32ProcessID, &session))
            session = static_cast<DWORD>(-1);
        processes.push_back({entry.th32ProcessID, session, Widen(entry.szExeFile)});
    }
    return processes;
}
