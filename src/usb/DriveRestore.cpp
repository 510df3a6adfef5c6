#include "usb/DriveRestore.h"

#include "quarantine/QuarantineStore.h"
#include "usb/WormLayout.h"

#include <windows.h>

namespace {

constexpr DWORD kWormAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

bool Holds(const std::vector<std::wstring>& list, const std::wstring& path)
{
    for (const std::wstring& entry : list) {
        if (CompareStringOrdinal(entry.c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL)
            return true;
    }
    return false;
}

// A name that ends in a blank or a dot (a folder named only blanks) is
// reached by the literal form of its path alone: Windows drops such an end
// from an ordinary path, and would act on the folder above instead.
std::wstring LiteralPath(const std::wstring& path)
{
    if (path.empty() || (path.back() != L' ' && path.back() != L'.') || path.compare(0, 4, L"\\\\?\\") == 0)
        return path;
    return L"\\\\?\\" + path;
}

}  // namespace

std::vector<RestoreStep> PlanDriveRestore(wchar_t letter)
{
    std::vector<RestoreStep> steps;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    std::vector<RootEntry> entries;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return steps;
    do {
        if (MattersToWormLayout(entry.cFileName, entry.dwFileAttributes))
            entries.push_back({entry.cFileName, entry.dwFileAttributes});
    } while (FindNextFileW(search, &entry));
    FindClose(search);

    const WormLayout layout = ReadWormLayout(letter, entries);
    for (const RootEntry& found : entries) {
        if (Holds(layout.decoys, root + found.name))
            steps.push_back({RestoreStep::QuarantineDecoy, root + found.name});
    }
    for (const RootEntry& found : entries) {
        if (Holds(layout.usersEntries, root + found.name))
            steps.push_back({RestoreStep::ClearHiddenSystem, root + found.name});
    }
    return steps;
}

bool CarryOutRestoreStep(const RestoreStep& step)
{
    if (step.action == RestoreStep::QuarantineDecoy) {
        const std::string storePath = StorePathOf(step.path);
        return !storePath.empty() && QuarantineFile(storePath.c_str());
    }
    const std::wstring path = LiteralPath(step.path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                            FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD kept = attributes & kKept;
    SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
    // Read back rather than trust the answer: a write-protected medium may
    // report success and keep the attributes.
    const DWORD now = GetFileAttributesW(path.c_str());
    return now != INVALID_FILE_ATTRIBUTES && !(now & kWormAttributes);
}
