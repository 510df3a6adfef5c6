#pragma once

#include "system/ShellLink.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

// The signs by which the USB worms of today give themselves away on a drive:
// a decoy shortcut that starts a command interpreter, a script host or a
// program the user cannot see; a folder dressed as a recycle bin that holds
// the payload; the files a decoy's arguments hand to its runner. Everything
// is told from names, attributes and shortcut bytes: nothing on the drive is
// run, opened with the shell or resolved. The insertion scan, the drive
// restore and the full scan share these rules, so that they agree on what a
// decoy is.

// The folders Windows itself keeps in a drive's root ("$RECYCLE.BIN",
// "System Volume Information"): never taken for the worm's.
bool IsWindowsOwnFolder(const std::wstring& name);

// A name made of blanks and no-break spaces only: Explorer shows such a
// folder without a name, and worms move the user's files into one.
bool IsBlankName(const std::wstring& name);

// True for a name ending in ".lnk", whatever its case.
bool IsShortcutName(const std::wstring& name);

// A shortcut's arguments may name at most this many files: a hostile
// shortcut with thousands of names costs no more than a real decoy.
constexpr size_t kMaxArgumentPaths = 32;

// What a shortcut's arguments name, read as text.
struct ArgumentNames {
    // Full paths under `root`, normalised as Windows would (".", ".." and
    // trailing dots and blanks gone), without duplicates, in order.
    std::vector<std::wstring> paths;
    bool webAddress = false;  // an http:// or https:// address
};

// Reads `arguments` as a runner would split them: quoted parts, switches
// with a value ("/i:E:\x.sct"), "file,entry" for rundll32. A name with a
// drive letter counts when the letter is `root`'s; one that starts with a
// backslash is taken from `root`; any other from each of `folders` in turn
// (the root, the shortcut's folder, its working directory). Network paths,
// streams, wildcards, environment strings and device names (CON, NUL, ...)
// name nothing. Text only: the file system is not asked.
ArgumentNames ReadArgumentNames(const std::wstring& arguments, const std::wstring& root,
                                const std::vector<std::wstring>& folders);

// `path` under `root` ("E:\"), normalised as ReadArgumentNames does; empty
// when it does not lie on that drive or names a device or nothing.
std::wstring NormalisedOnDrive(const std::wstring& path, const std::wstring& root);

// One drive as the rules see it. Attributes looked up once are kept for the
// life of the object (one scan), so that a folder many decoys point into
// costs one query.
class WormSigns {
public:
    explicit WormSigns(wchar_t letter);

    const std::wstring& Root() const { return root_; }  // "E:\"

    // A folder in the root dressed as a recycle bin: one named RECYCLER.BIN,
    // or, on a removable drive, where Windows keeps no recycle bin, a system
    // or read-only folder (the only kind whose desktop.ini Explorer reads)
    // whose desktop.ini gives the Recycle Bin's class identifier. Windows'
    // own folders never are, nor is a link to a folder, which may lead off
    // the drive. `name` is the root entry's name.
    bool IsDisguisedRecycleBin(const std::wstring& name, DWORD attributes);

    struct Verdict {
        bool decoy = false;
        // The files of this drive the decoy starts or names, that exist:
        // its target program or script and the files its arguments name,
        // except documents and the entry it impersonates (its own name
        // without ".lnk"), which are the user's, and files reached through
        // a link, which may lie anywhere.
        std::vector<std::wstring> files;
    };
    // Judges the shortcut at `path` on this drive. A decoy's target is a
    // runner (cmd, powershell, pwsh, wscript, cscript, mshta, rundll32,
    // regsvr32, msiexec, conhost, forfiles, or explorer with arguments); a
    // script on the drive; a program on the drive that the user cannot see
    // (itself or a folder on its way hidden, or in a disguised recycle bin);
    // or a program of the Windows folder whose arguments name a web address
    // or a file the user cannot see. A target on another drive letter whose
    // path exists on this drive is taken as this drive's: the decoy was made
    // where the drive had that letter.
    Verdict JudgeShortcut(const std::wstring& path, const ShellLink& link);

private:
    DWORD Attributes(const std::wstring& path);
    // The path, or a folder between the root and it, hidden or a disguised
    // recycle bin.
    bool LiesHidden(const std::wstring& path);
    std::wstring OnThisDrive(const std::wstring& path);
    // The path, or a folder between the root and it, is a link or is gone.
    bool PassesLink(const std::wstring& path);

    struct NoCaseLess {
        bool operator()(const std::wstring& a, const std::wstring& b) const;
    };

    std::wstring root_;
    bool removable_ = false;
    std::map<std::wstring, DWORD, NoCaseLess> attributes_;
    std::map<std::wstring, bool, NoCaseLess> disguised_;
};
