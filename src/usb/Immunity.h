#pragma once

#include <windows.h>

// Immunity of a drive against programs that spread through AUTORUN.INF: the
// drive's root holds a hidden folder of that name, so no file of that name can
// be made there. Whether a drive is immunised is read from the drive each
// time: exactly when its root entry AUTORUN.INF is a directory.
//
// The immunity folder: root + "AUTORUN.INF" (hidden), inside it the folder
// made from "morleth..\" and "ReadMe.txt", whose whole content is the text of
// string 155 in the ANSI code page, no terminator.
//
// An AUTORUN.INF *file* in a root is often the user's own (a drive's icon and
// label), so both operations put it into quarantine rather than delete it,
// and tell the user with string 154 and the alert sound. A file the store
// refuses stays where it is, attributes and all.

// Immunises the drive whose root (letter, colon, backslash) is `root`. True
// only when it made the folder and its contents; false at once for a null
// root, for a drive immunised already (nothing is touched), when an
// AUTORUN.INF file could not be quarantined, and silently when the folder
// cannot be made (read-only medium, no medium, no rights). `owner` owns the
// message box.
bool ImmuniseDrive(const char* root, HWND owner = nullptr);

// Undoes ImmuniseDrive on one drive. Takes out the program's own entries and
// removes the folder when nothing else is left in it; a folder that still
// holds the user's files stays, no longer hidden. A ReadMe.txt whose content
// is not the program's text is the user's and stays too. True unless the
// folder stayed or an AUTORUN.INF file could not be quarantined.
bool RemoveDriveImmunity(const char* root, HWND owner = nullptr);

// Runs `operation` (ImmuniseDrive or RemoveDriveImmunity) on the root ("X:\")
// of every removable and fixed drive, in letter order; CD-ROM, network and
// RAM drives are never touched. A removable drive without a medium fails
// quietly instead of asking the user to insert a disk.
void ForEachImmunityDrive(bool (*operation)(const char* root, HWND owner), HWND owner);
