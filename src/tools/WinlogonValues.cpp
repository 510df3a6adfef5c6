#include "tools/WinlogonValues.h"

const wchar_t kWinlogonKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

namespace {

const wchar_t* const kValueNames[] = {L"Shell", L"Userinit"};

bool HoldsDefault(DWORD type, const std::vector<BYTE>& data, const std::wstring& defaultText)
{
    // Winlogon reads the text up to its first zero; what follows never runs.
    return (type == REG_SZ || type == REG_EXPAND_SZ) &&
           SameName(FormatRegistryData(type, data.data(), data.size()), defaultText);
}

}  // namespace

std::wstring WinlogonDefault(const std::wstring& name)
{
    if (SameName(name, L"Shell"))
        return L"explorer.exe";
    if (SameName(name, L"Userinit")) {
        wchar_t system[MAX_PATH] = {};
        const UINT length = GetSystemDirectoryW(system, MAX_PATH);
        if (length == 0 || length >= MAX_PATH)
            return std::wstring();
        return std::wstring(system, length) + L"\\userinit.exe,";
    }
    return std::wstring();
}

void ReadWinlogonEntries(std::vector<StartupEntry>& entries)
{
    for (const StartupRoot root : {kLocalMachineRoot, kCurrentUserRoot}) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(RootKey(root), kWinlogonKey, 0, KEY_QUERY_VALUE | kRegistryView, &key) != ERROR_SUCCESS)
            continue;
        for (const wchar_t* name : kValueNames) {
            DWORD type = REG_NONE;
            std::vector<BYTE> data;
            if (ReadRegistryValue(key, name, type, data) && !HoldsDefault(type, data, WinlogonDefault(name)))
                entries.push_back({name, FormatRegistryData(type, data.data(), data.size()),
                                   RegistryLocation(root, kWinlogonKey)});
        }
        RegCloseKey(key);
    }
}

StartupRoot ParseWinlogonRow(const std::wstring& name, const std::wstring& location, std::wstring& valueName)
{
    std::wstring keyPath;
    const StartupRoot root = ParseLocation(location, keyPath);
    if (root == kNoStartupRoot || !SameName(keyPath, kWinlogonKey))
        return kNoStartupRoot;
    for (const wchar_t* known : kValueNames) {
        if (SameName(name, known)) {
            valueName = known;
            return root;
        }
    }
    return kNoStartupRoot;
}

bool RestoreWinlogonDefault(StartupRoot root, const std::wstring& valueName)
{
    const std::wstring text = WinlogonDefault(valueName);
    if (root == kNoStartupRoot || text.empty())
        return false;
    HKEY key = nullptr;
    if (RegOpenKeyExW(RootKey(root), kWinlogonKey, 0, KEY_SET_VALUE | kRegistryView, &key) != ERROR_SUCCESS)
        return false;
    const bool written =
        RegSetValueExW(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}
