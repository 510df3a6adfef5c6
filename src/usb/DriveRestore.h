#pragma once

#include <string>
#include <vector>

// Restoring a drive after a shortcut worm. The worm hides the user's folders
// and files in the drive's root (hidden and system attributes, or moved into
// a folder with a blank name) and puts a decoy shortcut beside them, named
// after one of them or after the drive, which starts the worm. The restore
// takes the decoys of the root into quarantine and makes the user's entries
// visible again; nothing is deleted except through the quarantine.

struct RestoreStep {
    enum Action {
        QuarantineDecoy,    // a shortcut that starts the worm
        ClearHiddenSystem,  // one of the user's entries, hidden by the worm
    };
    Action action;
    std::wstring path;  // the root entry's full path
};

// What the restore would do on the drive `letter`: first each decoy, then
// each of the user's hidden entries, in the order the root lists them (see
// usb/WormLayout.h). A decoy is a root shortcut that starts a runner, a
// script on the drive or a program the user cannot see; a portable
// program's launcher, which starts a program in a visible folder, is none.
// The worm's other files are left to the scan's delete: the restore neither
// shows nor removes them. A shortcut that does not read is the user's.
// Shortcuts are read as data, never through the shell.
std::vector<RestoreStep> PlanDriveRestore(wchar_t letter);

// Carries out one step. True when the decoy is gone into quarantine, or the
// entry has neither the hidden nor the system attribute any more (its other
// attributes kept). A step whose entry is gone or whose drive was pulled out
// fails.
bool CarryOutRestoreStep(const RestoreStep& step);
