#include "usb/VolumeControl.h"

#include <winioctl.h>

#include <atomic>
#include <cstdio>

namespace {

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
