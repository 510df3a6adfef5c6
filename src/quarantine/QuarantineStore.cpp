#include "quarantine/QuarantineStore.h"

#include "framework/Text.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>

namespace {

// The longest origin an item may hold: it must fit a store path buffer.
constexpr size_t kMaxOriginLength = kStorePathSize - 1;
constexpr size_t kMaxHeaderSize = kQuarantineMagicSize + kMaxOriginLength + 2;

// Names tried for one file name before a put gives up: "name.vw", "name (2).vw" ...
constexpr int kMaxItemNameTries = 9999;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    void Reset(HANDLE handle)
    {
        Close();
        handle_ = handle;
    }
    void Close()
    {
        if (IsOpen())
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// The length of `text`, or `limit` when no terminator comes within `limit`
// bytes: never reads further than needed to decide whether it fits.
size_t BoundedLength(const char* text, size_t limit)
{
    size_t length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return length;
}

bool IsMissing(const char* path)
{
    return path == nullptr || path[0] == '\0';
}

bool ReadFully(HANDLE file, void* buffer, DWORD size, DWORD& got)
{
    got = 0;
    while (got < size) {
        DWORD chunk = 0;
        if (!ReadFile(file, static_cast<char*>(buffer) + got, size - got, &chunk, nullptr))
            return false;
        if (chunk == 0)
            break;
        got += chunk;
    }
    return true;
}

bool WriteFully(HANDLE file, const void* data, DWORD size)
{
    DWORD done = 0;
    while (done < size) {
        DWORD chunk = 0;
        if (!WriteFile(file, static_cast<const char*>(data) + done, size - done, &chunk, nullptr) ||
            chunk == 0)
            return false;
        done += chunk;
    }
    return true;
}

bool Rewind(HANDLE file, LONG offset)
{
    // Offsets here stay far below 4 GiB, so the low part alone tells failure apart.
    return SetFilePointer(file, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}

// Checks the header of an open item and leaves the file pointer at its
// content. The header is valid when it begins with the magic and holds an
// origin path of 1 to kMaxOriginLength bytes, free of control characters,
// ended by carriage return and line feed: an item cut short, foreign, or with
// a path no store buffer can hold is refused, so that every reader agrees.
bool ReadItemHeader(HANDLE item, char* origin, size_t& originLength)
{
    unsigned char header[kMaxHeaderSize];
    DWORD got = 0;
    if (!ReadFully(item, header, sizeof header, got) || got < kQuarantineMagicSize ||
        std::memcmp(header, kQuarantineMagic, kQuarantineMagicSize) != 0)
        return false;
    size_t length = 0;
    while (length < kMaxOriginLength && kQuarantineMagicSize + length < got) {
        const unsigned char c = header[kQuarantineMagicSize + length];
        if (c == '\r')
            break;
        if (c < 0x20)
            return false;
        ++length;
    }
    const size_t lineEnd = kQuarantineMagicSize + length;
    if (length == 0 || lineEnd + 2 > got || header[lineEnd] != '\r' || header[lineEnd + 1] != '\n')
        return false;
    if (!Rewind(item, static_cast<LONG>(lineEnd + 2)))
        return false;
    std::memcpy(origin, header + kQuarantineMagicSize, length);
    origin[length] = '\0';
    originLength = length;
    return true;
}

// Opens the plain file for encoding, without sharing, and checks that it is
// not an item itself. Done leaves `plain` open at the start of the file.
TranscodeResult OpenPlainForEncode(const char* plainPath, FileHandle& plain)
{
    // The path is stored as the item's origin, which must fit a store buffer.
    if (BoundedLength(plainPath, kStorePathSize) >= kStorePathSize)
        return TranscodePlainFailed;
    plain.Reset(CreateFileA(plainPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!plain.IsOpen())
        return TranscodePlainFailed;
    char start[kQuarantineMagicSize];
    DWORD got = 0;
    if (ReadFully(plain.Get(), start, sizeof start, got) && got == kQuarantineMagicSize &&
        std::memcmp(start, kQuarantineMagic, kQuarantineMagicSize) == 0) {
        plain.Close();
        return TranscodeAlreadyItem;
    }
    if (!Rewind(plain.Get(), 0)) {
        plain.Close();
        return TranscodePlainFailed;
    }
    return TranscodeDone;
}

// Writes the header and the encoded content of `plain` into `item`.
TranscodeResult WriteItem(HANDLE plain, const char* plainPath, HANDLE item)
{
    static const char lineEnd[2] = {'\r', '\n'};
    if (!WriteFully(item, kQuarantineMagic, static_cast<DWORD>(kQuarantineMagicSize)) ||
        !WriteFully(item, plainPath, static_cast<DWORD>(std::strlen(plainPath))) ||
        !WriteFully(item, lineEnd, sizeof lineEnd))
        return TranscodeItemFailed;
    unsigned char chunk[kQuarantineChunkSize];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(plain, chunk, sizeof chunk, &got, nullptr))
            return TranscodePlainFailed;
        if (got == 0)
            return TranscodeDone;
        for (DWORD k = 0; k < got; ++k)
            chunk[k] = static_cast<unsigned char>(chunk[k] + QUARANTINE_SHIFT);
        if (!WriteFully(item, chunk, got))
            return TranscodeItemFailed;
    }
}

TranscodeResult Encode(const char* plainPath, const char* itemPath)
{
    FileHandle plain;
    const TranscodeResult opened = OpenPlainForEncode(plainPath, plain);
    if (opened != TranscodeDone)
        return opened;
    FileHandle item(CreateFileA(itemPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!item.IsOpen())
        return TranscodeItemFailed;
    const TranscodeResult written = WriteItem(plain.Get(), plainPath, item.Get());
    item.Close();
    if (written != TranscodeDone)
        DeleteFileA(itemPath);  // half an item would restore as a damaged file
    return written;
}

TranscodeResult Decode(const char* plainPath, const char* itemPath)
{
    FileHandle item(CreateFileA(itemPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!item.IsOpen())
        return TranscodeItemFailed;
    char origin[kStorePathSize];
    size_t originLength = 0;
    if (!ReadItemHeader(item.Get(), origin, originLength))
        return TranscodeNotAnItem;
    // CREATE_NEW: a restore never overwrites a file.
    FileHandle plain(CreateFileA(plainPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!plain.IsOpen())
        return TranscodePlainFailed;
    TranscodeResult result = TranscodeDone;
    unsigned char chunk[kQuarantineChunkSize];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(item.Get(), chunk, sizeof chunk, &got, nullptr)) {
            result = TranscodeItemFailed;
            break;
        }
        if (got == 0)
            break;
        for (DWORD k = 0; k < got; ++k)
            chunk[k] = static_cast<unsigned char>(chunk[k] - QUARANTINE_SHIFT);
        if (!WriteFully(plain.Get(), chunk, got)) {
            result = TranscodePlainFailed;
            break;
        }
    }
    plain.Close();
    if (result != TranscodeDone)
        DeleteFileA(plainPath);  // the file was created by this call: leave no truncated copy
    return result;
}

// The length of the longest start of `name`, at most `room` bytes, that ends
// on a character boundary of the ANSI code page: a shortened item name never
// ends in half a double-byte character.
size_t FittingNameLength(const char* name, size_t room)
{
    size_t length = 0;
    while (name[length] != '\0') {
        const size_t step = IsDBCSLeadByte(static_cast<BYTE>(name[length])) && name[length + 1] != '\0' ? 2 : 1;
        if (length + step > room)
            break;
        length += step;
    }
    return length;
}

// Writes "<folder><name><suffix>" into `itemPath`. When the whole name does
// not fit, only as much of it as fits is used: the item name is there for
// people, restore reads the origin from the header.
bool MakeItemPath(const char* folder, const char* name, const char* suffix, char (&itemPath)[kStorePathSize])
{
    const size_t fixed = std::strlen(folder) + std::strlen(suffix);
    if (fixed + 1 >= sizeof itemPath)
        return false;
    const size_t length = FittingNameLength(name, sizeof itemPath - 1 - fixed);
    if (length == 0)
        return false;
    const int written = std::snprintf(itemPath, sizeof itemPath, "%s%.*s%s", folder, static_cast<int>(length),
                                      name, suffix);
    return written > 0 && static_cast<size_t>(written) < sizeof itemPath;
}

// Creates a new item for a file called `name`, never replacing an existing
// one: two files of one name (an AUTORUN.INF from each of two drives, or two
// long names that shorten alike) both stay restorable. CREATE_NEW makes the
// choice safe against a put running at the same time on another thread.
HANDLE CreateNewItem(const char* folder, const char* name, char (&itemPath)[kStorePathSize])
{
    for (int number = 1; number <= kMaxItemNameTries; ++number) {
        char suffix[16] = ".vw";
        if (number > 1)
            std::snprintf(suffix, sizeof suffix, " (%d).vw", number);
        if (!MakeItemPath(folder, name, suffix, itemPath))
            return INVALID_HANDLE_VALUE;
        const HANDLE item = CreateFileA(itemPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (item != INVALID_HANDLE_VALUE)
            return item;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

bool IsFolder(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool GetProgramFolder(char* path, size_t pathSize)
{
    if (path == nullptr || pathSize == 0)
        return false;
    path[0] = '\0';
    char module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const char* slash = std::strrchr(module, '\\');
    if (slash == nullptr)
        return false;
    const size_t folderLength = static_cast<size_t>(slash - module) + 1;
    if (folderLength >= pathSize)
        return false;
    std::memcpy(path, module, folderLength);
    path[folderLength] = '\0';
    return true;
}

bool GetFileNamePart(const char* path, char* name, size_t nameSize)
{
    if (path == nullptr || name == nullptr)
        return false;
    const char* slash = std::strrchr(path, '\\');
    if (slash == nullptr)
        return false;
    const size_t length = std::strlen(slash + 1);
    if (length >= nameSize)
        return false;
    std::memcpy(name, slash + 1, length + 1);
    return true;
}

bool GetQuarantineFolder(char* path, size_t pathSize)
{
    if (path == nullptr || pathSize == 0)
        return false;
    path[0] = '\0';
    char folder[kStorePathSize];
    if (!GetProgramFolder(folder, sizeof folder))
        return false;
    char quarantine[kStorePathSize];
    const int length = std::snprintf(quarantine, sizeof quarantine, "%squarantine", folder);
    // Room for the trailing backslash and the terminator.
    if (length < 0 || static_cast<size_t>(length) + 2 > pathSize || static_cast<size_t>(length) + 2 > sizeof quarantine)
        return false;
    // A put on another thread may create the folder between the look and the
    // creation; the folder being there is all that counts.
    if (!IsFolder(quarantine) && !CreateDirectoryA(quarantine, nullptr) && !IsFolder(quarantine))
        return false;
    std::memcpy(path, quarantine, static_cast<size_t>(length));
    path[length] = '\\';
    path[length + 1] = '\0';
    return true;
}

TranscodeResult TranscodeQuarantineItem(const char* plainPath, const char* itemPath, TranscodeDirection direction)
{
    if (IsMissing(plainPath) || IsMissing(itemPath))
        return TranscodeMissingPath;
    return direction == TranscodeEncode ? Encode(plainPath, itemPath) : Decode(plainPath, itemPath);
}

bool QuarantineFile(const char* path)
{
    if (IsMissing(path) || BoundedLength(path, kStorePathSize) >= kStorePathSize)
        return false;
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    char name[kStorePathSize];
    if (!GetFileNamePart(path, name, sizeof name) || name[0] == '\0')
        return false;
    char folder[kStorePathSize];
    if (!GetQuarantineFolder(folder, sizeof folder))
        return false;

    char itemPath[kStorePathSize] = {};
    bool itemWritten = false;
    {
        FileHandle plain;
        const TranscodeResult opened = OpenPlainForEncode(path, plain);
        if (opened == TranscodeDone) {
            FileHandle item(CreateNewItem(folder, name, itemPath));
            if (!item.IsOpen())
                return false;
            const TranscodeResult written = WriteItem(plain.Get(), path, item.Get());
            item.Close();
            if (written != TranscodeDone) {
                DeleteFileA(itemPath);
                return false;
            }
            itemWritten = true;
        } else if (opened != TranscodeAlreadyItem) {
            // No copy could be made: the file stays where it is.
            return false;
        }
        // A file that already is an item is deleted without a second copy.
    }

    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    // Deleted means gone: Wine reports success before it unlinks the file and
    // keeps quiet when the unlink fails (a write-protected medium).
    if (DeleteFileA(path) && GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
        return true;
    // The file is still there: put it back as it was and drop the copy, so a
    // failed put leaves nothing behind and a retry makes no duplicate item.
    SetFileAttributesA(path, attributes);
    if (itemWritten)
        DeleteFileA(itemPath);
    return false;
}

std::string StorePathOf(const std::wstring& path)
{
    const auto fits = [](const std::wstring& wide, std::string& ansi) {
        ansi = Narrow(wide);
        return !ansi.empty() && ansi.size() < kStorePathSize && Widen(ansi) == wide;
    };
    std::string ansi;
    if (fits(path, ansi))
        return ansi;
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return std::string();
    std::wstring shortPath(size, L'\0');
    const DWORD length = GetShortPathNameW(path.c_str(), &shortPath[0], size);
    if (length == 0 || length >= size)
        return std::string();
    shortPath.resize(length);
    return fits(shortPath, ansi) ? ansi : std::string();
}

bool ReadQuarantineOrigin(const char* itemPath, char* origin, size_t originSize)
{
    if (IsMissing(itemPath) || origin == nullptr || originSize == 0)
        return false;
    FileHandle item(CreateFileA(itemPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!item.IsOpen())
        return false;
    char stored[kStorePathSize];
    size_t length = 0;
    if (!ReadItemHeader(item.Get(), stored, length) || length >= originSize)
        return false;
    std::memcpy(origin, stored, length + 1);
    return true;
}

RestoreResult RestoreQuarantineItem(const char* itemPath)
{
    if (IsMissing(itemPath))
        return RestoreFailed;
    char origin[kStorePathSize];
    if (!ReadQuarantineOrigin(itemPath, origin, sizeof origin))
        return RestoreFailed;
    if (TranscodeQuarantineItem(origin, itemPath, TranscodeDecode) == TranscodeDone)
        return RestoreToOrigin;

    char name[kStorePathSize];
    if (!GetFileNamePart(origin, name, sizeof name))
        return RestoreFailed;
    // The shell writes up to MAX_PATH characters here.
    char desktop[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE))
        return RestoreFailed;
    char target[kStorePathSize];
    const int length = std::snprintf(target, sizeof target, "%s\\%s", desktop, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof target)
        return RestoreFailed;
    return TranscodeQuarantineItem(target, itemPath, TranscodeDecode) == TranscodeDone ? RestoreToDesktop
                                                                                      : RestoreFailed;
}
