// Attaches or detaches a drive letter of the Wine prefix from a script:
//   wine-drive.exe attach E removable|fixed|cdrom|network C:\folder
//   wine-drive.exe detach E
//   wine-drive.exe usb            prints the USB drive letters as the program sees them
//   wine-drive.exe shortcut X:\name.lnk TARGET [ARGUMENTS]   writes a shortcut, as Explorer does
// and tells every window of the desktop, as Windows does when a USB drive is
// plugged in or pulled out.
#include "support/TestDrive.h"
#include "usb/DriveDiscovery.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstdio>
#include <cstring>

namespace {

// Wide arguments: argv is in the ANSI code page and would lose other names.
int WriteShortcut()
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    bool saved = false;
    if (args && count >= 4 &&
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetPath(args[3]);
        link->SetArguments(count > 4 ? args[4] : L"");
        saved = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
                SUCCEEDED(file->Save(args[2], TRUE));
        if (file)
            file->Release();
        link->Release();
    }
    LocalFree(args);
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "usb") == 0) {
        char letters[kDriveListSize + 1] = {};
        std::printf("%d %s\n", GetUsbDriveLetters(letters), letters);
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "shortcut") == 0)
        return WriteShortcut();
    if (argc == 3 && std::strcmp(argv[1], "detach") == 0)
    {
        if (!DefineWineDrive(argv[2][0], DRIVE_NO_ROOT_DIR, std::string()))
            return 1;
        BroadcastVolumeChange(argv[2][0], false);
        return 0;
    }
    if (argc == 5 && std::strcmp(argv[1], "attach") == 0) {
        const struct {
            const char* name;
            UINT type;
        } types[] = {{"removable", DRIVE_REMOVABLE}, {"fixed", DRIVE_FIXED}, {"cdrom", DRIVE_CDROM},
                     {"network", DRIVE_REMOTE}};
        for (const auto& type : types) {
            if (std::strcmp(argv[3], type.name) != 0)
                continue;
            if (!DefineWineDrive(argv[2][0], type.type, argv[4]))
                return 1;
            BroadcastVolumeChange(argv[2][0], true);
            return 0;
        }
    }
    std::fprintf(stderr, "usage: wine-drive attach LETTER removable|fixed|cdrom|network FOLDER\n"
                         "       wine-drive detach LETTER\n"
                         "       wine-drive shortcut X:\\name.lnk TARGET [ARGUMENTS]\n");
    return 2;
}
