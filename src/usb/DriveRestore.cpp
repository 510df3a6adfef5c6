#include "usb/DriveRestore.h"

#include "framework/Text.h"
#include "quarantine/QuarantineStore.h"
#include "usb/ThreatClassifier.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cwctype>

namespace {

constexpr DWORD kWormAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Programs that run whatever command or script a shortcut hands them.
const wchar_t* const kRunners[] = {
    L"cmd.exe", L"wscript.exe", L"cscript.exe", L"mshta.exe", L"powershell.exe", L"rundll32.exe",
};

// Root entries that belong to the system, or to the program's immunity.
const wchar_t* const kSystemEntries[] = {
    L"AUTORUN.INF", L"System Volume Information", L"$RECYCLE.BIN", L"RECYCLER", L"desktop.ini",
};

bool SameName(const std::wstring& a, const wchar_t* b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}

template <size_t N>
bool IsOneOf(const std::wstring& name, const wchar_t* const (&names)[N])
{
    for (const wchar_t* candidate : names) {
        if (SameName(name, candidate))
            return true;
    }
    return false;
}

std::wstring ExpandEnvironment(const std::wstring& text)
{
    const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0)
        return text;
    std::wstring expanded(size, L'\0');
    const DWORD length = ExpandEnvironmentStringsW(text.c_str(), &expanded[0], size);
    if (length == 0 || length > size)
        return text;
    expanded.resize(length - 1);
    return expanded;
}

// The shortcut's target path as stored, environment strings expanded; empty
// when the file is no shortcut the shell can load.
std::wstring ShortcutTarget(const std::wstring& path)
{
    std::wstring target;
    IShellLinkW* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t raw[MAX_PATH] = {};
        // The raw path: resolving would search the machine for a moved target.
        if (SUCCEEDED(file->Load(path.c_str(), STGM_READ)) &&
            link->GetPath(raw, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK)
            target = ExpandEnvironment(raw);
        file->Release();
    }
    link->Release();
    return target;
}

bool IsDecoy(const std::wstring& path, wchar_t letter)
{
    const std::wstring target = ShortcutTarget(path);
    if (target.empty())
        return false;
    // Wine keeps a target given as "%ComSpec%" behind the folder it was saved
    // from ("C:\windows\C:\windows\system32\cmd.exe" once expanded): the name
    // after the last separator is what runs.
    const size_t separator = target.find_last_of(L"\\/:");
    const std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
    if (IsOneOf(name, kRunners))
        return true;
    const bool sameDrive = target.size() > 2 && target[1] == L':' && std::towupper(target[0]) == std::towupper(letter);
    if (!sameDrive)
        return false;
    // By name: the user may have deleted the worm's script already.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return ClassifyFileName(Narrow(target).c_str()) != kTypeNone;
}

bool IsUsersHiddenEntry(const std::wstring& path, const WIN32_FIND_DATAW& entry)
{
    if ((entry.dwFileAttributes & kWormAttributes) != kWormAttributes || IsOneOf(entry.cFileName, kSystemEntries))
        return false;
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || ClassifyFileName(Narrow(path).c_str()) == kTypeNone;
}

bool EndsWithLnk(const std::wstring& name)
{
    return name.size() > 4 && SameName(name.substr(name.size() - 4), L".lnk");
}

}  // namespace

std::vector<RestoreStep> PlanDriveRestore(wchar_t letter)
{
    std::vector<RestoreStep> steps;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((root + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return steps;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = root + name;
        const bool file = !(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        if (file && EndsWithLnk(name) && IsDecoy(path, letter))
            steps.push_back({RestoreStep::QuarantineDecoy, path});
        else if (IsUsersHiddenEntry(path, entry))
            steps.push_back({RestoreStep::ClearHiddenSystem, path});
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return steps;
}

bool CarryOutRestoreStep(const RestoreStep& step)
{
    if (step.action == RestoreStep::QuarantineDecoy) {
        const std::string storePath = StorePathOf(step.path);
        return !storePath.empty() && QuarantineFile(storePath.c_str());
    }
    const DWORD attributes = GetFileAttributesW(step.path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                            FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD kept = attributes & kKept;
    SetFileAttributesW(step.path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
    // Read back rather than trust the answer: a write-protected medium may
    // report success and keep the attributes.
    const DWORD now = GetFileAttributesW(step.path.c_str());
    return now != INVALID_FILE_ATTRIBUTES && !(now & kWormAttributes);
}
