#pragma once

#include <windows.h>

// The calls of drive discovery and safe removal that reach beyond the program:
// volume control codes, log-off and the system's removal dialog. The program
// uses the Win32 implementation; tests install a fake, because Wine answers
// bus type 1 for every volume and unmounts the host's file system on a
// dismount request.
class VolumeControl {
public:
    virtual ~VolumeControl() = default;

    // Opens "\\?\X:" for reading and sends IOCTL_STORAGE_QUERY_PROPERTY with the
    // standard device-property query, the answer landing in `descriptor` (whose
    // size field the caller has set). False when the volume does not open or
    // the query fails.
    virtual bool QueryDeviceDescriptor(char letter, BYTE* descriptor, DWORD size) = 0;

    // Requests on an open volume handle, each sent once without overlapped
    // I/O: FSCTL_LOCK_VOLUME, FSCTL_DISMOUNT_VOLUME, IOCTL_STORAGE_MEDIA_REMOVAL
    // allowing removal, and IOCTL_STORAGE_EJECT_MEDIA. False when refused.
    virtual bool LockVolume(HANDLE volume) = 0;
    virtual bool DismountVolume(HANDLE volume) = 0;
    virtual bool AllowMediaRemoval(HANDLE volume) = 0;
    virtual bool EjectMedia(HANDLE volume) = 0;

    // Logs the user off, not forced.
    virtual bool LogOff() = 0;
    // Starts `commandLine` (the system's hardware-removal dialog) and does not
    // wait for it.
    virtual bool StartRemovalDialog(const char* commandLine) = 0;
};

// The process-wide volume control: the Win32 one unless a test installed another.
VolumeControl& GetVolumeControl();

// Installs `control` (not owned) for the whole process; nullptr restores the Win32 one.
void SetVolumeControl(VolumeControl* control);
