#include "support/ShortcutWriter.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <cwctype>

namespace {

const unsigned char kShellLinkClass[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const unsigned char kMyComputerClass[16] = {0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10,
                                            0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

void Word(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void Dword(std::string& out, unsigned long value)
{
    Word(out, value & 0xFFFF);
    Word(out, (value >> 16) & 0xFFFF);
}

void PutWord(std::string& out, size_t at, unsigned value)
{
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void PutDword(std::string& out, size_t at, unsigned long value)
{
    PutWord(out, at, value & 0xFFFF);
    PutWord(out, at + 2, (value >> 16) & 0xFFFF);
}

std::string Ansi(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

void Wide(std::string& out, const std::wstring& text)
{
    for (wchar_t c : text)
        Word(out, static_cast<unsigned>(c));
}

// A short name of the kind Windows keeps beside a long one, so that a reader
// that takes it for the long name reads the wrong file.
std::string ShortName(const std::wstring& name)
{
    const size_t dot = name.rfind(L'.');
    std::wstring stem = name.substr(0, dot), extension = dot == std::wstring::npos ? L"" : name.substr(dot);
    if (stem.size() <= 8 && extension.size() <= 4 && name.find(L' ') == std::wstring::npos)
        return Ansi(name);
    std::wstring shortName;
    for (wchar_t c : stem) {
        if (shortName.size() < 6 && std::iswalnum(c))
            shortName += static_cast<wchar_t>(std::towupper(c));
    }
    shortName += L"~1";
    for (size_t k = 0; k < extension.size() && k < 4; ++k)
        shortName += static_cast<wchar_t>(std::towupper(extension[k]));
    return Ansi(shortName);
}

std::string FileItem(const std::wstring& name, bool folder, WORD version)
{
    std::string item;
    Word(item, 0);  // size, set below
    item += static_cast<char>(folder ? 0x31 : 0x32);
    item += '\0';
    Dword(item, 0);         // file size
    Dword(item, 0x5A8B4C21);  // DOS date and time
    Word(item, folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE);
    item += version == 0 ? Ansi(name) : ShortName(name);
    item += '\0';
    if (item.size() % 2)
        item += '\0';
    if (version != 0) {
        const size_t block = item.size();
        Word(item, 0);  // block size, set below
        Word(item, version);
        Dword(item, 0xBEEF0004);
        Dword(item, 0x5A8B4C21);  // created
        Dword(item, 0x5A8B4C21);  // accessed
        Word(item, version >= 9 ? 0x2E : version >= 8 ? 0x2A : version >= 7 ? 0x26 : 0x14);
        if (version >= 7) {
            Word(item, 0);
            item.append(16, '\x11');  // file reference and an unknown field
        }
        Word(item, 0);  // no localized name
        if (version >= 9)
            Dword(item, 0);
        if (version >= 8)
            Dword(item, 0);
        Wide(item, name);
        Word(item, 0);
        Word(item, static_cast<unsigned>(block));
        PutWord(item, block, static_cast<unsigned>(item.size() - block));
    }
    PutWord(item, 0, static_cast<unsigned>(item.size()));
    return item;
}

std::string IdList(const std::wstring& target, WORD version, bool targetIsFolder)
{
    std::string list;
    std::string root;
    Word(root, 20);
    root += '\x1F';
    root += '\x50';
    root.append(reinterpret_cast<const char*>(kMyComputerClass), 16);
    list += root;

    std::string drive;
    Word(drive, 25);
    drive += '\x2F';
    drive += Ansi(target.substr(0, 3));
    drive.resize(25, '\0');
    list += drive;

    size_t start = 3;
    while (start < target.size()) {
        size_t end = target.find(L'\\', start);
        const bool last = end == std::wstring::npos;
        if (last)
            end = target.size();
        list += FileItem(target.substr(start, end - start), !last || targetIsFolder, version);
        start = end + 1;
    }
    Word(list, 0);
    return list;
}

std::string LinkInfo(const std::wstring& target)
{
    const std::string ansi = Ansi(target);
    std::string volume;
    Dword(volume, 0x11);
    Dword(volume, DRIVE_REMOVABLE);
    Dword(volume, 0x1234ABCD);
    Dword(volume, 0x10);
    volume += '\0';

    const size_t header = 0x24;
    const size_t volumeAt = header;
    const size_t baseAt = volumeAt + volume.size();
    const size_t suffixAt = baseAt + ansi.size() + 1;
    const size_t wideBaseAt = suffixAt + 1 + ((suffixAt + 1) % 2);
    const size_t wideSuffixAt = wideBaseAt + (target.size() + 1) * 2;
    std::string info;
    Dword(info, 0);  // size, set below
    Dword(info, header);
    Dword(info, 1);  // a volume and a local base path
    Dword(info, volumeAt);
    Dword(info, baseAt);
    Dword(info, 0);
    Dword(info, suffixAt);
    Dword(info, wideBaseAt);
    Dword(info, wideSuffixAt);
    info += volume;
    info += ansi;
    info += '\0';
    info += '\0';  // an empty common suffix
    info.resize(wideBaseAt, '\0');
    Wide(info, target);
    Word(info, 0);
    Word(info, 0);  // an empty common suffix in UTF-16
    PutDword(info, 0, info.size());
    return info;
}

std::string EnvironmentBlock(const std::wstring& path)
{
    std::string block;
    Dword(block, 0x314);
    Dword(block, 0xA0000001);
    std::string ansi = Ansi(path);
    ansi.resize(260, '\0');
    block += ansi;
    std::string wide;
    Wide(wide, path);
    wide.resize(520, '\0');
    block += wide;
    return block;
}

}  // namespace

std::string ShortcutBytes(const ShortcutSpec& layout)
{
    const std::pair<DWORD, const std::wstring*> strings[] = {
        {0x4, &layout.name},      {0x8, &layout.relativePath}, {0x10, &layout.workingDirectory},
        {0x20, &layout.arguments}, {0x40, &layout.iconLocation},
    };
    DWORD flags = layout.unicode ? 0x80 : 0;
    if (!layout.idListTarget.empty())
        flags |= 0x1;
    if (!layout.linkInfoTarget.empty())
        flags |= 0x2;
    for (const auto& entry : strings) {
        if (!entry.second->empty())
            flags |= entry.first;
    }
    if (!layout.environmentTarget.empty())
        flags |= 0x200;

    std::string out;
    Dword(out, 0x4C);
    out.append(reinterpret_cast<const char*>(kShellLinkClass), 16);
    Dword(out, flags);
    Dword(out, layout.targetAttributes);
    out.append(24, '\0');  // creation, access and write times
    Dword(out, 0);         // target size
    Dword(out, static_cast<unsigned long>(layout.iconIndex));
    Dword(out, SW_SHOWNORMAL);
    out.append(12, '\0');  // hot key and reserved fields

    if (flags & 0x1) {
        const std::string list =
            IdList(layout.idListTarget, layout.extensionVersion, (layout.targetAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
        Word(out, static_cast<unsigned>(list.size()));
        out += list;
    }
    if (flags & 0x2)
        out += LinkInfo(layout.linkInfoTarget);
    for (const auto& entry : strings) {
        if (entry.second->empty())
            continue;
        if (layout.unicode) {
            Word(out, static_cast<unsigned>(entry.second->size()));
            Wide(out, *entry.second);
        } else {
            const std::string ansi = Ansi(*entry.second);
            Word(out, static_cast<unsigned>(ansi.size()));
            out += ansi;
        }
    }
    if (flags & 0x200)
        out += EnvironmentBlock(layout.environmentTarget);
    Dword(out, 0);  // the terminal block
    return out;
}

void WriteShortcut(const std::wstring& path, const ShortcutSpec& layout)
{
    const std::string bytes = ShortcutBytes(layout);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a shortcut";
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << "cannot write a shortcut";
}

bool SaveShellShortcut(const std::wstring& path, const std::wstring& target, const std::wstring& arguments,
                       const std::wstring& iconLocation, int iconIndex)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool saved = false;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        link->SetPath(target.c_str());
        if (!arguments.empty())
            link->SetArguments(arguments.c_str());
        if (!iconLocation.empty())
            link->SetIconLocation(iconLocation.c_str(), iconIndex);
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            saved = SUCCEEDED(file->Save(path.c_str(), TRUE));
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return saved;
}
