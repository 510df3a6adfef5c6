#include "tools/StartupRegistry.h"

#include "tools/StartupEntry.h"

#include <cstdint>
#include <cstring>

namespace {

struct RootName {
    StartupRoot root;
    const wchar_t* name;
};
const RootName kRootNames[] = {
    {kCurrentUserRoot, L"HKEY_CURRENT_USER"},
    {kLocalMachineRoot, L"HKEY_LOCAL_MACHINE"},
};

// A value that grows between measuring and reading it is read again, a
// bounded number of times.
constexpr int kMaxRereads = 32;

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

HKEY RootKey(StartupRoot root)
{
    return root == kCurrentUserRoot ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

std::wstring RegistryLocation(StartupRoot root, const std::wstring& keyPath)
{
    return std::wstring(root == kCurrentUserRoot ? L"HKEY_CURRENT_USER\\" : L"HKEY_LOCAL_MACHINE\\") + keyPath;
}

StartupRoot ParseLocation(const std::wstring& location, std::wstring& keyPath)
{
    for (const RootName& root : kRootNames) {
        const size_t length = std::wcslen(root.name);
        if (location.size() > length + 1 && location[length] == L'\\' &&
            SameName(location.substr(0, length), root.name)) {
            keyPath = location.substr(length + 1);
            return root.root;
        }
    }
    return kNoStartupRoot;
}

bool ReadRegistryValue(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    for (int rereads = 0; rereads <= kMaxRereads; ++rereads) {
        data.resize(size == 0 ? 1 : size);
        size = static_cast<DWORD>(data.size());
        const LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (status != ERROR_MORE_DATA)
            return false;
    }
    return false;
}

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
