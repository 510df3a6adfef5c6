#include "app/Settings.h"

#include <cstdio>
#include <cstring>

bool ReadSettingsText(HKEY key, const char* name, char (&buffer)[kSettingsValueSize])
{
    std::memset(buffer, 0, sizeof buffer);
    DWORD size = kSettingsValueSize;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
        return false;
    // Registry text need not be terminated; a value that fills the whole
    // buffer has no room for the terminator and counts as too long.
    if (size >= kSettingsValueSize && buffer[kSettingsValueSize - 1] != '\0')
        return false;
    buffer[kSettingsValueSize - 1] = '\0';
    return true;
}

void WriteSettingsText(HKEY key, const char* name, const char* text)
{
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
}

std::string ApplicationName()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return "vardenix";
    const char* name = std::strrchr(path, '\\');
    std::string result = name ? name + 1 : path;
    const size_t dot = result.rfind('.');
    if (dot != std::string::npos && dot > 0)
        result.erase(dot);
    return result;
}
