#include "tools/DiskCleanup.h"

#include "res/resource.h"

#include <shlobj.h>
#include <wininet.h>
#include <winternl.h>

#include <cwchar>
#include <utility>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";
constexpr DWORD kUrlEntryBufferSize = 4096;

bool StartsWith(const std::wstring& text, const wchar_t* prefix)
{
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

std::wstring WithoutTrailingBackslash(std::wstring path)
{
    while (!path.empty() && path.back() == L'\\')
        path.pop_back();
    return path;
}

// The full path in the "\\?\" form, which the wide file calls take at any
// length.
std::wstring LongPathOf(const std::wstring& path)
{
    if (StartsWith(path, kLongPrefix))
        return path;
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return std::wstring();
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return std::wstring();
    full.resize(length);
    if (StartsWith(full, L"\\\\"))
        return kLongUncPrefix + full.substr(2);
    return kLongPrefix + full;
}

// A path in the "\\?\" form back in the form a user knows.
std::wstring ShortFormOf(const std::wstring& path)
{
    if (StartsWith(path, kLongUncPrefix))
        return L"\\\\" + path.substr(wcslen(kLongUncPrefix));
    if (StartsWith(path, kLongPrefix))
        return path.substr(wcslen(kLongPrefix));
    return path;
}

// Where an open file or folder really lies, with every link on the way
// resolved, in the "\\?\" form without a trailing backslash; empty when the
// system cannot tell (Wine cannot for a path longer than MAX_PATH).
std::wstring FinalPathOf(HANDLE file)
{
    wchar_t small[512];
    DWORD length = GetFinalPathNameByHandleW(file, small, ARRAYSIZE(small), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0)
        return std::wstring();
    if (length < ARRAYSIZE(small))
        return WithoutTrailingBackslash(std::wstring(small, length));
    std::wstring path(length, L'\0');
    length = GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= path.size())
        return std::wstring();
    path.resize(length);
    return WithoutTrailingBackslash(std::move(path));
}

