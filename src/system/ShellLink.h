#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

// What a shortcut file (".lnk") says, read as data. The reader follows the
// published shortcut format itself: it never asks the shell, so no icon is
// extracted, no shell extension is loaded and no target is resolved or
// looked up, and it reads the same on Windows and Wine. A shortcut on a USB
// drive may be hostile: every field is bounded by the bytes that are there,
// and anything damaged is dropped, never guessed.
//
// A shortcut can name its target in up to three places: the target ID list
// (the shell's own chain of items: the computer, a drive, each folder, the
// file), the link info (a local path the shell keeps to find a moved
// target) and the environment block (a path with %VARIABLES%). Decoys made
// by USB worms often carry the ID list alone. Each place is kept apart; a
// hostile shortcut may make them disagree.
struct ShellLink {
    DWORD flags = 0;            // the header's link flags
    DWORD targetAttributes = 0; // the target's attributes as the header records them
    int iconIndex = 0;
    int showCommand = 0;

    std::wstring idListPath;       // from the ID list's drive and file items; empty when it names no file-system path
    std::wstring linkInfoPath;     // the link info's local base path and common suffix
    std::wstring environmentPath;  // the environment block's target, as stored (unexpanded)

    // The string data.
    std::wstring name;  // the description
    std::wstring relativePath;
    std::wstring workingDirectory;
    std::wstring arguments;
    std::wstring iconLocation;
    std::wstring iconEnvironmentPath;  // the icon environment block's path, unexpanded

    // What the shell would start: the environment block's path (expanded)
    // when the header says it has one, else the ID list's path, else the
    // link info's; empty when none names a file-system path.
    std::wstring Target() const;
    // Every distinct non-empty target path the shortcut holds (environment
    // path expanded), the one Target() gives first.
    std::vector<std::wstring> TargetPaths() const;
};

// The header's link flags that the reader looks at.
constexpr DWORD kLinkHasIdList = 0x1;
constexpr DWORD kLinkHasLinkInfo = 0x2;
constexpr DWORD kLinkHasName = 0x4;
constexpr DWORD kLinkHasRelativePath = 0x8;
constexpr DWORD kLinkHasWorkingDirectory = 0x10;
constexpr DWORD kLinkHasArguments = 0x20;
constexpr DWORD kLinkHasIconLocation = 0x40;
constexpr DWORD kLinkIsUnicode = 0x80;
constexpr DWORD kLinkHasEnvironmentPath = 0x200;
constexpr DWORD kLinkHasIconEnvironmentPath = 0x4000;

// A shortcut file is a few kilobytes; the reader looks at no more than this.
constexpr size_t kMaxShellLinkSize = 1 << 20;

// Parses the bytes of a shortcut file. False when they are not one (too
// short, another header size or class, a broken string section); a damaged
// ID list, link info or extra block is skipped and its fields stay empty.
bool ParseShellLink(const void* data, size_t size, ShellLink& link);

// Reads the shortcut file at `path` (at most kMaxShellLinkSize bytes, shared
// for reading, writing and deleting, so that a scan keeps no one out) and
// parses it. False when it does not open or is not a shortcut.
bool ReadShellLink(const std::wstring& path, ShellLink& link);
