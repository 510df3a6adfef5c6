#include "usb/VolumeControl.h"

#include <winioctl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

bool SendRequest(HANDLE volume, DWORD code, void* input = nullptr, DWORD inputSize = 0)
{
    DWORD returned = 0;
    return DeviceIoControl(volume, code, input, inputSize, nullptr, 0, &returned, nullptr) != FALSE;
}

class Win32VolumeControl final : public VolumeControl {
public:
    bool QueryDeviceDescriptor(char letter, BYTE* descriptor, DWORD size) override
    {
        char device[8];
        std::snprintf(device, sizeof device, "\\\\?\\%c:", letter);
        HANDLE volume = CreateFileA(device, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (volume == INVALID_HANDLE_VALUE)
            return false;

        STORAGE_PROPERTY_QUERY query = {};
        query.PropertyId = StorageDeviceProperty;
        query.QueryType = PropertyStandardQuery;
        static_assert(sizeof query == 12, "the storage query is 12 bytes");

        DWORD returned = 0;
        BOOL ok = DeviceIoControl(volume, IOCTL_STORAGE_QUERY_PROPERTY, &query, sizeof query,
                                  descriptor, size, &returned, nullptr);
        CloseHandle(volume);
        return ok != FALSE;
    }

    bool LockVolume(HANDLE volume) override { return SendRequest(volume, FSCTL_LOCK_VOLUME); }
    bool DismountVolume(HANDLE volume) override { return SendRequest(volume, FSCTL_DISMOUNT_VOLUME); }
    bool AllowMediaRemoval(HANDLE volume) override
    {
        PREVENT_MEDIA_REMOVAL removal = {};
        removal.PreventMediaRemoval = FALSE;
        return SendRequest(volume, IOCTL_STORAGE_MEDIA_REMOVAL, &removal, sizeof removal);
    }
    bool EjectMedia(HANDLE volume) override { return SendRequest(volume, IOCTL_STORAGE_EJECT_MEDIA); }

    bool LogOff() override { return ExitWindowsEx(EWX_LOGOFF, 0) != FALSE; }

    bool StartRemovalDialog(const char* commandLine) override
    {
        // CreateProcessA may write into its command line.
        std::vector<char> line(commandLine, commandLine + std::strlen(commandLine) + 1);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started = {};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                            &started))
            return false;
        CloseHandle(started.hThread);
        CloseHandle(started.hProcess);
        return true;
    }
};

Win32VolumeControl systemControl;
std::atomic<VolumeControl*> installed{nullptr};

}  // namespace

VolumeControl& GetVolumeControl()
{
    VolumeControl* control = installed.load();
    return control ? *control : systemControl;
}

void SetVolumeControl(VolumeControl* control)
{
    installed.store(control);
}
