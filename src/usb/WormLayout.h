#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What a USB worm left in a drive's root and what its decoys lead to, in the
// terms the USB protection page and the drive restore act on. The decoys and
// the disguised recycle bins follow the shared rules of system/WormSigns.h.

struct RootEntry {
    std::wstring name;
    DWORD attributes;
};

// Whether a root entry can matter to ReadWormLayout: a shortcut, a folder
// that is hidden, system, read-only, blank-named or called RECYCLER.BIN, a
// hidden-and-system file. A scan hands over only these, so that a root of
// ordinary files costs no more than its listing.
bool MattersToWormLayout(const wchar_t* name, DWORD attributes);

struct WormLayout {
    // The root's decoy shortcuts, hidden or not, in listing order.
    std::vector<std::wstring> decoys;
    // Every file inside the root's disguised recycle bins, at any depth.
    std::vector<std::wstring> folderFiles;
    // The other files the decoys start or name, wherever they lie.
    std::vector<std::wstring> namedFiles;
    // The user's entries the worm hid: the root's hidden-and-system folders
    // and documents, and folders with a blank name that are hidden or system;
    // not Windows' own entries, not the immunity folder, not a type the
    // classifier knows, not the worm's (a disguised recycle bin, a file a
    // decoy names, a folder holding one that no decoy is named after). For
    // the restore only: never deleted.
    std::vector<std::wstring> usersEntries;

    // Decoys beside the user's hidden entries: the pattern the restore mends.
    bool ShowsWormPattern() const { return !decoys.empty() && !usersEntries.empty(); }
};

// Reads the root of drive `letter` from `entries`, those of its entries that
// matter, in listing order. Each shortcut is read once.
WormLayout ReadWormLayout(wchar_t letter, const std::vector<RootEntry>& entries);

// Removes the folders under `folder` that are empty once the files in them
// have gone, and `folder` itself when it ends up empty: what is left of a
// disguised recycle bin after its files went into quarantine. A folder that
// still holds anything stays.
void RemoveEmptiedFolders(const std::wstring& folder);
