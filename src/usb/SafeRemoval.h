#pragma once

#include <windows.h>

// Safe removal: frees every attached USB drive of the programs that keep it
// busy and ejects it, for when the system refuses to stop a "Generic volume".
// The volume requests, log-off and the removal dialog go through VolumeControl.

// What EjectDriveByLetter achieved.
enum EjectResult : int {
    // The volume did not open, lock or dismount, or its handle did not close.
    kEjectFailed = 0,
    // Locked, dismounted, removal allowed and ejected.
    kEjected = 1,
    // Locked and dismounted, but removal was not allowed or the eject failed.
    kEjectIncomplete = 2,
};

// Command 1002 of the immunity page. After the user confirms (string 151)
// that the programs using the USB drives are closed, ends every program
// started from a USB drive and every Explorer, then, on the NT family only,
// ejects each USB drive and opens the system's removal dialog for it, or asks
// to log off (string 153) when its volume does not lock. Never ends this
// program itself, and leaves the drive Windows runs from alone. `owner` owns
// the message boxes.
void SafeRemoveUsbDrives(HWND owner);

// Locks, dismounts, allows removal of and ejects the volume of drive
// `letter`, stopping at the first refusal; an EjectResult.
int EjectDriveByLetter(char letter);

// Opens the volume "\\.\X:" of a removable or fixed drive for reading and
// writing, of a CD-ROM for reading; the invalid handle value for any other
// drive type and when the volume does not open, each with a diagnostic line
// on standard output.
HANDLE OpenVolumeByLetter(char letter);

// True when `path` is longer than "explorer.exe" and ends with it, case-blind.
bool IsExplorerPath(const char* path);
