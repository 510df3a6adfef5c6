#pragma once

#include <windows.h>

#include <string>

// The settings key under HKEY_LOCAL_MACHINE and its two values.
constexpr const char* kSettingsKeyPath = "SOFTWARE\\vormtalware";
constexpr const char* kLastCheckValue = "lastcheck";
constexpr const char* kAutorunValue = "autorun";
// All that start-up does with the key: read and write those values. The setup
// program gives the Users group exactly these rights on it, so a standard
// user's copy must ask for no more.
constexpr REGSAM kSettingsKeyAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

// Settings values are read into buffers of this size; a longer value counts as missing.
constexpr DWORD kSettingsValueSize = 100;

// Reads a value's data as text (its type is not checked) into `buffer` of
// kSettingsValueSize bytes, always terminated; false when it is missing or too long.
bool ReadSettingsText(HKEY key, const char* name, char (&buffer)[kSettingsValueSize]);

// Writes `text` as REG_SZ, its length plus the terminator.
void WriteSettingsText(HKEY key, const char* name, const char* text);

// The executable's file name without folder and extension: it names the
// instance semaphore and the main window's property.
std::string ApplicationName();
