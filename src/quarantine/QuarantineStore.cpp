#include "quarantine/QuarantineStore.h"

#include "framework/Text.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

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

enum class CopyFailure {
    None,
    Reading,  // the file copied from
    Writing,  // the file copied to, or no buffer to copy through
};

// Copies the rest of `from` into `to`, adding `shift` to each byte (modulo
// 256), and flushes `to` to the disk: whatever is deleted or reported as done
// once the copy has succeeded must survive a crash or a power cut.
CopyFailure CopyShifted(HANDLE from, HANDLE to, unsigned char shift)
{
    const std::unique_ptr<unsigned char[]> chunk(new (std::nothrow) unsigned char[kQuarantineChunkSize]);
    if (!chunk)
        return CopyFailure::Writing;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, chunk.get(), static_cast<DWORD>(kQuarantineChunkSize), &got, nullptr))
            return CopyFailure::Reading;
        if (got == 0)
            break;
        for (DWORD k = 0; k < got; ++k)
            chunk[k] = static_cast<unsigned char>(chunk[k] + shift);
        if (!WriteFully(to, chunk.get(), got))
            return CopyFailure::Writing;
    }
    return FlushFileBuffers(to) ? CopyFailure::None : CopyFailure::Writing;
}

// Writes the header and the encoded content of `plain` into `item`, flushed.
TranscodeResult WriteItem(HANDLE plain, const char* plainPath, HANDLE item)
{
    static const char lineEnd[2] = {'\r', '\n'};
    if (!WriteFully(item, kQuarantineMagic, static_cast<DWORD>(kQuarantineMagicSize)) ||
        !WriteFully(item, plainPath, static_cast<DWORD>(std::strlen(plainPath))) ||
        !WriteFully(item, lineEnd, sizeof lineEnd))
        return TranscodeItemFailed;
    switch (CopyShifted(plain, item, QUARANTINE_SHIFT)) {
    case CopyFailure::None:
        return TranscodeDone;
    case CopyFailure::Reading:
        return TranscodePlainFailed;
    default:
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

// Writes the content of the open `item`, whose header has been read, into a
// new plain file, flushed to disk.
TranscodeResult DecodeContent(HANDLE item, const char* plainPath)
{
    // CREATE_NEW: a restore never overwrites a file.
    FileHandle plain(CreateFileA(plainPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!plain.IsOpen())
        return TranscodePlainFailed;
    const CopyFailure failure = CopyShifted(item, plain.Get(), static_cast<unsigned char>(0x100 - QUARANTINE_SHIFT));
    plain.Close();
    if (failure == CopyFailure::None)
        return TranscodeDone;
    DeleteFileA(plainPath);  // the file was created by this call: leave no truncated copy
    return failure == CopyFailure::Reading ? TranscodeItemFailed : TranscodePlainFailed;
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
    return DecodeContent(item.Get(), plainPath);
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

// Paths as the file system compares them: case-blind, ordinal.
bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

bool StartsWithPath(const std::wstring& path, const std::wstring& start)
{
    return path.size() >= start.size() && SamePath(path.substr(0, start.size()), start);
}

// `path` with every step in its long form, or `path` itself when the file
// system cannot say.
std::wstring LongPathOf(const std::wstring& path)
{
    const DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return path;
    std::wstring result(size, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), &result[0], size);
    if (length == 0 || length >= size)
        return path;
    result.resize(length);
    return result;
}

// The executable's folder in its long form, with a trailing backslash; empty
// when it cannot be found.
std::wstring ProgramFolderWide()
{
    std::wstring module(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &module[0], static_cast<DWORD>(module.size()));
        if (length == 0)
            return std::wstring();
        if (length < module.size()) {
            module.resize(length);
            break;
        }
        // Cut short: ask again with more room, up to the longest path Windows knows.
        if (module.size() >= 32768)
            return std::wstring();
        module.resize(module.size() * 2);
    }
    module = LongPathOf(module);
    const size_t slash = module.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : module.substr(0, slash + 1);
}

// Whether `folder` lies under one of the Program Files folders, the 64-bit
// and the 32-bit one. They are read from the machine's registry, which only
// administrators change, never from %ProgramFiles%, which any user can set
// for the programs he starts.
bool LiesInProgramFiles(const std::wstring& folder)
{
    HKEY key = nullptr;
    // The 64-bit view names both folders, for a 32-bit copy too; a 32-bit
    // Windows has one view and ignores the flag.
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    bool inside = false;
    for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramFilesDir (x86)"}) {
        wchar_t value[MAX_PATH];
        DWORD size = sizeof value;
        // A plain string only: nothing of it is expanded from the environment.
        if (RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            continue;
        std::wstring programFiles = LongPathOf(value);
        while (!programFiles.empty() && programFiles.back() == L'\\')
            programFiles.pop_back();
        if (!programFiles.empty() && StartsWithPath(folder, programFiles + L'\\'))
            inside = true;
    }
    RegCloseKey(key);
    return inside;
}

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeFolder(const std::wstring& path)
{
    // A put on another thread may create the folder between the look and the
    // creation; the folder being there is all that counts.
    return IsFolder(path) || CreateDirectoryW(path.c_str(), nullptr) || IsFolder(path);
}

// The quarantine folder, without a trailing backslash, created when missing.
// A copy installed under Program Files keeps the items of each user apart in
// that user's local application data, where no other user can reach them;
// any other copy (on a stick, in a user's own folder) keeps them beside its
// executable.
bool MakeQuarantineFolder(std::wstring& folder)
{
    const std::wstring program = ProgramFolderWide();
    if (program.empty())
        return false;
    if (!LiesInProgramFiles(program)) {
        folder = program + L"quarantine";
        return MakeFolder(folder);
    }
    PWSTR local = nullptr;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &local);
    folder = SUCCEEDED(found) && local ? local : L"";
    CoTaskMemFree(local);
    if (folder.empty() || !MakeFolder(folder + L"\\Vardenix"))
        return false;
    folder += L"\\Vardenix\\quarantine";
    return MakeFolder(folder);
}

// The length of the root of `path` ("C:\" or "\\server\share\"); 0 when it has none.
size_t RootLength(const std::wstring& path)
{
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\')
        return 3;
    if (path.compare(0, 2, L"\\\\") != 0)
        return 0;
    const size_t share = path.find(L'\\', 2);
    const size_t end = share == std::wstring::npos || share == 2 ? std::wstring::npos : path.find(L'\\', share + 1);
    return end == std::wstring::npos ? 0 : end + 1;
}

// Opens the folder at `path` into `folder`, but only when it is the very
// folder the path names: neither the folder itself nor any folder on the way
// from its drive's root may be a junction, a symbolic link or a mount point
// that leads the items elsewhere. The drive itself may be a mapped or a
// substituted one. Each step is asked for its attributes rather than the
// folder for its final path: Wine remembers its drives' roots by inode for a
// while, so once folders come and go its final path may name another drive.
bool OpenVerifiedFolder(const std::wstring& path, FileHandle& folder)
{
    const size_t rootLength = RootLength(path);
    if (rootLength == 0 || rootLength >= path.size())
        return false;
    for (size_t end = path.find(L'\\', rootLength);; end = path.find(L'\\', end + 1)) {
        const DWORD attributes = GetFileAttributesW(path.substr(0, end).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return false;
        if (end == std::wstring::npos)
            break;
    }
    // Listing access takes part in sharing, so without delete sharing nobody
    // can rename, remove or replace the folder while the handle is open; the
    // handle's own attributes tell whether the folder was swapped for a link
    // since its step was looked at.
    folder.Reset(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION opened;
    return folder.IsOpen() && GetFileInformationByHandle(folder.Get(), &opened) &&
           (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(opened.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The quarantine folder's ANSI path with a trailing backslash in `path`, and
// the folder held open in `folder` (see OpenVerifiedFolder).
bool OpenQuarantineFolder(char* path, size_t pathSize, FileHandle& folder)
{
    if (path == nullptr || pathSize == 0)
        return false;
    path[0] = '\0';
    std::wstring wide;
    if (!MakeQuarantineFolder(wide))
        return false;
    // Items are reached through an ANSI path: it must name this very folder
    // and fit the store's buffers, or no item is written at all.
    const std::string ansi = StorePathOf(wide);
    if (ansi.empty() || ansi.size() + 2 > pathSize || !OpenVerifiedFolder(Widen(ansi), folder))
        return false;
    std::memcpy(path, ansi.c_str(), ansi.size());
    path[ansi.size()] = '\\';
    path[ansi.size() + 1] = '\0';
    return true;
}

// Windows' device names, which name a device in every folder and with any
// extension ("C:\temp\nul.txt" is the null device).
bool IsDeviceName(const std::wstring& name)
{
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
        if (SamePath(base, device))
            return true;
    }
    if (base.size() != 4 || !(SamePath(base.substr(0, 3), L"COM") || SamePath(base.substr(0, 3), L"LPT")))
        return false;
    const wchar_t number = base[3];
    return (number >= L'0' && number <= L'9') || number == L'\u00B9' || number == L'\u00B2' || number == L'\u00B3';
}

// One step of a path that the system takes as it stands, as one name in one
// folder: not "." or "..", nothing the system would drop (trailing dots and
// spaces), no separator, drive, stream, wildcard or device.
bool IsPlainFileName(const std::wstring& name)
{
    if (name.empty() || name.back() == L'.' || name.back() == L' ' ||
        name.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos)
        return false;
    for (const wchar_t c : name) {
        if (c < 0x20)
            return false;
    }
    return !IsDeviceName(name);
}

// Whether a restore may write the origin an item holds. Nothing in an item is
// trusted: anyone who can write the quarantine folder can plant one. Only an
// absolute path on a drive letter made of plain names qualifies, never a
// device, a stream, another computer's share or a "\\?\" path, and never a
// ".." that would lead the file out of the folder the question showed. The
// test is made on the path as the system will read it, in UTF-16.
bool IsRestorableOrigin(const char* origin)
{
    const std::wstring path = Widen(origin);
    if (path.size() < 4 || !((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) ||
        path[1] != L':' || path[2] != L'\\')
        return false;
    for (size_t start = 3;;) {
        const size_t end = path.find(L'\\', start);
        if (!IsPlainFileName(path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)))
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
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
    FileHandle folder;
    return OpenQuarantineFolder(path, pathSize, folder);
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
    // Held until the item is written: the folder checked is the one written to.
    FileHandle heldFolder;
    if (!OpenQuarantineFolder(folder, sizeof folder, heldFolder))
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

RestoreResult RestoreQuarantineItem(const char* itemPath, const char* shownOrigin)
{
    if (IsMissing(itemPath))
        return RestoreFailed;
    // One handle without sharing for the whole restore: the header checked is
    // the header of the content written, and nobody changes it meanwhile.
    FileHandle item(CreateFileA(itemPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!item.IsOpen())
        return RestoreFailed;
    char origin[kStorePathSize];
    size_t originLength = 0;
    if (!ReadItemHeader(item.Get(), origin, originLength) ||
        (shownOrigin != nullptr && std::strcmp(origin, shownOrigin) != 0) || !IsRestorableOrigin(origin))
        return RestoreFailed;
    if (DecodeContent(item.Get(), origin) == TranscodeDone)
        return RestoreToOrigin;

    // The origin's last step, a plain file name like every step of it.
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
    // The first attempt may have read part of the content before it failed.
    if (!Rewind(item.Get(), static_cast<LONG>(kQuarantineMagicSize + originLength + 2)))
        return RestoreFailed;
    return DecodeContent(item.Get(), target) == TranscodeDone ? RestoreToDesktop : RestoreFailed;
}
