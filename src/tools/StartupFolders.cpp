#include "tools/StartupFolders.h"

#include "quarantine/QuarantineStore.h"
#include "system/ShellLink.h"

#include <shlobj.h>

#include <algorithm>

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& ending)
{
    return text.size() >= ending.size() && SameName(text.substr(text.size() - ending.size()), ending);
}

}  // namespace

std::vector<std::wstring> StartupFolders()
{
    std::vector<std::wstring> folders;
    for (const int folder : {CSIDL_STARTUP, CSIDL_COMMON_STARTUP}) {
        // Asked for as they are, never created: a missing folder starts nothing.
        wchar_t path[MAX_PATH] = {};
        if (SHGetFolderPathW(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path) == S_OK && IsFolder(path))
            folders.emplace_back(path);
    }
    return folders;
}

std::wstring ShortcutCommand(const std::wstring& path)
{
    ShellLink link;
    if (!ReadShellLink(path, link) || link.Target().empty())
        return path;
    return link.arguments.empty() ? QuotedPath(link.Target()) : QuotedPath(link.Target()) + L" " + link.arguments;
}

void EnumStartupFolder(const std::wstring& folder, std::vector<StartupEntry>& entries)
{
    WIN32_FIND_DATAW found;
    // FindExInfoBasic: no short names are needed, and fetching them costs.
    HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                     nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return;
    std::vector<std::wstring> names;
    do {
        // The folder's own desktop.ini only holds its shown name; Explorer never opens it.
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && !SameName(found.cFileName, L"desktop.ini"))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);

    // The file system's order differs from one volume to the next.
    std::sort(names.begin(), names.end(), NameBefore);
    for (const std::wstring& name : names) {
        const std::wstring path = folder + L"\\" + name;
        entries.push_back({name, EndsWith(name, L".lnk") ? ShortcutCommand(path) : path, folder});
    }
}

void ReadStartupFolderEntries(std::vector<StartupEntry>& entries)
{
    for (const std::wstring& folder : StartupFolders())
        EnumStartupFolder(folder, entries);
}

std::wstring ParseStartupFileRow(const std::wstring& name, const std::wstring& location)
{
    if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/:") != std::wstring::npos)
        return std::wstring();
    for (const std::wstring& folder : StartupFolders()) {
        if (SameName(folder, location))
            return folder + L"\\" + name;
    }
    return std::wstring();
}

bool QuarantineStartupFile(const std::wstring& path)
{
    const std::string storePath = StorePathOf(path);
    return !storePath.empty() && QuarantineFile(storePath.c_str());
}
