#pragma once

#include <windows.h>

#include <string>

// Shortcut files for tests, written byte for byte in the published shortcut
// format, so that a test decides exactly which parts a shortcut carries:
// the decoys USB worms leave often name their target in the ID list alone.
struct ShortcutSpec {
    // "C:\Windows\System32\cmd.exe": an ID list of the computer, the drive
    // and one item per folder and file. Empty: no ID list.
    std::wstring idListTarget;
    // The version of the extension block that carries each item's long name
    // (3, 7, 8 or 9, as Windows XP to 10 write it); 0 writes none, and the
    // item's own name is the long name, as Wine writes it.
    WORD extensionVersion = 9;
    // The link info's local path. Empty: no link info.
    std::wstring linkInfoTarget;
    // The environment block's path ("%windir%\system32\cmd.exe"). Empty: none.
    std::wstring environmentTarget;
    std::wstring name, relativePath, workingDirectory, arguments, iconLocation;
    int iconIndex = 0;
    DWORD targetAttributes = FILE_ATTRIBUTE_ARCHIVE;
    // The string data in UTF-16 (else in the ANSI code page).
    bool unicode = true;
};

// The bytes of the shortcut that `layout` describes.
std::string ShortcutBytes(const ShortcutSpec& layout);

// Writes ShortcutBytes(layout) to `path`; fails the test on error.
void WriteShortcut(const std::wstring& path, const ShortcutSpec& layout);

// A shortcut saved by the shell's own object (IShellLinkW), as Explorer or
// a setup program makes one. False when the shell refuses.
bool SaveShellShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                       const std::wstring& iconLocation = std::wstring(), int iconIndex = 0);
