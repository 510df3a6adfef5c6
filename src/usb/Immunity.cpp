#include "usb/Immunity.h"

#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"

#include <mmsystem.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr char kImmunityName[] = "AUTORUN.INF";
// Made and removed by this path string; the file system keeps the name with
// fewer dots (Windows none, Wine one).
constexpr char kInnerFolder[] = "\\morleth..\\";
constexpr char kReadMe[] = "\\ReadMe.txt";

// What ReadMe.txt holds: string 155 in the ANSI code page, no terminator.
std::string ReadMeText()
{
    return Narrow(LoadText(IDS_IMMUNITY_README));
}

// The program's own ReadMe.txt holds its text, or the start of it when the
// write was cut short; anything else in that file is the user's.
bool IsOwnReadMe(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const std::string own = ReadMeText();
    std::vector<char> content(own.size() + 1);
    DWORD got = 0;
    const BOOL read = ReadFile(file, content.data(), static_cast<DWORD>(content.size()), &got, nullptr);
    CloseHandle(file);
    return read && got <= own.size() && std::equal(content.begin(), content.begin() + got, own.begin());
}

// An AUTORUN.INF file found in a root goes into quarantine, its attributes
// cleared first (hidden, system and read-only are usual for one). The user
// hears the alert and reads string 154 whether or not the store took it.
bool QuarantineAutorunFile(const char* root, const std::string& path, HWND owner)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool stored = QuarantineFile(path.c_str());
    if (!stored)
        SetFileAttributesA(path.c_str(), attributes);

    PlaySoundW(MAKEINTRESOURCEW(IDR_WAVE_ALERT), GetModuleHandleW(nullptr), SND_RESOURCE | SND_ASYNC);
    std::wstring text = LoadText(IDS_ROOT_VIRUS);
    const size_t slot = text.find(L"%s");
    if (slot != std::wstring::npos)
        text.replace(slot, 2, Widen(root));
    ShowMessage(owner, text, MB_OK);
    return stored;
}

}  // namespace

bool ImmuniseDrive(const char* root, HWND owner)
{
    if (!root)
        return false;
    const std::string folder = std::string(root) + kImmunityName;
    const DWORD found = GetFileAttributesA(folder.c_str());
    if (found != INVALID_FILE_ATTRIBUTES) {
        if (found & FILE_ATTRIBUTE_DIRECTORY)
            return false;
        // The name stays taken while the file is there.
        if (!QuarantineAutorunFile(root, folder, owner))
            return false;
    }

    if (!CreateDirectoryA(folder.c_str(), nullptr))
        return false;
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
    CreateDirectoryA((folder + kInnerFolder).c_str(), nullptr);

    HANDLE readMe = CreateFileA((folder + kReadMe).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (readMe == INVALID_HANDLE_VALUE)
        return false;
    const std::string text = ReadMeText();
    DWORD written = 0;
    const BOOL ok = WriteFile(readMe, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(readMe);
    return ok && written == text.size();
}

bool RemoveDriveImmunity(const char* root, HWND owner)
{
    if (!root)
        return false;
    const std::string folder = std::string(root) + kImmunityName;
    const DWORD found = GetFileAttributesA(folder.c_str());
    if (found == INVALID_FILE_ATTRIBUTES)
        return true;
    if (!(found & FILE_ATTRIBUTE_DIRECTORY))
        return QuarantineAutorunFile(root, folder, owner);

    // Visible from now on: a folder that has to stay shows the user what is left.
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA((folder + kInnerFolder).c_str());
    const std::string readMe = folder + kReadMe;
    if (IsOwnReadMe(readMe)) {
        SetFileAttributesA(readMe.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(readMe.c_str());
    }
    return RemoveDirectoryA(folder.c_str()) != FALSE;
}

void ForEachImmunityDrive(bool (*operation)(const char* root, HWND owner), HWND owner)
{
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD mask = GetLogicalDrives();
    for (char letter = 'A'; mask != 0; ++letter, mask >>= 1) {
        if (!(mask & 1))
            continue;
        const char root[] = {letter, ':', '\\', '\0'};
        const UINT type = GetDriveTypeA(root);
        if (type == DRIVE_REMOVABLE || type == DRIVE_FIXED)
            operation(root, owner);
    }
    SetErrorMode(oldMode);
}
