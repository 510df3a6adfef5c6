#pragma once

#include <cstddef>
#include <string>

// The quarantine store: every file the program deletes as a threat is first
// copied, encoded, into the quarantine folder, one item per file, from which
// it can be restored. A copy installed under Program Files keeps each user's
// items in "%LOCALAPPDATA%\Vardenix\quarantine" of that user; any other copy
// (on a stick, in a user's own folder) in "quarantine" beside its executable.
// Items are written only into that very folder, never through a junction or
// a symbolic link, and flushed to the disk before their file is deleted; a
// restored file is flushed before the restore reports success.
// The functions keep no state of their own and may be called from any thread;
// each file is opened without sharing for the length of one call, so a second
// call on the same file at the same time fails to open it and reports that
// failure.
//
// Item layout (a stored format: every copy of the program reads it):
//   11 bytes  the magic "vormtalware", no terminator
//   L bytes   the origin path (ANSI), no terminator, 1 <= L < kStorePathSize
//   2 bytes   carriage return, line feed
//   S bytes   the content, each byte stored as (byte + QUARANTINE_SHIFT) mod 256
// An item is 13 + L bytes longer than the file it holds. Items are named after
// the file's name with ".vw" appended; a later file of a name already taken
// gets "name (2).vw", "name (3).vw" and so on, so no item is ever replaced.
// A name too long for the item path to fit kStorePathSize is cut short before
// its suffix; the origin in the header is always whole.

// Every path the store handles fits a buffer of this many bytes, terminator
// included: a longer source, item or origin path is refused, never cut.
constexpr size_t kStorePathSize = 256;

// Fixed for the item format: writer and reader must use the same value.
constexpr unsigned char QUARANTINE_SHIFT = 0x5D;

constexpr const char kQuarantineMagic[] = "vormtalware";
constexpr size_t kQuarantineMagicSize = sizeof kQuarantineMagic - 1;  // 11, stored without terminator

// Content is copied through one buffer of this size; nothing larger is held in memory.
constexpr size_t kQuarantineChunkSize = 1024 * 1024;

enum TranscodeDirection {
    TranscodeEncode,  // plain file -> item
    TranscodeDecode,  // item -> plain file
};

enum TranscodeResult {
    TranscodeDone = 1,
    TranscodeMissingPath = 2,
    // Encode: the plain file cannot be opened or read (or its path is too long
    // to be stored). Decode: the plain file cannot be created (it exists
    // already, its folder is missing or not writable) or written.
    TranscodePlainFailed = 3,
    // Encode: the item cannot be created or written. Decode: the item cannot
    // be opened or read.
    TranscodeItemFailed = 4,
    // Encode only: the plain file already begins with the magic; nothing is written.
    TranscodeAlreadyItem = 5,
    // Decode only: the item's header is damaged or foreign (not the magic, or
    // no valid origin path ended by carriage return and line feed).
    TranscodeNotAnItem = 6,
};

enum RestoreResult {
    RestoreFailed = 0,
    RestoreToOrigin = 1,
    RestoreToDesktop = 2,
};

// The folder of the program's executable with a trailing backslash. False,
// and `path` empty, when it cannot be found or does not fit `pathSize`.
bool GetProgramFolder(char* path, size_t pathSize = kStorePathSize);

// Copies what follows the last backslash of `path` into `name`. False, and
// `name` untouched, when the path holds no backslash or the name does not fit.
bool GetFileNamePart(const char* path, char* name, size_t nameSize = kStorePathSize);

// The quarantine folder (see above) with a trailing backslash, created when
// missing. False when it cannot be created, when it or a folder on its way
// from the drive's root is a junction, a symbolic link or a mount point, or
// when its path has no ANSI form that fits `pathSize`: then no item can be
// written, and no file is deleted.
bool GetQuarantineFolder(char* path, size_t pathSize = kStorePathSize);

// Encode writes the item at `itemPath` from the plain file (replacing any item
// of that name); decode writes a new plain file from the item and never
// replaces an existing file. A file left half-written by a failure is removed.
TranscodeResult TranscodeQuarantineItem(const char* plainPath, const char* itemPath,
                                        TranscodeDirection direction);

// Copies the file into quarantine and deletes it: the one way the pages delete
// a threat. True exactly when the file was deleted. A file whose item could not
// be written is kept (false). A file that already begins with the magic is
// deleted without an item, since it is a quarantine item itself.
bool QuarantineFile(const char* path);

// The ANSI path by which QuarantineFile reaches the file at the wide `path`:
// the path itself when it converts to the ANSI code page and back unchanged,
// else the file's short (8.3) path when that one does; the item then keeps
// the short path as its origin. Empty when neither fits kStorePathSize or the
// code page (a volume without short names): such a file cannot be put into
// quarantine. Never a path that names another file: a best-fit or replacement
// character ("?") would.
std::string StorePathOf(const std::wstring& path);

// Reads the origin path stored in an item into `origin` (terminated). False
// when the item does not open, its header is damaged or foreign, or the origin
// does not fit `originSize`; nothing is ever written past `originSize` bytes.
bool ReadQuarantineOrigin(const char* itemPath, char* origin, size_t originSize = kStorePathSize);

// Writes the item's content back to its origin path, or to the user's desktop
// when the origin cannot be created (taken, or its folder or drive gone).
// Never overwrites a file and never changes or removes the item. The origin
// is trusted only when it is an absolute path on a drive letter whose every
// step is a plain name (no "." or "..", no "/", stream, device, "\\?\" or
// network path); any other item is refused. With `shownOrigin` (the origin
// the user was asked about) the item is restored only while its header still
// holds exactly that origin.
RestoreResult RestoreQuarantineItem(const char* itemPath, const char* shownOrigin = nullptr);
