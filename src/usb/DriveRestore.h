#pragma once

#include <string>
#include <vector>

// Restoring a drive after a shortcut worm. The worm hides the user's folders
// and files in the drive's root (hidden and system attributes) and puts a
// decoy shortcut of the same name beside each, which starts the worm. The
// restore takes the decoys into quarantine and makes the user's entries
// visible again. Only the root is looked at; nothing is deleted except
// through the quarantine.

struct RestoreStep {
    enum Action {
        QuarantineDecoy,    // a shortcut that starts the worm
        ClearHiddenSystem,  // one of the user's entries, hidden by the worm
    };
    Action action;
    std::wstring path;  // the root entry's full path
};

// What the restore would do on the drive `letter`, in the order the root's
// entries are listed. The decoys are shortcuts (.lnk) whose target runs a
// command interpreter or script host, or is a file on the same drive of a
// type the classifier knows (whether or not that file is still there). The
// user's entries are the root's hidden-and-system entries that are neither a
// threat by the classifier nor one of the system's own (AUTORUN.INF, the
// recycle bins, System Volume Information, desktop.ini). A shortcut that does
// not load is the user's. Reads shortcuts through the shell: COM must be
// initialised on the calling thread, or no shortcut counts as a decoy.
std::vector<RestoreStep> PlanDriveRestore(wchar_t letter);

// Carries out one step. True when the decoy is gone into quarantine, or the
// entry has neither the hidden nor the system attribute any more (its other
// attributes kept). A step whose entry is gone or whose drive was pulled out
// fails.
bool CarryOutRestoreStep(const RestoreStep& step);
