#pragma once

#include <atomic>
#include <functional>
#include <string>

// The walk of the USB full scan: every file under a root, judged by the
// program's full-scan rule, without recursion.

// The stop request of a walk: 1 while the walk is to go on, 0 to stop it. A
// plain byte written by one thread and read by another; the walk only needs
// to see the cleared value eventually.
using ScanFlag = std::atomic<unsigned char>;

// Why the walk lists a file.
enum class ListedAs {
    Suspicious,    // the full-scan rule
    WormShortcut,  // a decoy shortcut of a USB worm (system/WormSigns.h)
    WormFile,      // a file on the drive that a decoy starts or names
};

// Called with the full path of every file the walk lists, on the walking thread.
using ListedFileSink = std::function<void(const std::string& path, ListedAs as)>;
// Called on the walking thread each time the walk has finished a directory.
using FolderDoneHook = std::function<void()>;

// The full-scan rule for one file: ".pif", ".vbs", ".vb" and ".vbe" always;
// ".exe", ".com", ".bat" and ".inf" only when the file is hidden; nothing else.
bool IsListedByFullScan(const char* path);

// Walks the tree under `root` ("E:" for a drive; no trailing backslash) and
// reports every listed file: those of the full-scan rule, and every decoy
// shortcut, wherever it lies, each followed by the files of the drive it
// starts or names that are not listed already. Each shortcut is read once,
// and no file is listed twice. Within a directory the files are judged first,
// in the order the file system returns them; then the subdirectory found last
// is walked, its own subdirectories before its siblings. Hidden and system
// directories are walked; directories that are reparse points (junctions,
// symbolic links, and Unix symbolic links under Wine) are not, so a link back
// into the tree cannot make the walk endless. A directory that cannot be
// searched is passed over. `scanning` is read before every entry and before
// every pending directory; once it is 0 the walk ends. Returns the number of
// files listed.
int WalkForSuspiciousFiles(const std::string& root, const ScanFlag& scanning, const ListedFileSink& list,
                           const FolderDoneHook& folderDone = FolderDoneHook());
