#include "usb/WormLayout.h"

#include "framework/Text.h"
#include "system/ShellLink.h"
#include "system/WormSigns.h"
#include "usb/ThreatClassifier.h"

#include <cwchar>
#include <utility>

namespace {

constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// A disguised recycle bin is walked this far: a payload is a few files, and
// a hostile drive cannot make the scan list without end.
constexpr size_t kMaxFolderFiles = 10000;
constexpr int kMaxFolderDepth = 32;

// Root entries that belong to the system, or to the program's immunity.
const wchar_t* const kSystemEntries[] = {
    L"AUTORUN.INF", L"System Volume Information", L"$RECYCLE.BIN", L"RECYCLER", L"RECYCLED", L"desktop.ini",
};

bool SameText(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

bool Holds(const std::vector<std::wstring>& list, const std::wstring& text)
{
    for (const std::wstring& entry : list) {
        if (SameText(entry, text))
            return true;
    }
    return false;
}

bool IsSystemEntry(const std::wstring& name)
{
    for (const wchar_t* entry : kSystemEntries) {
        if (SameText(name, entry))
            return true;
    }
    return false;
}

bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Every file under `folder`, folders first met walked last; links to
// folders are not followed.
void ListFilesUnder(const std::wstring& folder, std::vector<std::wstring>& files)
{
    std::vector<std::pair<std::wstring, int>> pending = {{folder, 0}};
    while (!pending.empty() && files.size() < kMaxFolderFiles) {
        const std::wstring directory = pending.back().first;
        const int depth = pending.back().second;
        pending.pop_back();
        WIN32_FIND_DATAW entry;
        const HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (IsDotEntry(entry.cFileName))
                continue;
            const std::wstring path = directory + L"\\" + entry.cFileName;
            const wchar_t last = path.back();
            // A file whose name ends in a blank or a dot cannot be opened by
            // an ordinary path: no runner starts it, and no delete reaches it.
            if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                if (last != L' ' && last != L'.' && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    files.push_back(path);
            }
            else if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && depth < kMaxFolderDepth)
                pending.emplace_back(path, depth + 1);
        } while (files.size() < kMaxFolderFiles && FindNextFileW(search, &entry));
        FindClose(search);
    }
}

// The root entry a path lies in ("E:\a" for "E:\a\b\c"); empty for a root entry itself.
std::wstring TopFolderOf(const std::wstring& path, size_t rootLength)
{
    const size_t separator = path.find(L'\\', rootLength);
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

bool RemoveEmptied(const std::wstring& folder, int depth)
{
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            constexpr DWORD kLinkedFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
            if (!IsDotEntry(entry.cFileName) && (entry.dwFileAttributes & kLinkedFolder) == FILE_ATTRIBUTE_DIRECTORY &&
                depth < kMaxFolderDepth)
                RemoveEmptied(folder + L"\\" + entry.cFileName, depth + 1);
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    // Only an empty folder can be removed: one that still holds a file stays
    // whatever is asked. A read-only folder refuses until its attribute goes.
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (RemoveDirectoryW(folder.c_str()))
        return true;
    SetFileAttributesW(folder.c_str(), attributes);
    return false;
}

}  // namespace

bool MattersToWormLayout(const wchar_t* name, DWORD attributes)
{
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        constexpr DWORD kMarked = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
        return !IsDotEntry(name) &&
               ((attributes & kMarked) || IsBlankName(name) || CompareStringOrdinal(name, -1, L"RECYCLER.BIN", -1, TRUE) == CSTR_EQUAL);
    }
    if ((attributes & kHiddenSystem) == kHiddenSystem)
        return true;
    const size_t length = std::wcslen(name);
    return length > 4 && CompareStringOrdinal(name + length - 4, 4, L".lnk", 4, TRUE) == CSTR_EQUAL;
}

WormLayout ReadWormLayout(wchar_t letter, const std::vector<RootEntry>& entries)
{
    WormLayout layout;
    WormSigns signs(letter);
    const std::wstring& root = signs.Root();

    std::vector<std::wstring> disguised, named, impersonated;
    for (const RootEntry& entry : entries) {
        const std::wstring path = root + entry.name;
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (signs.IsDisguisedRecycleBin(entry.name, entry.attributes))
                disguised.push_back(path);
            continue;
        }
        ShellLink link;
        if (!IsShortcutName(entry.name) || !ReadShellLink(path, link))
            continue;
        WormSigns::Verdict verdict = signs.JudgeShortcut(path, link);
        if (!verdict.decoy)
            continue;
        layout.decoys.push_back(path);
        impersonated.push_back(entry.name.substr(0, entry.name.size() - 4));
        named.insert(named.end(), verdict.files.begin(), verdict.files.end());
    }

    for (const std::wstring& folder : disguised)
        ListFilesUnder(folder, layout.folderFiles);
    // A folder that holds what a decoy starts is the worm's, unless a decoy
    // wears its name (the worm may drop its script among the user's files).
    std::vector<std::wstring> wormFolders;
    for (const std::wstring& file : named) {
        if (Holds(layout.folderFiles, file) || Holds(layout.namedFiles, file) || Holds(layout.decoys, file))
            continue;
        // What a decoy impersonates is the user's, whichever decoy names it.
        if (file.find(L'\\', root.size()) == std::wstring::npos && Holds(impersonated, file.substr(root.size())))
            continue;
        layout.namedFiles.push_back(file);
        const std::wstring top = TopFolderOf(file, root.size());
        if (!top.empty() && !Holds(impersonated, top.substr(root.size())))
            wormFolders.push_back(top);
    }

    for (const RootEntry& entry : entries) {
        const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const bool hidden = (entry.attributes & kHiddenSystem) == kHiddenSystem ||
                            (folder && (entry.attributes & kHiddenSystem) && IsBlankName(entry.name));
        if (!hidden || IsSystemEntry(entry.name))
            continue;
        const std::wstring path = root + entry.name;
        if (folder ? Holds(disguised, path) || Holds(wormFolders, path)
                   : ClassifyFileName(Narrow(path).c_str()) != kTypeNone || Holds(layout.namedFiles, path))
            continue;
        layout.usersEntries.push_back(path);
    }
    return layout;
}

void RemoveEmptiedFolders(const std::wstring& folder)
{
    RemoveEmptied(folder, 0);
}
