#pragma once

// Which drive letters belong to USB drives right now.

// Size of a drive letter list and of the fixed-drive table.
constexpr int kDriveListSize = 20;

// Writes the USB drive letters, upper case and ascending, into `letters`
// (zero-filled by the caller, kDriveListSize bytes) without a terminator and
// returns their count. Never writes more than kDriveListSize letters.
int GetUsbDriveLetters(char letters[kDriveListSize]);

// Remembers the drives that are fixed now; on the 95/98/Me family only a fixed
// drive that appears later counts as USB.
void RecordFixedDrives();

// 1 for the NT family, 2 for 95/98/Me, 0 when the version query fails; any
// other platform identifier is returned unchanged.
int GetOsFamily();
