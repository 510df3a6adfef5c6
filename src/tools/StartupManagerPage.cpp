#include "tools/StartupManagerPage.h"

#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "tools/DebuggerEntries.h"
#include "tools/ScheduledTasks.h"
#include "tools/StartupFolders.h"
#include "tools/WinlogonValues.h"

#include <algorithm>
#include <memory>

namespace {

struct StartupLocation {
    StartupRoot root;
    const wchar_t* path;  // below "Software\"
};

// Where programs register to start with Windows, in the order they are listed.
// The last three say "WindowsNT" without a blank: the program has always
// listed these paths, and whatever a program keeps there may be deleted.
// The real Winlogon key ("Windows NT") holds Shell and Userinit, which are
// never deleted: the page lists them on their own.
const StartupLocation kLocations[] = {
    {kLocalMachineRoot, L"Microsoft\\Windows\\CurrentVersion\\Run"},
    {kCurrentUserRoot, L"Microsoft\\Windows\\CurrentVersion\\Run"},
    {kCurrentUserRoot, L"Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {kLocalMachineRoot, L"Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"},
    {kCurrentUserRoot, L"Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {kLocalMachineRoot, L"Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {kCurrentUserRoot, L"Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {kLocalMachineRoot, L"Microsoft\\Windows\\CurrentVersion\\RunServicesOnce"},
    {kCurrentUserRoot, L"Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {kLocalMachineRoot, L"Microsoft\\Windows\\CurrentVersion\\RunServices"},
    {kCurrentUserRoot, L"Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {kLocalMachineRoot, L"Microsoft\\Windows\\CurrentVersion\\RunOnceEx"},
    {kCurrentUserRoot, L"Microsoft\\WindowsNT\\CurrentVersion\\Windows"},
    {kCurrentUserRoot, L"Microsoft\\WindowsNT\\CurrentVersion\\Winlogon"},
    {kLocalMachineRoot, L"Microsoft\\WindowsNT\\CurrentVersion\\Winlogon"},
};

// A value that grew between measuring the key and reading it is read again
// into larger buffers, a bounded number of times.
constexpr int kMaxRereads = 32;
// A value name has at most 16,383 characters; one more for its zero.
constexpr size_t kNameLimit = 16384;

// The key paths a registry row of the list may name: each location, and the
// 32-bit copy of each HKEY_LOCAL_MACHINE one.
bool IsStartupKey(StartupRoot root, const std::wstring& keyPath)
{
    for (const StartupLocation& location : kLocations) {
        if (location.root != root)
            continue;
        if (SameName(keyPath, std::wstring(L"Software\\") + location.path) ||
            (root == kLocalMachineRoot && SameName(keyPath, std::wstring(L"Software\\WOW6432Node\\") + location.path)))
            return true;
    }
    return false;
}

void ReadStartupKeys(std::vector<StartupEntry>& entries)
{
    for (const StartupLocation& location : kLocations) {
        EnumStartupKey(RootKey(location.root), std::wstring(L"Software\\") + location.path, entries);
        // The entries of 32-bit programs, right after the location's own.
        if (location.root == kLocalMachineRoot)
            EnumStartupKey(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\WOW6432Node\\") + location.path, entries);
    }
}

// The question before a removal: a Winlogon value is not deleted, and the
// question says what is written instead.
std::wstring Question(const std::wstring& name, const StartupTarget& target)
{
    if (target.kind != StartupKind::WinlogonValue)
        return LoadText(IDS_DELETE_PREFIX) + name + L"?";
    // The two blanks "%s" are filled by hand: a format function would read
    // any other "%" of the text as well.
    std::wstring text = LoadText(IDS_WINLOGON_QUESTION);
    size_t at = 0;
    for (const std::wstring& part : {target.name, WinlogonDefault(target.name)}) {
        at = text.find(L"%s", at);
        if (at == std::wstring::npos)
            break;
        text.replace(at, 2, part);
        at += part.size();
    }
    return text;
}

}  // namespace

void EnumStartupKey(HKEY root, const std::wstring& keyPath, std::vector<StartupEntry>& entries)
{
    const std::wstring location =
        RegistryLocation(root == HKEY_CURRENT_USER ? kCurrentUserRoot : kLocalMachineRoot, keyPath);

    // Reading needs no more than the right to read: a user without
    // administrator rights sees the HKEY_LOCAL_MACHINE entries too.
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | kRegistryView, &key) != ERROR_SUCCESS)
        return;

    // Buffers as large as the key's longest name and largest data, so that no
    // value is cut short or passed over however long it is.
    DWORD longestName = 0;
    DWORD largestData = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName, &largestData,
                     nullptr, nullptr);
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(std::max<DWORD>(largestData, 1));

    int rereads = 0;
    for (DWORD index = 0;;) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = REG_NONE;
        const LSTATUS status =
            RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_MORE_DATA && ++rereads <= kMaxRereads) {
            // The call reports the data's size, not the name's: a name grows
            // up to the registry's limit, the data to the size reported.
            const size_t longerName = std::min<size_t>(name.size() * 2, kNameLimit);
            if (dataSize > data.size())
                data.resize(dataSize);
            else if (longerName == name.size())
                data.resize(data.size() * 2);
            name.resize(longerName);
            continue;
        }
        if (status != ERROR_SUCCESS)
            break;
        entries.push_back({std::wstring(name.data(), nameLength), FormatRegistryData(type, data.data(), dataSize),
                           location});
        rereads = 0;
        ++index;
    }
    RegCloseKey(key);
}

std::vector<StartupEntry> ReadStartupEntries(TaskScheduler& scheduler)
{
    std::vector<StartupEntry> entries;
    ReadStartupKeys(entries);
    ReadStartupFolderEntries(entries);
    ReadScheduledTaskEntries(scheduler, entries);
    ReadWinlogonEntries(entries);
    ReadDebuggerEntries(entries);
    return entries;
}

bool DeleteStartupValue(StartupRoot root, const std::wstring& keyPath, const std::wstring& name)
{
    if (root == kNoStartupRoot)
        return false;
    // Only the right that the deletion needs: a key the user may read but not
    // change refuses here, and its entry stays in the list.
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKey(root), keyPath.c_str(), 0, KEY_SET_VALUE | kRegistryView, &key) != ERROR_SUCCESS)
        return false;
    const bool deleted = RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
}

