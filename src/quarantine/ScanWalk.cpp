#include "quarantine/ScanWalk.h"

#include "framework/Text.h"
#include "system/ShellLink.h"
#include "system/WormSigns.h"
#include "usb/ThreatClassifier.h"

#include <windows.h>

#include <cstring>
#include <set>
#include <vector>

namespace {

// The extensions whose type codes the full-scan rule can list.
const char* const kListableExtensions[] = {".exe", ".com", ".bat", ".inf", ".pif", ".vbs", ".vb", ".vbe"};

// True when the classifier could give this file name one of the codes the
// rule lists. The classifier takes the text after the last dot of the whole
// path, and a listable extension holds no backslash, so that dot lies in the
// name. Most files of a drive fail this test and get no attribute query of
// their own: on Windows the find hands over a whole directory's attributes at
// once, while each GetFileAttributesA is another path lookup. (Under Wine,
// whose find already looks up every entry, both ways measure the same.)
bool MayBeListed(const char* name)
{
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    for (const char* extension : kListableExtensions) {
        if (SameTextNoCase(dot, extension, static_cast<int>(std::strlen(extension))))
            return true;
    }
    return false;
}

bool IsShortcut(const char* name)
{
    const size_t length = std::strlen(name);
    return length > 4 && SameTextNoCase(name + length - 4, ".lnk", 4);
}

// A path in one case, for telling whether it is listed already.
std::wstring Folded(std::wstring path)
{
    if (!path.empty())
        CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    return path;
}

bool IsDotEntry(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

}  // namespace

bool IsListedByFullScan(const char* path)
{
    switch (ClassifyFile(path)) {
    case kTypePif:
    case kTypeVbs:
    case kTypeVb:
    case kTypeVbe:
        return true;
    case kTypeExe:
    case kTypeCom:
    case kTypeBat:
    case kTypeInf: {
        // The failure value has every bit set, the hidden one too: a file gone
        // since it was classified is not listed.
        const DWORD attributes = GetFileAttributesA(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    }
    default:
        return false;
    }
}

int WalkForSuspiciousFiles(const std::string& root, const ScanFlag& scanning, const ListedFileSink& list,
                           const FolderDoneHook& folderDone)
{
    // Pending directories, the one found last on top. Only one search is open
    // at any time.
    std::vector<std::string> pending;
    std::string directory = root;
    std::string path;
    int listed = 0;
    // Filled as files are listed, so that a file a decoy names is not listed
    // again, before or after the decoy.
    std::set<std::wstring> seen;
    WormSigns signs(root.empty() ? L'?' : static_cast<wchar_t>(root[0]));
    auto report = [&](const std::string& file, ListedAs as) {
        if (!seen.insert(Folded(Widen(file))).second)
            return;
        ++listed;
        list(file, as);
    };
    auto judge = [&](const std::string& shortcut) {
        const std::wstring wide = Widen(shortcut);
        ShellLink link;
        if (!ReadShellLink(wide, link))
            return;
        const WormSigns::Verdict verdict = signs.JudgeShortcut(wide, link);
        if (!verdict.decoy)
            return;
        report(shortcut, ListedAs::WormShortcut);
        for (const std::wstring& file : verdict.files) {
            // The page reaches its files by ANSI paths: a name outside the
            // code page would name another file, or none.
            const std::string ansi = Narrow(file);
            if (Widen(ansi) == file)
                report(ansi, ListedAs::WormFile);
        }
    };

    while (scanning.load(std::memory_order_relaxed)) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((directory + "\\*.*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!scanning.load(std::memory_order_relaxed))
                    break;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    // A junction or symbolic link may lead back into its own
                    // tree; Wine reports a Unix symbolic link to a folder the
                    // same way.
                    if (!IsDotEntry(found.cFileName) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                        pending.push_back(directory + "\\" + found.cFileName);
                    continue;
                }
                const bool shortcut = IsShortcut(found.cFileName);
                if (!shortcut && !MayBeListed(found.cFileName))
                    continue;
                path.assign(directory).append(1, '\\').append(found.cFileName);
                if (shortcut)
                    judge(path);
                else if (IsListedByFullScan(path.c_str()))
                    report(path, ListedAs::Suspicious);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        if (folderDone)
            folderDone();
        if (pending.empty())
            break;
        directory = std::move(pending.back());
        pending.pop_back();
    }
    return listed;
}
