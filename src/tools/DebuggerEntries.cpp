#include "tools/DebuggerEntries.h"

#include "tools/StartupRegistry.h"

#include <algorithm>

namespace {

const wchar_t kDebuggerValue[] = L"Debugger";
const wchar_t* const kOptionKeys[] = {
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    L"Software\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
};
// A registry key's name has at most 255 characters.
constexpr DWORD kKeyNameLimit = 256;

using NtQueryKeyFunction = LONG(NTAPI*)(HANDLE key, int informationClass, void* information, ULONG length,
                                        ULONG* resultLength);
constexpr int kKeyNameInformation = 3;

// The name the system gives an open key, "\REGISTRY\MACHINE\...": a path
// that leads through a registry link names the key the link leads to. Empty
// when the system does not say.
std::wstring KernelKeyName(HKEY key)
{
    static const auto query = reinterpret_cast<NtQueryKeyFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryKey")));
    if (!query)
        return std::wstring();
    // The information is the name's length in bytes and its characters.
    std::vector<ULONG> buffer(1024);
    ULONG length = 0;
    if (query(key, kKeyNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(ULONG)),
              &length) != 0)
        return std::wstring();
    const size_t bytes = std::min<size_t>(buffer[0], (buffer.size() - 1) * sizeof(ULONG));
    return std::wstring(reinterpret_cast<const wchar_t*>(&buffer[1]), bytes / sizeof(wchar_t));
}

void ReadOptionKey(HKEY options, const std::wstring& location, std::vector<StartupEntry>& entries)
{
    wchar_t name[kKeyNameLimit];
    for (DWORD index = 0;; ++index) {
        DWORD length = kKeyNameLimit;
        const LSTATUS status = RegEnumKeyExW(options, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            break;
        HKEY program = nullptr;
        if (RegOpenKeyExW(options, name, 0, KEY_QUERY_VALUE | kRegistryView, &program) != ERROR_SUCCESS)
            continue;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        const std::wstring programName(name, length);
        if (ReadRegistryValue(program, kDebuggerValue, type, data))
            entries.push_back({programName, FormatRegistryData(type, data.data(), data.size()),
                               location + L"\\" + programName});
        RegCloseKey(program);
    }
}

}  // namespace

void ReadDebuggerEntries(std::vector<StartupEntry>& entries)
{
    std::vector<std::wstring> seen;
    for (const wchar_t* path : kOptionKeys) {
        HKEY options = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | kRegistryView, &options) != ERROR_SUCCESS)
            continue;
        // Where both views share the key (Wine links the 32-bit path to the
        // 64-bit key), its entries are listed once, under the 64-bit path.
        const std::wstring kernelName = KernelKeyName(options);
        const bool shared = !kernelName.empty() &&
                            std::any_of(seen.begin(), seen.end(), [&](const std::wstring& other) {
                                return SameName(other, kernelName);
                            });
        if (!shared)
            ReadOptionKey(options, RegistryLocation(kLocalMachineRoot, path), entries);
        seen.push_back(kernelName);
        RegCloseKey(options);
    }
}

bool ParseDebuggerRow(const std::wstring& name, const std::wstring& location, std::wstring& keyPath)
{
    std::wstring path;
    if (ParseLocation(location, path) != kLocalMachineRoot || name.empty() || name.find(L'\\') != std::wstring::npos)
        return false;
    for (const wchar_t* options : kOptionKeys) {
        if (SameName(path, std::wstring(options) + L"\\" + name)) {
            keyPath = path;
            return true;
        }
    }
    return false;
}

bool RemoveDebuggerValue(const std::wstring& keyPath)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE | kRegistryView, &key) != ERROR_SUCCESS)
        return false;
    const bool removed = RegDeleteValueW(key, kDebuggerValue) == ERROR_SUCCESS;
    RegCloseKey(key);
    return removed;
}
