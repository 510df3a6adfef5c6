#include "usb/DriveDiscovery.h"

#include "usb/VolumeControl.h"

#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr DWORD kDescriptorSize = 551;
constexpr DWORD kBusTypeOffset = 28;
constexpr DWORD kBusTypeUsb = 7;
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == kBusTypeOffset,
              "the bus type lies at the same place in 32-bit and 64-bit builds");

// Filled once at start-up, read afterwards from any thread.
char fixedDrives[kDriveListSize];

UINT DriveTypeOf(char letter)
{
    char root[4];
    std::snprintf(root, sizeof root, "%c:", letter);
    return GetDriveTypeA(root);
}

bool WasFixedAtStartUp(char letter)
{
    for (int i = 0; i < kDriveListSize && fixedDrives[i] != 0; ++i) {
        if (fixedDrives[i] == letter)
            return true;
    }
    return false;
}

bool IsOnUsbBus(char letter)
{
    BYTE* descriptor = static_cast<BYTE*>(std::calloc(kDescriptorSize, 1));
    if (!descriptor)
        return false;
    // The size field is the descriptor's second 32-bit field.
    const DWORD size = kDescriptorSize;
    std::memcpy(descriptor + 4, &size, sizeof size);

    bool usb = false;
    if (GetVolumeControl().QueryDeviceDescriptor(letter, descriptor, kDescriptorSize)) {
        DWORD busType = 0;
        std::memcpy(&busType, descriptor + kBusTypeOffset, sizeof busType);
        usb = busType == kBusTypeUsb;
    }
    std::free(descriptor);
    return usb;
}

}  // namespace

int GetOsFamily()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#endif
    if (!GetVersionExA(&info))
        return 0;
    switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32_NT: return 1;
    case VER_PLATFORM_WIN32_WINDOWS: return 2;
    default: return static_cast<int>(info.dwPlatformId);
    }
}

void RecordFixedDrives()
{
    DWORD mask = GetLogicalDrives();
    int count = 0;
    for (int bit = 0; mask != 0 && bit < 26; ++bit, mask >>= 1) {
        if (!(mask & 1))
            continue;
        const char letter = static_cast<char>('A' + bit);
        if (DriveTypeOf(letter) == DRIVE_FIXED && count < kDriveListSize)
            fixedDrives[count++] = letter;
    }
}

int GetUsbDriveLetters(char letters[kDriveListSize])
{
    DWORD mask = GetLogicalDrives();
    if (mask == 0)
        return 0;

    int count = 0;
    for (int bit = 0; mask != 0 && bit < 26 && count < kDriveListSize; ++bit, mask >>= 1) {
        if (!(mask & 1))
            continue;
        const char letter = static_cast<char>('A' + bit);
        bool usb = false;
        switch (DriveTypeOf(letter)) {
        case DRIVE_REMOVABLE:
            // A: is the floppy drive, whatever else it might be.
            usb = letter != 'A';
            break;
        case DRIVE_FIXED:
            if (GetOsFamily() == 2)
                usb = fixedDrives[0] == 0 || !WasFixedAtStartUp(letter);
            else
                usb = IsOnUsbBus(letter);
            break;
        default:
            break;
        }
        if (usb)
            letters[count++] = letter;
    }
    return count;
}
