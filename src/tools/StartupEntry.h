#pragma once

#include <windows.h>

#include <string>

// One row of the startup page: what starts (a registry value's name, a
// file's name, a task's name), its command as text, and the location it was
// read from. The location is the row's only record of its place: Delete
// turns it back into what it removes, so every place writes a location that
// names exactly one entry together with the name.
struct StartupEntry {
    std::wstring name;
    std::wstring command;
    std::wstring location;
};

// Case-blind comparison of two texts, as Windows compares registry keys, file
// names and task names.
inline bool SameName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Orders names case-blind, so that rows keep one order from refresh to refresh.
inline bool NameBefore(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_LESS_THAN;
}

// A program's path as a command line shows it: in quotes when it holds a
// blank and has none.
inline std::wstring QuotedPath(const std::wstring& path)
{
    if (path.find(L' ') == std::wstring::npos || (path.size() >= 2 && path.front() == L'"' && path.back() == L'"'))
        return path;
    return L"\"" + path + L"\"";
}
