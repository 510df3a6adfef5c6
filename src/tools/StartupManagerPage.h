#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"

#include <windows.h>

#include <string>
#include <vector>

// The registry values that start programs with Windows, read from the
// startup locations, and their removal. The functions below work without a
// window; StartupManagerPage shows their rows.

// The root of a location text, as ParseLocation gives it back.
enum StartupRoot { kNoStartupRoot = 0, kCurrentUserRoot = 1, kLocalMachineRoot = 2 };

// One registry value: its name (empty for the key's default value), its data
// as text, and the location it was read from, e.g.
// "HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run".
struct StartupEntry {
    std::wstring name;
    std::wstring command;
    std::wstring location;
};

// Appends every value of one location (root HKEY_CURRENT_USER or
// HKEY_LOCAL_MACHINE) in the registry's enumeration order, names and data
// whole whatever their length. A key that does not exist or may not be read
// adds nothing.
void EnumStartupKey(HKEY root, const std::wstring& keyPath, std::vector<StartupEntry>& entries);

// Every location in order. An HKEY_LOCAL_MACHINE location is followed by its
// copy that 32-bit programs see, named by its real path under "WOW6432Node".
std::vector<StartupEntry> ReadStartupEntries();

// Splits a location text into its root and key path. The root name is
// compared case-blind and must be followed by a backslash and a key path;
// anything else is kNoStartupRoot, with `keyPath` left as it was.
StartupRoot ParseLocation(const std::wstring& location, std::wstring& keyPath);

// Deletes the value `name` (empty: the default value) of a key that
// ParseLocation gave back. False when the key does not open for setting
// values or the system refuses the deletion.
bool DeleteStartupValue(StartupRoot root, const std::wstring& keyPath, const std::wstring& name);

// Registry data as the registry editor shows it: text as stored, the parts of
// a multi-string separated by blanks, a 32- or 64-bit number in hexadecimal
// with its decimal value in brackets, anything else as hexadecimal byte pairs.
std::wstring FormatRegistryData(DWORD type, const BYTE* data, size_t size);

// The startup page: one row per startup value with its name, its command and
// its location. "Обновить" re-reads the registry; "Удалить" asks, deletes the
// selected row's value and re-reads. Everything runs on the user-interface
// thread; the page has no worker.
class StartupManagerPage : public ChildPage {
public:
    StartupManagerPage();

    // Empties the list and lists every location again.
    void RefreshStartupList();
    // Asks "Удаление: <name>?" and deletes the selected row's value; the
    // refreshed list shows the outcome.
    void DeleteStartupEntry();


protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void AddRow(const StartupEntry& entry);

    ImageButton refreshButton_;
    ImageButton deleteButton_;
    // Rows added since the list was last emptied: where the next row goes.
    int rowCount_ = 0;
};
