#include "support/ShellAssociation.h"

#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"

#include <shlwapi.h>

#include <sstream>

ShellAssociation::ShellAssociation(const std::string& extension, const std::string& command)
    : extension_(extension), progId_("Vardenix.Test" + extension)
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, extension_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        &disposition) != ERROR_SUCCESS)
        return;
    keyExisted_ = disposition == REG_OPENED_EXISTING_KEY;
    char old[1024] = {};
    DWORD size = sizeof old - 1;
    DWORD type = 0;
    hadDefault_ = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
                      ERROR_SUCCESS && type == REG_SZ;
    oldDefault_ = hadDefault_ ? old : "";
    if (command.empty()) {
        RegDeleteValueA(key, nullptr);
    } else {
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(progId_.c_str()),
                       static_cast<DWORD>(progId_.size() + 1));
        HKEY open = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, (progId_ + "\\shell\\open\\command").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &open, nullptr) == ERROR_SUCCESS) {
            RegSetValueExA(open, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
            RegCloseKey(open);
        }
    }
    RegCloseKey(key);
}

ShellAssociation::~ShellAssociation()
{
    SHDeleteKeyA(HKEY_CLASSES_ROOT, progId_.c_str());
    if (!keyExisted_) {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, extension_.c_str());
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension_.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    if (hadDefault_)
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(oldDefault_.c_str()),
                       static_cast<DWORD>(oldDefault_.size() + 1));
    else
        RegDeleteValueA(key, nullptr);
    RegCloseKey(key);
}

std::string RecordOpenCommand(const std::string& log, const std::string& placeholder)
{
    return "\"" + TestProgramFolder() + "record-open.exe\" \"" + log + "\" " + placeholder;
}

std::vector<std::string> RecordedLines(const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadWholeFile(log));
    for (std::string line; std::getline(text, line);)
        lines.push_back(line);
    return lines;
}
