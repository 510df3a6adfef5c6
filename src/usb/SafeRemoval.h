#pragma once

#include "system/DriveHolders.h"

#include <windows.h>

#include <string>
#include <vector>

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

// Command 1002 of the immunity page. Finds what holds the USB drives (the
// drive Windows runs from left out), asks (string 151) naming the programs
// OK ends and those it cannot end, then ends exactly the ones named to be
// ended, among them any Explorer that holds a drive; on the NT family ejects
// each drive and opens the system's removal dialog for it, or asks to log off
// (string 153) when its volume does not lock; starts Explorer again when it
// was ended; and ends with one message giving each drive's result, naming
// what still holds a drive that stayed. Never ends this program, a system
// process, or one the user cannot end. `owner` owns the message boxes.
void SafeRemoveUsbDrives(HWND owner);

// The question before anything is ended: string 151 and, when anything holds
// the drives, the programs OK ends and those it cannot end with the reason,
// by name and path, at most ten lines a list and then "и ещё N".
std::wstring RemovalQuestion(const std::vector<DriveHolder>& holders);

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
