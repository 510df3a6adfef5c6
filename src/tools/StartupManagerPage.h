#pragma once

#include "controls/ImageButton.h"
#include "framework/ChildPage.h"
#include "tools/StartupEntry.h"
#include "tools/StartupRegistry.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class SystemTaskScheduler;
class TaskScheduler;

// The places that start programs with Windows, their rows and their removal.
// The functions below work without a window; StartupManagerPage shows their
// rows. The places, in the order they are listed: the Run keys and the other
// registry locations the program has always listed, the Startup folders,
// scheduled tasks, Winlogon's Shell and Userinit, and the debuggers of
// Image File Execution Options.

// Appends every value of one registry location (root HKEY_CURRENT_USER or
// HKEY_LOCAL_MACHINE) in the registry's enumeration order, names and data
// whole whatever their length, with the location
// "HKEY_CURRENT_USER\<key path>" or "HKEY_LOCAL_MACHINE\<key path>". A key
// that does not exist or may not be read adds nothing.
void EnumStartupKey(HKEY root, const std::wstring& keyPath, std::vector<StartupEntry>& entries);

// Every place in order. An HKEY_LOCAL_MACHINE registry location is followed
// by its copy that 32-bit programs see, named by its real path under
// "WOW6432Node". A place that cannot be read adds nothing.
std::vector<StartupEntry> ReadStartupEntries(TaskScheduler& scheduler);

// Deletes the value `name` (empty: the default value) of a key that
// ParseLocation gave back. False when the key does not open for setting
// values or the system refuses the deletion.
bool DeleteStartupValue(StartupRoot root, const std::wstring& keyPath, const std::wstring& name);

// What Delete removes for a row, told by its location and name alone.
enum class StartupKind {
    None,           // no row the page makes: nothing is removed
    RegistryValue,  // the value `name` of key `path` under `root` is deleted
    StartupFile,    // the file `path` goes into quarantine
    ScheduledTask,  // task `name` of the folder `path` is deleted
    WinlogonValue,  // the value `name` of Winlogon's key under `root` gets its default back
    DebuggerValue,  // the Debugger value of key `path` under HKEY_LOCAL_MACHINE is removed
};
struct StartupTarget {
    StartupKind kind = StartupKind::None;
    StartupRoot root = kNoStartupRoot;
    std::wstring path;
    std::wstring name;
};
// A location must name the place exactly as the page lists it; anything
// else is StartupKind::None.
StartupTarget ClassifyStartupRow(const std::wstring& name, const std::wstring& location);

// The startup page: one row per startup entry with its name, its command and
// its location. "Обновить" reads every place again; "Удалить" asks, removes
// the selected row's entry and reads again. Everything runs on the
// user-interface thread; the page has no worker.
class StartupManagerPage : public ChildPage {
public:
    StartupManagerPage();

    // Empties the list and lists every place again.
    void RefreshStartupList();
    // Asks "Удаление: <name>?" (for a Winlogon value, whether its default
    // may be written back) and removes the selected row's entry; the
    // refreshed list shows the outcome.
    void DeleteStartupEntry();

    // Where the page reads and deletes scheduled tasks: this computer's Task
    // Scheduler unless another is given. The page does not own it.
    void SetTaskScheduler(TaskScheduler* scheduler) { scheduler_ = scheduler; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    void AddRow(const StartupEntry& entry);
    // The scheduler given, or this computer's, made in `system`.
    TaskScheduler& Scheduler(std::unique_ptr<SystemTaskScheduler>& system) const;

    ImageButton refreshButton_;
    ImageButton deleteButton_;
    // Rows added since the list was last emptied: where the next row goes.
    int rowCount_ = 0;
    TaskScheduler* scheduler_ = nullptr;
};
