#include "tools/StartupManagerPage.h"

#include "controls/PageButton.h"
#include "framework/ListView.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

struct StartupLocation {
    StartupRoot root;
    const wchar_t* path;  // below "Software\"
};

// Where programs register to start with Windows, in the order they are listed.
// The last three say "WindowsNT" without a blank: the program has always
// listed these paths, and the real Winlogon key ("Windows NT") holds values
// such as Shell and Userinit whose deletion can leave Windows unable to log on.
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

struct RootName {
    StartupRoot root;
    const wchar_t* name;
};
const RootName kRootNames[] = {
    {kCurrentUserRoot, L"HKEY_CURRENT_USER"},
    {kLocalMachineRoot, L"HKEY_LOCAL_MACHINE"},
};

HKEY RootKey(StartupRoot root)
{
    return root == kCurrentUserRoot ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

// Both views of the registry are named explicitly: every key is read and
// deleted in the 64-bit view, where "Software\WOW6432Node" is the real path of
// the keys that 32-bit programs see. A 32-bit build on 64-bit Windows would
// otherwise be redirected there for the plain paths as well.
constexpr REGSAM kView = KEY_WOW64_64KEY;

// A value that grew between measuring the key and reading it is read again
// into larger buffers, a bounded number of times.
constexpr int kMaxRereads = 32;
// A value name has at most 16,383 characters; one more for its zero.
constexpr size_t kNameLimit = 16384;

std::wstring TextOf(const BYTE* data, size_t size)
{
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(&text[0], data, text.size() * sizeof(wchar_t));
    return text;
}

std::wstring Hex(std::uint64_t value, int digits)
{
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring text(static_cast<size_t>(digits), L'0');
    for (int i = digits - 1; i >= 0 && value != 0; --i, value >>= 4)
        text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

std::wstring NumberText(std::uint64_t value, int digits)
{
    return L"0x" + Hex(value, digits) + L" (" + std::to_wstring(value) + L")";
}

}  // namespace

std::wstring FormatRegistryData(DWORD type, const BYTE* data, size_t size)
{
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        // Shown as stored: an expandable path keeps its %variables%.
        const std::wstring text = TextOf(data, size);
        return text.substr(0, text.find(L'\0'));
    }
    case REG_MULTI_SZ: {
        const std::wstring text = TextOf(data, size);
        std::wstring joined;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\0', start);
            if (end == std::wstring::npos)
                end = text.size();
            if (end > start)
                joined += (joined.empty() ? L"" : L" ") + text.substr(start, end - start);
            start = end + 1;
        }
        return joined;
    }
    case REG_DWORD:
        if (size == sizeof(std::uint32_t)) {
            std::uint32_t value = 0;
            std::memcpy(&value, data, sizeof value);
            return NumberText(value, 8);
        }
        break;
    case REG_QWORD:
        if (size == sizeof(std::uint64_t)) {
            std::uint64_t value = 0;
            std::memcpy(&value, data, sizeof value);
            return NumberText(value, 16);
        }
        break;
    default:
        break;
    }
    std::wstring bytes;
    for (size_t i = 0; i < size; ++i)
        bytes += (i == 0 ? L"" : L" ") + Hex(data[i], 2);
    return bytes;
}

void EnumStartupKey(HKEY root, const std::wstring& keyPath, std::vector<StartupEntry>& entries)
{
    const std::wstring location =
        std::wstring(root == HKEY_CURRENT_USER ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + keyPath;

    // Reading needs no more than the right to read: a user without
    // administrator rights sees the HKEY_LOCAL_MACHINE entries too.
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_READ | kView, &key) != ERROR_SUCCESS)
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

std::vector<StartupEntry> ReadStartupEntries()
{
    std::vector<StartupEntry> entries;
    for (const StartupLocation& location : kLocations) {
        EnumStartupKey(RootKey(location.root), std::wstring(L"Software\\") + location.path, entries);
        // The entries of 32-bit programs, right after the location's own.
        if (location.root == kLocalMachineRoot)
            EnumStartupKey(HKEY_LOCAL_MACHINE, std::wstring(L"Software\\WOW6432Node\\") + location.path, entries);
    }
    return entries;
}

StartupRoot ParseLocation(const std::wstring& location, std::wstring& keyPath)
{
    for (const RootName& root : kRootNames) {
        const size_t length = std::wcslen(root.name);
        if (location.size() > length + 1 && location[length] == L'\\' &&
            CompareStringOrdinal(location.c_str(), static_cast<int>(length), root.name, static_cast<int>(length),
                                 TRUE) == CSTR_EQUAL) {
            keyPath = location.substr(length + 1);
            return root.root;
        }
    }
    return kNoStartupRoot;
}

bool DeleteStartupValue(StartupRoot root, const std::wstring& keyPath, const std::wstring& name)
{
    if (root == kNoStartupRoot)
        return false;
    // Only the right that the deletion needs: a key the user may read but not
    // change refuses here, and its entry stays in the list.
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKey(root), keyPath.c_str(), 0, KEY_SET_VALUE | kView, &key) != ERROR_SUCCESS)
        return false;
    const bool deleted = RegDeleteValueW(key, name.c_str()) == ERROR_SUCCESS;
    RegCloseKey(key);
    return deleted;
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

void StartupManagerPage::RefreshStartupList()
{
    rowCount_ = 0;
    ClearList(List());
    for (const StartupEntry& entry : ReadStartupEntries())
        AddRow(entry);
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

    const std::wstring name = ListText(list, selected, 0);
    if (ShowMessage(Handle(), LoadText(IDS_DELETE_PREFIX) + name + L"?", MB_OKCANCEL) != IDOK)
        return;
    // The location column is the only record of the key the row came from.
    std::wstring keyPath;
    const StartupRoot root = ParseLocation(ListText(list, selected, 2), keyPath);
    if (root == kNoStartupRoot)
        return;
    // A refused deletion is not reported: the entry stays in the refreshed list.
    DeleteStartupValue(root, keyPath, name);
    RefreshStartupList();
}
