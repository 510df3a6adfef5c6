#pragma once

#include "framework/Text.h"
#include "usb/AutorunSwitch.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

// Registry data from any bytes, and a text value's data with its zero.
inline std::vector<BYTE> RegistryBytes(const void* data, size_t size)
{
    const BYTE* first = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(first, first + size);
}
inline std::vector<BYTE> RegistryText(const std::wstring& text)
{
    return RegistryBytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// Whether Windows keeps a registry view of its own for 32-bit programs: a
// 64-bit Windows does, a 32-bit one has only the one view.
inline bool HasSeparate32BitView()
{
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// The autorun policy NoDriveTypeAutoRun of `hive`; 0xFFFFFFFF when absent.
inline DWORD AutorunPolicy(HKEY hive = HKEY_CURRENT_USER)
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(hive, kExplorerPolicyKey, kNoDriveTypeAutoRunValue, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

// `view` KEY_WOW64_32KEY looks where 32-bit programs look.
inline bool RegistryValueExists(HKEY root, const std::wstring& path, const std::wstring& name, REGSAM view = 0)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return false;
    const bool exists = RegQueryValueExW(key, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return exists;
}

// Values a test writes into real keys of the prefix (startup keys among
// them). Each must be new; exactly these are deleted again when the object
// goes, and a key made for them is removed.
class OwnRegistryValues {
public:
    OwnRegistryValues() = default;
    OwnRegistryValues(const OwnRegistryValues&) = delete;
    OwnRegistryValues& operator=(const OwnRegistryValues&) = delete;
    ~OwnRegistryValues()
    {
        for (const Value& value : values_) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(value.root, value.path.c_str(), 0, KEY_SET_VALUE | value.view, &key) == ERROR_SUCCESS) {
                RegDeleteValueW(key, value.name.c_str());
                RegCloseKey(key);
            }
            if (value.madeKey)
                RegDeleteKeyExW(value.root, value.path.c_str(), value.view, 0);
        }
    }

    void Set(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data,
             REGSAM view = 0)
    {
        ASSERT_FALSE(RegistryValueExists(root, path, name, view)) << "not the test's own: " << Narrow(name);
        HKEY key = nullptr;
        DWORD disposition = 0;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, &disposition),
                  ERROR_SUCCESS);
        values_.push_back({root, path, name, view, disposition == REG_CREATED_NEW_KEY});
        EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void SetText(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& text,
                 REGSAM view = 0)
    {
        Set(root, path, name, REG_SZ, RegistryText(text), view);
    }

private:
    struct Value {
        HKEY root;
        std::wstring path;
        std::wstring name;
        REGSAM view;
        bool madeKey;
    };
    std::vector<Value> values_;
};

// An existing key that everyone may read but nobody may change, as the
// HKEY_LOCAL_MACHINE keys are for a user without administrator rights. Its own
// permissions come back when the object goes.
class ReadOnlyKey {
public:
    ReadOnlyKey(HKEY root, const std::wstring& path)
    {
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        DWORD size = 0;
        if (RegOpenKeyExW(root, path.c_str(), 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS ||
            !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly,
                                                                  nullptr))
            return;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        original_.resize(size);
        locked_ = RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data(), &size) == ERROR_SUCCESS &&
                  RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
    }
    ~ReadOnlyKey()
    {
        if (locked_)
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, original_.data());
        if (key_)
            RegCloseKey(key_);
    }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;

    bool Locked() const { return locked_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> original_;
    bool locked_ = false;
};
