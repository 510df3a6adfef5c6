#include "system/ShellLink.h"

#include <cstring>
#include <utility>

namespace {

constexpr DWORD kHeaderSize = 0x4C;
// {00021401-0000-0000-C000-000000000046}, the shortcut class, as stored.
constexpr unsigned char kShellLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                               0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {20D04FE0-3AEA-1069-A2D8-08002B30309D}, the computer ("This PC"), as stored.
constexpr unsigned char kMyComputerClass[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                                0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

constexpr DWORD kLinkInfoHasLocalPath = 0x1;
constexpr DWORD kEnvironmentBlock = 0xA0000001;
constexpr DWORD kIconEnvironmentBlock = 0xA0000007;
// Both environment blocks: size, signature, 260 ANSI bytes, 260 UTF-16 characters.
constexpr DWORD kEnvironmentBlockSize = 0x314;
constexpr size_t kEnvironmentAnsiSize = 260;
constexpr size_t kEnvironmentWideChars = 260;

constexpr DWORD kFileEntryExtension = 0xBEEF0004;

// A window on the bytes with bounded reads: a read past the end fails and
// leaves the value alone.
class Bytes {
public:
    Bytes(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    size_t Size() const { return size_; }
    const unsigned char* At(size_t offset) const { return data_ + offset; }
    bool Has(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }

    bool Word(size_t offset, WORD& value) const
    {
        if (!Has(offset, 2))
            return false;
        value = static_cast<WORD>(data_[offset] | (data_[offset + 1] << 8));
        return true;
    }
    bool Dword(size_t offset, DWORD& value) const
    {
        if (!Has(offset, 4))
            return false;
        value = static_cast<DWORD>(data_[offset]) | (static_cast<DWORD>(data_[offset + 1]) << 8) |
                (static_cast<DWORD>(data_[offset + 2]) << 16) | (static_cast<DWORD>(data_[offset + 3]) << 24);
        return true;
    }
    // The part [offset, offset + length); empty when it does not lie inside.
    Bytes Part(size_t offset, size_t length) const
    {
        return Has(offset, length) ? Bytes(data_ + offset, length) : Bytes(data_, 0);
    }

    // A string ended by a zero byte (ANSI, in the code page `codePage`) that
    // starts at `offset` and ends inside; false without a terminator.
    bool AnsiString(size_t offset, UINT codePage, std::wstring& text) const
    {
        if (offset >= size_)
            return false;
        const void* end = std::memchr(data_ + offset, 0, size_ - offset);
        if (!end)
            return false;
        const size_t length = static_cast<size_t>(static_cast<const unsigned char*>(end) - (data_ + offset));
        text = Decode(data_ + offset, length, codePage);
        return true;
    }
    // A UTF-16 string ended by a zero character.
    bool WideString(size_t offset, std::wstring& text) const
    {
        std::wstring result;
        for (size_t at = offset; Has(at, 2); at += 2) {
            const wchar_t c = static_cast<wchar_t>(data_[at] | (data_[at + 1] << 8));
            if (c == L'\0') {
                text = result;
                return true;
            }
            result += c;
        }
        return false;
    }
    // `count` UTF-16 characters, not terminated.
    bool WideChars(size_t offset, size_t count, std::wstring& text) const
    {
        if (count > size_ / 2 || !Has(offset, count * 2))
            return false;
        text.resize(count);
        for (size_t k = 0; k < count; ++k)
            text[k] = static_cast<wchar_t>(data_[offset + 2 * k] | (data_[offset + 2 * k + 1] << 8));
        return true;
    }

    static std::wstring Decode(const unsigned char* text, size_t length, UINT codePage)
    {
        if (length == 0 || length > 0x7FFFFFFF)
            return std::wstring();
        const char* chars = reinterpret_cast<const char*>(text);
        const int wide = MultiByteToWideChar(codePage, 0, chars, static_cast<int>(length), nullptr, 0);
        if (wide <= 0)
            return std::wstring();
        std::wstring result(static_cast<size_t>(wide), L'\0');
        MultiByteToWideChar(codePage, 0, chars, static_cast<int>(length), &result[0], wide);
        return result;
    }

private:
    const unsigned char* data_;
    size_t size_;
};

// A path the reader hands on holds no control characters: a name with a
// line break or a zero inside is a damaged or hostile field.
bool IsCleanPath(const std::wstring& path)
{
    for (wchar_t c : path) {
        if (c < 0x20)
            return false;
    }
    return true;
}

bool IsDriveRoot(const std::wstring& text)
{
    return text.size() == 3 && ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z')) &&
           text[1] == L':' && text[2] == L'\\';
}

// The long name that a file entry's extension block (0xBEEF0004) carries
// after fields whose number grew with each Windows version.
bool ExtensionLongName(const Bytes& item, size_t start, std::wstring& name)
{
    // Aligned to two bytes by the shell, but not every writer is the shell.
    for (size_t at = start; item.Has(at, 8); ++at) {
        DWORD signature = 0;
        WORD blockSize = 0, version = 0;
        if (!item.Dword(at + 4, signature) || signature != kFileEntryExtension || !item.Word(at, blockSize) ||
            !item.Word(at + 2, version) || blockSize < 8 || !item.Has(at, blockSize))
            continue;
        if (version < 3)
            return false;
        size_t offset = 20;
        if (version >= 7)
            offset = 38;
        if (version >= 8)
            offset += 4;
        if (version >= 9)
            offset += 4;
        const Bytes block = item.Part(at, blockSize);
        return block.WideString(offset, name) && !name.empty();
    }
    return false;
}

// One file or folder item of an ID list: its type byte says whether the
// primary name is ANSI or UTF-16; the extension block, when there is one,
// holds the long name.
bool FileEntryName(const Bytes& item, std::wstring& name)
{
    // size(2) type(1) unknown(1) file size(4) date and time(4) attributes(2) name
    constexpr size_t kNameOffset = 14;
    const unsigned char type = *item.At(2);
    std::wstring primary;
    size_t nameEnd = 0;
    if (type & 0x04) {
        if (!item.WideString(kNameOffset, primary))
            return false;
        nameEnd = kNameOffset + (primary.size() + 1) * 2;
    } else {
        if (!item.AnsiString(kNameOffset, CP_ACP, primary))
            return false;
        nameEnd = kNameOffset + primary.size() + 1;
    }
    std::wstring longName;
    name = ExtensionLongName(item, nameEnd, longName) ? longName : primary;
    // A name with a character no file name may hold (a stream's colon, a
    // backslash that would add a folder) is damaged or hostile.
    return !name.empty() && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos && name != L"." &&
           name != L"..";
}

// The file-system path of an ID list that goes from the computer (or the
// desktop) through a drive to a file; empty for any other namespace.
std::wstring IdListPath(const Bytes& list)
{
    std::wstring path;
    bool haveDrive = false;
    size_t at = 0;
    for (int index = 0;; ++index) {
        WORD itemSize = 0;
        if (!list.Word(at, itemSize))
            return std::wstring();
        if (itemSize == 0)
            break;
        if (itemSize < 3 || !list.Has(at, itemSize))
            return std::wstring();
        const Bytes item = list.Part(at, itemSize);
        const unsigned char type = *item.At(2);
        if (index == 0 && type == 0x1F) {
            // The root: only the computer leads to drives.
            if (!item.Has(4, 16) || std::memcmp(item.At(4), kMyComputerClass, 16) != 0)
                return std::wstring();
        } else if (!haveDrive && (type & 0x70) == 0x20) {
            std::wstring drive;
            if (!item.AnsiString(3, CP_ACP, drive) || !IsDriveRoot(drive))
                return std::wstring();
            path = drive;
            haveDrive = true;
        } else if (haveDrive && (type & 0x70) == 0x30) {
            std::wstring name;
            if (!FileEntryName(item, name))
                return std::wstring();
            if (path.back() != L'\\')
                path += L'\\';
            path += name;
        } else {
            return std::wstring();
        }
        at += itemSize;
    }
    return haveDrive && IsCleanPath(path) ? path : std::wstring();
}

// The local path of the link info: the base path and the common suffix,
// UTF-16 where the link info has them, else ANSI.
std::wstring LinkInfoPath(const Bytes& info)
{
    // size(4) header size(4) flags(4) volume(4) base path(4) network link(4)
    // suffix(4), and from a header of 0x24 bytes on: base path and suffix in UTF-16 (4 + 4).
    DWORD headerSize = 0, infoFlags = 0, baseOffset = 0, suffixOffset = 0;
    if (!info.Dword(4, headerSize) || !info.Dword(8, infoFlags) || !info.Dword(16, baseOffset) ||
        !info.Dword(24, suffixOffset) || !(infoFlags & kLinkInfoHasLocalPath))
        return std::wstring();
    std::wstring base, suffix;
    DWORD wideBase = 0, wideSuffix = 0;
    if (headerSize >= 0x24 && info.Dword(28, wideBase) && info.Dword(32, wideSuffix) && wideBase != 0) {
        if (!info.WideString(wideBase, base) || (wideSuffix != 0 && !info.WideString(wideSuffix, suffix)))
            return std::wstring();
    } else {
        if (!info.AnsiString(baseOffset, CP_ACP, base) || (suffixOffset != 0 && !info.AnsiString(suffixOffset, CP_ACP, suffix)))
            return std::wstring();
    }
    if (base.empty())
        return std::wstring();
    if (!suffix.empty() && base.back() != L'\\')
        base += L'\\';
    const std::wstring path = base + suffix;
    return IsCleanPath(path) ? path : std::wstring();
}

// An environment block's path: the UTF-16 field, else the ANSI one.
std::wstring EnvironmentPath(const Bytes& block)
{
    std::wstring wide;
    const Bytes wideField = block.Part(8 + kEnvironmentAnsiSize, kEnvironmentWideChars * 2);
    if (wideField.WideString(0, wide) && !wide.empty())
        return IsCleanPath(wide) ? wide : std::wstring();
    std::wstring ansi;
    const Bytes ansiField = block.Part(8, kEnvironmentAnsiSize);
    if (ansiField.AnsiString(0, CP_ACP, ansi))
        return IsCleanPath(ansi) ? ansi : std::wstring();
    return std::wstring();
}

std::wstring Expand(const std::wstring& path)
{
    if (path.find(L'%') == std::wstring::npos)
        return path;
    const DWORD needed = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (needed == 0 || needed > 32768)
        return path;
    std::wstring expanded(needed, L'\0');
    const DWORD written = ExpandEnvironmentStringsW(path.c_str(), &expanded[0], needed);
    if (written == 0 || written > needed)
        return path;
    expanded.resize(written - 1);
    return expanded;
}

}  // namespace

std::wstring ShellLink::Target() const
{
    const std::vector<std::wstring> paths = TargetPaths();
    return paths.empty() ? std::wstring() : paths.front();
}

std::vector<std::wstring> ShellLink::TargetPaths() const
{
    // A block the header does not announce is not used by the shell, but it
    // is still something the file says: it comes last.
    const bool announced = (flags & kLinkHasEnvironmentPath) != 0;
    const std::wstring environment = Expand(environmentPath);
    const std::wstring* candidates[] = {announced ? &environment : nullptr, &idListPath, &linkInfoPath,
                                        announced ? nullptr : &environment};
    std::vector<std::wstring> paths;
    for (const std::wstring* path : candidates) {
        if (!path || path->empty())
            continue;
        bool known = false;
        for (const std::wstring& seen : paths)
            known = known || CompareStringOrdinal(seen.c_str(), -1, path->c_str(), -1, TRUE) == CSTR_EQUAL;
        if (!known)
            paths.push_back(*path);
    }
    return paths;
}

bool ParseShellLink(const void* data, size_t size, ShellLink& link)
{
    link = ShellLink();
    if (!data)
        return false;
    const Bytes file(static_cast<const unsigned char*>(data), size < kMaxShellLinkSize ? size : kMaxShellLinkSize);
    DWORD headerSize = 0, iconIndex = 0, showCommand = 0;
    if (!file.Dword(0, headerSize) || headerSize != kHeaderSize || !file.Has(0, kHeaderSize) ||
        std::memcmp(file.At(4), kShellLinkClass, sizeof kShellLinkClass) != 0)
        return false;
    file.Dword(20, link.flags);
    file.Dword(24, link.targetAttributes);
    file.Dword(56, iconIndex);
    file.Dword(60, showCommand);
    link.iconIndex = static_cast<int>(iconIndex);
    link.showCommand = static_cast<int>(showCommand);

    size_t at = kHeaderSize;
    if (link.flags & kLinkHasIdList) {
        WORD listSize = 0;
        if (!file.Word(at, listSize) || !file.Has(at + 2, listSize))
            return false;
        link.idListPath = IdListPath(file.Part(at + 2, listSize));
        at += 2 + listSize;
    }
    if (link.flags & kLinkHasLinkInfo) {
        DWORD infoSize = 0;
        if (!file.Dword(at, infoSize) || infoSize < 4 || !file.Has(at, infoSize))
            return false;
        link.linkInfoPath = LinkInfoPath(file.Part(at, infoSize));
        at += infoSize;
    }

    // The string data, in this order, each a count of characters and the characters.
    const std::pair<DWORD, std::wstring*> strings[] = {
        {kLinkHasName, &link.name},
        {kLinkHasRelativePath, &link.relativePath},
        {kLinkHasWorkingDirectory, &link.workingDirectory},
        {kLinkHasArguments, &link.arguments},
        {kLinkHasIconLocation, &link.iconLocation},
    };
    const bool unicode = (link.flags & kLinkIsUnicode) != 0;
    for (const auto& entry : strings) {
        if (!(link.flags & entry.first))
            continue;
        WORD count = 0;
        if (!file.Word(at, count))
            return false;
        at += 2;
        if (unicode) {
            if (!file.WideChars(at, count, *entry.second))
                return false;
            at += static_cast<size_t>(count) * 2;
        } else {
            if (!file.Has(at, count))
                return false;
            *entry.second = Bytes::Decode(file.At(at), count, CP_ACP);
            at += count;
        }
        // Wine's shell counts the terminator as a character; no string of
        // the format holds one.
        const size_t end = entry.second->find(L'\0');
        if (end != std::wstring::npos)
            entry.second->resize(end);
    }

    // The extra data: blocks of a size and a signature, ended by a block of
    // fewer than four bytes (or by the end of the file).
    while (file.Has(at, 8)) {
        DWORD blockSize = 0, signature = 0;
        file.Dword(at, blockSize);
        if (blockSize < 8 || !file.Has(at, blockSize))
            break;
        file.Dword(at + 4, signature);
        if (blockSize == kEnvironmentBlockSize && signature == kEnvironmentBlock)
            link.environmentPath = EnvironmentPath(file.Part(at, blockSize));
        else if (blockSize == kEnvironmentBlockSize && signature == kIconEnvironmentBlock)
            link.iconEnvironmentPath = EnvironmentPath(file.Part(at, blockSize));
        at += blockSize;
    }
    return true;
}

bool ReadShellLink(const std::wstring& path, ShellLink& link)
{
    link = ShellLink();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // Read without asking the size first: a scan reads every shortcut of a
    // root, and each call to the file system counts. A shortcut is a few
    // kilobytes, read at once; a larger file grows the buffer up to the
    // reader's limit.
    std::vector<unsigned char> bytes(16 * 1024);
    size_t got = 0;
    for (;;) {
        if (got == bytes.size()) {
            if (bytes.size() >= kMaxShellLinkSize)
                break;
            bytes.resize(bytes.size() * 4 < kMaxShellLinkSize ? bytes.size() * 4 : kMaxShellLinkSize);
        }
        const DWORD wanted = static_cast<DWORD>(bytes.size() - got);
        DWORD chunk = 0;
        if (!ReadFile(file, bytes.data() + got, wanted, &chunk, nullptr))
            break;
        got += chunk;
        // A file delivers less than asked only at its end.
        if (chunk < wanted)
            break;
    }
    CloseHandle(file);
    return ParseShellLink(bytes.data(), got, link);
}
