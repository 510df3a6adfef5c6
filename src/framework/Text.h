#pragma once

#include <windows.h>

#include <string>

// A string-table entry of `instance` (the executable when null); empty when
// the entry does not exist.
std::wstring LoadText(UINT id, HINSTANCE instance = nullptr);

// Conversions between UTF-16 and a code page: CP_ACP for the ANSI paths and
// registry data the program keeps, CP_UTF8 where needed.
std::wstring Widen(const std::string& text, UINT codePage = CP_ACP);
std::string Narrow(const std::wstring& text, UINT codePage = CP_ACP);
