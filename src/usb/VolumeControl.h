#pragma once

#include <windows.h>

// The volume control codes that drive discovery (and later safe removal) send
// to a drive. The program uses the Win32 implementation; tests install a fake,
// because Wine answers bus type 1 for every volume.
class VolumeControl {
public:
    virtual ~VolumeControl() = default;

    // Opens "\\?\X:" for reading and sends IOCTL_STORAGE_QUERY_PROPERTY with the
    // standard device-property query, the answer landing in `descriptor` (whose
    // size field the caller has set). False when the volume does not open or
    // the query fails.
    virtual bool QueryDeviceDescriptor(char letter, BYTE* descriptor, DWORD size) = 0;
};

// The process-wide volume control: the Win32 one unless a test installed another.
VolumeControl& GetVolumeControl();

// Installs `control` (not owned) for the whole process; nullptr restores the Win32 one.
void SetVolumeControl(VolumeControl* control);