StartupTarget ClassifyStartupRow(const std::wstring& name, const std::wstring& location)
{
    StartupTarget target;
    // Winlogon and the debuggers first: their locations are registry paths
    // too, and a value of theirs must never be deleted by name.
    if ((target.root = ParseWinlogonRow(name, location, target.name)) != kNoStartupRoot) {
        target.kind = StartupKind::WinlogonValue;
    } else if (ParseDebuggerRow(name, location, target.path)) {
        target.kind = StartupKind::DebuggerValue;
        target.root = kLocalMachineRoot;
    } else if ((target.root = ParseLocation(location, target.path)) != kNoStartupRoot) {
        target.kind = IsStartupKey(target.root, target.path) ? StartupKind::RegistryValue : StartupKind::None;
        target.name = name;
    } else if (ParseTaskRow(name, location, target.path, target.name)) {
        target.kind = StartupKind::ScheduledTask;
    } else if (!(target.path = ParseStartupFileRow(name, location)).empty()) {
        target.kind = StartupKind::StartupFile;
    }
    if (target.kind == StartupKind::None)
        target = StartupTarget();
    return target;
}

StartupManagerPage::StartupManagerPage() : ChildPage(IDD_STARTUP_MANAGER_PAGE, IDC_STARTUP_LIST) {}