// The name the system gives an open file: its whole path as the system
// reached it, every link on the way resolved ("\??\C:\dir\file" under Wine,
// "\Device\HarddiskVolume2\dir\file" on Windows), at any length.
// Empty when the system cannot tell. Of the ways to ask, this one costs Wine
// the least: a cleanup asks it for every file.
std::wstring ObjectNameOf(HANDLE handle)
{
    using QueryObject = LONG(NTAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int kObjectNameInformation = 1;
    static const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (!query)
        return std::wstring();
    ULONG_PTR small[128];  // UNICODE_STRING's alignment; most names fit
    std::vector<ULONG_PTR> large;
    ULONG_PTR* buffer = small;
    ULONG bytes = sizeof small;
    for (;;) {
        ULONG needed = 0;
        if (query(handle, kObjectNameInformation, buffer, bytes, &needed) >= 0) {
            const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
            return std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
        }
        if (needed <= bytes)
            return std::wstring();
        large.resize(needed / sizeof(ULONG_PTR) + 1);
        buffer = large.data();
        bytes = static_cast<ULONG>(large.size() * sizeof(ULONG_PTR));
    }
}

// A folder to be emptied: the path it was given by and where it really lies.
struct FolderPlace {
    std::wstring given;       // "\\?\" form, no trailing backslash
    std::wstring resolved;    // likewise, links resolved; empty when unknown
    std::wstring objectName;  // ObjectNameOf the folder, no trailing backslash
    bool opened = false;
};

FolderPlace PlaceOf(const std::wstring& folder)
{
    FolderPlace place;
    place.given = WithoutTrailingBackslash(LongPathOf(folder));
    if (place.given.empty())
        return place;
    // The trailing backslash keeps a drive root ("\\?\T:\") a folder.
    const HANDLE handle = CreateFileW((place.given + L"\\").c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return place;
    place.resolved = FinalPathOf(handle);
    place.objectName = WithoutTrailingBackslash(ObjectNameOf(handle));
    place.opened = !place.objectName.empty();
    CloseHandle(handle);
    return place;
}

std::wstring FinalFolderPathOf(const std::wstring& folder)
{
    const FolderPlace place = PlaceOf(folder);
    return place.resolved.empty() ? place.given : place.resolved;
}

std::vector<std::wstring> ProtectedFolders()
{
    std::vector<std::wstring> folders;
    wchar_t path[MAX_PATH + 1];
    if (GetWindowsDirectoryW(path, ARRAYSIZE(path)))
        folders.push_back(path);
    if (GetSystemDirectoryW(path, ARRAYSIZE(path)))
        folders.push_back(path);
    for (int folder : {CSIDL_PROFILE, CSIDL_PERSONAL, CSIDL_DESKTOPDIRECTORY, CSIDL_PROGRAM_FILES}) {
        if (SHGetSpecialFolderPathW(nullptr, path, folder, FALSE) && path[0])
            folders.push_back(path);
    }
    return folders;
}

// `folder` and `inner` in the "\\?\" form without a trailing backslash.
bool HoldsOrIs(const std::wstring& folder, const std::wstring& inner)
{
    if (inner.size() < folder.size() || !SameText(inner.substr(0, folder.size()), folder))
        return false;
    return inner.size() == folder.size() || inner[folder.size()] == L'\\';
}

bool IsPathSafeToEmpty(const std::wstring& folder)
{
    wchar_t volume[MAX_PATH + 1];
    if (!GetVolumePathNameW((folder + L"\\").c_str(), volume, ARRAYSIZE(volume)) ||
        SameText(WithoutTrailingBackslash(ShortFormOf(volume)), ShortFormOf(folder)))
        return false;
    for (const std::wstring& protectedFolder : ProtectedFolders()) {
        if (HoldsOrIs(folder, FinalFolderPathOf(protectedFolder)))
            return false;
    }
    return true;
}

// Both the path the folder was given by and the place it lies must be safe:
// under Wine a drive letter may name a folder of another drive.
bool IsPlaceSafeToEmpty(const FolderPlace& place)
{
    return place.opened && IsPathSafeToEmpty(place.given) &&
           (place.resolved.empty() || IsPathSafeToEmpty(place.resolved));
}

bool SetAttributes(HANDLE file, DWORD attributes)
{
    // Zero times leave the file's times as they are.
    FILE_BASIC_INFO basic = {};
    basic.FileAttributes = attributes;
    return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != FALSE;
}

// Deletes the file at `path` ("\\?\" form), found with `attributes`, if the
// system names it `objectName`. Opened with FILE_FLAG_OPEN_REPARSE_POINT, a
// symbolic link is the link itself and is deleted as a file. Where the system
// follows a link all the same (Wine does for a Unix symbolic link to a file,
// and shows no reparse point), the file lies elsewhere and stays. Checking
// and deleting through one handle leaves no moment for the path to be swapped.
bool DeleteFileInPlace(const std::wstring& path, const std::wstring& objectName, DWORD attributes)
{
    const HANDLE file = CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool deleted = false;
    if (SameText(ObjectNameOf(file), objectName)) {
        // Hidden and system files delete as they are; only read-only stops a deletion.
        const bool readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (readOnly)
            SetAttributes(file, FILE_ATTRIBUTE_NORMAL);
        FILE_DISPOSITION_INFO disposition = {TRUE};
        deleted = SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
        // A file that stays, stays as it was.
        if (!deleted && readOnly)
            SetAttributes(file, attributes);
    }
    CloseHandle(file);
    return deleted;
}

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

}  // namespace

std::vector<std::wstring> DefaultCleanupFolders()
{
    std::vector<std::wstring> folders;
    for (int folder : {CSIDL_COOKIES, CSIDL_RECENT}) {
        wchar_t path[MAX_PATH + 1] = {};
        if (SHGetSpecialFolderPathW(nullptr, path, folder, FALSE) && path[0])
            folders.push_back(WithoutTrailingBackslash(path) + L"\\");
    }
    const DWORD size = GetTempPathW(0, nullptr);
    if (size > 0) {
        std::wstring temp(size, L'\0');
        const DWORD length = GetTempPathW(size, &temp[0]);
        if (length > 0 && length < size) {
            temp.resize(length);
            folders.push_back(temp);
        }
    }
    return folders;
}

bool IsFolderSafeToEmpty(const std::wstring& folder)
{
    return IsPlaceSafeToEmpty(PlaceOf(folder));
}

void DeleteFolderFiles(const std::wstring& folder, const CleanupReport& report)
{
    // The walk goes through the folder's real place, and every file's real
    // place is checked against the path the walk built for it.
    const FolderPlace place = PlaceOf(folder);
    if (!IsPlaceSafeToEmpty(place))
        return;
    const std::wstring& root = place.resolved.empty() ? place.given : place.resolved;
    const std::wstring shownRoot = WithoutTrailingBackslash(folder) + L"\\";

    // Folders still to walk, relative to the root and ending in a backslash;
    // the one found last at the back. Only one search is open at a time.
    std::vector<std::wstring> pending;
    std::wstring relative;
    std::wstring path;
    std::wstring objectName;
    std::wstring shown;
    for (;;) {
        const std::wstring folderPath = root + L"\\" + relative;
        const std::wstring folderObjectName = place.objectName + L"\\" + relative;
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileExW((folderPath + L"*").c_str(), FindExInfoBasic, &found,
                                               FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (IsDotEntry(found.cFileName))
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    // A junction or a symbolic link (Wine shows a Unix link to
                    // a folder as one) may lead anywhere, the user's documents
                    // included: it is neither walked nor removed.
                    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                        pending.push_back(relative + found.cFileName + L"\\");
                    continue;
                }
                path.assign(folderPath).append(found.cFileName);
                objectName.assign(folderObjectName).append(found.cFileName);
                const bool deleted = DeleteFileInPlace(path, objectName, found.dwFileAttributes);
                shown.assign(shownRoot).append(relative).append(found.cFileName);
                report(shown, deleted ? IDS_DELETED : IDS_DELETE_ERROR);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        if (pending.empty())
            return;
        relative = std::move(pending.back());
        pending.pop_back();
    }
}

void PurgeUrlCache(const CleanupReport& report)
{
    std::vector<unsigned char> buffer;
    HANDLE search = nullptr;
    // Reads the first or the next entry into `buffer`, which starts at 4096
    // bytes for every entry and grows to the size the call asks for.
    auto read = [&](bool first) {
        DWORD size = kUrlEntryBufferSize;
        for (;;) {
            buffer.assign(size, 0);
            auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
            entry->dwStructSize = sizeof *entry;
            DWORD needed = size;
            bool ok;
            if (first) {
                search = FindFirstUrlCacheEntryW(nullptr, entry, &needed);
                ok = search != nullptr;
            } else {
                ok = FindNextUrlCacheEntryW(search, entry, &needed) != FALSE;
            }
            if (ok)
                return true;
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
                return false;
            // A size that does not grow would ask again for ever.
            size = needed > size ? needed : size * 2;
        }
    };

    for (bool more = read(true); more; more = read(false)) {
        const auto* entry = reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
        const std::wstring url = entry->lpszSourceUrlName ? entry->lpszSourceUrlName : L"";
        const std::wstring local =
            entry->lpszLocalFileName && entry->lpszLocalFileName[0] ? entry->lpszLocalFileName : url;
        DeleteUrlCacheEntryW(url.c_str());
        report(local, IDS_URL_CACHE_DELETED);
    }
    if (search)
        FindCloseUrlCache(search);
}

void EmptyRecycleBin()
{
    // Without an owner window; the system's progress display and sound stay on.
    SHEmptyRecycleBinW(nullptr, nullptr, SHERB_NOCONFIRMATION);
}
