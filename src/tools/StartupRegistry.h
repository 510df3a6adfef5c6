#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the startup places kept in the registry share: location texts, whole
// values of any length and type, and their data as text.

// The root of a location text, as ParseLocation gives it back.
enum StartupRoot { kNoStartupRoot = 0, kCurrentUserRoot = 1, kLocalMachineRoot = 2 };

HKEY RootKey(StartupRoot root);

// "HKEY_CURRENT_USER\" or "HKEY_LOCAL_MACHINE\" followed by the key path.
std::wstring RegistryLocation(StartupRoot root, const std::wstring& keyPath);

// Splits a location text into its root and key path. The root name is
// compared case-blind and must be followed by a backslash and a key path;
// anything else is kNoStartupRoot, with `keyPath` left as it was.
StartupRoot ParseLocation(const std::wstring& location, std::wstring& keyPath);

// Every key is read and changed in the 64-bit view, where
// "Software\WOW6432Node" is the real path of the keys that 32-bit programs
// see: a 32-bit build on 64-bit Windows would otherwise be redirected there
// for the plain paths as well. A 32-bit Windows ignores the flag.
constexpr REGSAM kRegistryView = KEY_WOW64_64KEY;

// The whole data of value `name` of an open key, however large, and its type.
// False when there is no such value or it cannot be read.
bool ReadRegistryValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data);

// Registry data as the registry editor shows it: text as stored, the parts of
// a multi-string separated by blanks, a 32- or 64-bit number in hexadecimal
// with its decimal value in brackets, anything else as hexadecimal byte pairs.
std::wstring FormatRegistryData(DWORD type, const BYTE* data, size_t size);