bool StartupManagerPage::OnInitDialog()
{
    ChildPage::OnInitDialog();
    SetUpList(List(), {{IDS_COL_APPLICATION, 120}, {IDS_COL_COMMAND, 400, ListColumn::Fill}, {IDS_COL_LOCATION, 300}});

    AttachPageButton(refreshButton_, Handle(), IDC_STARTUP_REFRESH, IDB_REFRESH);
    AttachPageButton(deleteButton_, Handle(), IDC_DELETE_OR_RESULT_LIST, IDB_DELETE);

    RefreshStartupList();
    return true;
}

bool StartupManagerPage::OnCommand(WORD id, WORD code, HWND)
{
    if (code != BN_CLICKED)
        return false;
    switch (id) {
    case IDC_STARTUP_REFRESH:
        RefreshStartupList();
        return true;
    case IDC_DELETE_OR_RESULT_LIST:
        DeleteStartupEntry();
        return true;
    default:
        return false;
    }
}

void StartupManagerPage::AddRow(const StartupEntry& entry)
{
    const HWND list = List();
    const int row = InsertListRow(list, rowCount_, entry.name);
    if (row < 0)
        return;
    SetListText(list, row, 1, entry.command);
    SetListText(list, row, 2, entry.location);
    ++rowCount_;
}

TaskScheduler& StartupManagerPage::Scheduler(std::unique_ptr<SystemTaskScheduler>& system) const
{
    if (scheduler_)
        return *scheduler_;
    // Connected for one refresh or one deletion: the page keeps no COM
    // apartment open on the user-interface thread in between.
    system = std::make_unique<SystemTaskScheduler>();
    return *system;
}

void StartupManagerPage::RefreshStartupList()
{
    rowCount_ = 0;
    ClearList(List());
    std::unique_ptr<SystemTaskScheduler> system;
    const std::vector<StartupEntry> entries = ReadStartupEntries(Scheduler(system));
    // Hundreds of rows: a list that redraws after each one takes most of a
    // refresh doing so (four fifths of it under Wine).
    SendMessageW(List(), WM_SETREDRAW, FALSE, 0);
    for (const StartupEntry& entry : entries)
        AddRow(entry);
    SendMessageW(List(), WM_SETREDRAW, TRUE, 0);
    InvalidateRect(List(), nullptr, TRUE);
}

void StartupManagerPage::DeleteStartupEntry()
{
    const HWND list = List();
    const int selected = SelectedListRow(list);
    if (ListRowCount(list) == 0) {
        ShowMessage(Handle(), IDS_EMPTY);
        return;
    }
    if (selected < 0) {
        ShowMessage(Handle(), IDS_SELECT_ITEM);
        return;
    }

    // The location column is the only record of where the row came from.
    const std::wstring name = ListText(list, selected, 0);
    const StartupTarget target = ClassifyStartupRow(name, ListText(list, selected, 2));
    if (ShowMessage(Handle(), Question(name, target), MB_OKCANCEL) != IDOK || target.kind == StartupKind::None)
        return;

    // A refused removal is not reported, but for a task: the entry stays in
    // the refreshed list.
    switch (target.kind) {
    case StartupKind::RegistryValue:
        DeleteStartupValue(target.root, target.path, target.name);
        break;
    case StartupKind::StartupFile:
        QuarantineStartupFile(target.path);
        break;
    case StartupKind::ScheduledTask: {
        std::unique_ptr<SystemTaskScheduler> system;
        if (DeleteScheduledTask(Scheduler(system), target.path, target.name) == TaskDeletion::Refused)
            ShowMessage(Handle(), IDS_TASK_NOT_DELETED);
        break;
    }
    case StartupKind::WinlogonValue:
        RestoreWinlogonDefault(target.root, target.name);
        break;
    case StartupKind::DebuggerValue:
        RemoveDebuggerValue(target.path);
        break;
    case StartupKind::None:
        break;
    }
    RefreshStartupList();
}
