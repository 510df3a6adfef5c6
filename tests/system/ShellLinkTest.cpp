#include "support/ScratchDir.h"
#include "support/ShortcutWriter.h"
#include "system/ShellLink.h"
#include "system/WormSigns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::wstring Lower(std::wstring text)
{
    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

ShellLink Parse(const std::string& bytes)
{
    ShellLink link;
    EXPECT_TRUE(ParseShellLink(bytes.data(), bytes.size(), link));
    return link;
}

// Bytes that end exactly where an inaccessible page begins: a read past the
// end of the buffer faults at once instead of reading a neighbour's memory.
class GuardedBuffer {
public:
    GuardedBuffer()
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        page_ = system.dwPageSize;
        size_ = (kMaxShellLinkSize / page_ + 2) * page_;
        base_ = static_cast<unsigned char*>(VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        VirtualProtect(base_ + size_ - page_, page_, PAGE_NOACCESS, &old);
    }
    ~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    const unsigned char* Place(const std::string& bytes)
    {
        unsigned char* start = base_ + size_ - page_ - bytes.size();
        std::memcpy(start, bytes.data(), bytes.size());
        return start;
    }

private:
    unsigned char* base_ = nullptr;
    size_t size_ = 0;
    size_t page_ = 0;
};

}  // namespace

// Each place a shortcut can name its target, as each Windows version writes it.
TEST(ShellLink, TheTargetIsReadFromWhereverTheShortcutNamesIt)
{
    struct Case {
        const char* what;
        ShortcutSpec layout;
        std::wstring idList, linkInfo, target;
    };
    const std::wstring cmd = L"C:\\Windows\\System32\\cmd.exe";
    const std::wstring payload = L"E:\\RECYCLER.BIN\\Программа установки\\helper process.exe";
    std::vector<Case> cases;
    for (WORD version : {0, 3, 7, 8, 9}) {
        Case c{"ID list only", {}, payload, L"", payload};
        c.layout.idListTarget = payload;
        c.layout.extensionVersion = version;
        cases.push_back(c);
    }
    {
        Case c{"link info only", {}, L"", cmd, cmd};
        c.layout.linkInfoTarget = cmd;
        cases.push_back(c);
    }
    {
        // The ID list comes first; the link info is only the shell's way to find a moved target.
        Case c{"both, disagreeing", {}, payload, cmd, payload};
        c.layout.idListTarget = payload;
        c.layout.linkInfoTarget = cmd;
        cases.push_back(c);
    }
    {
        Case c{"a folder", {}, L"E:\\Документы", L"", L"E:\\Документы"};
        c.layout.idListTarget = L"E:\\Документы";
        c.layout.targetAttributes = FILE_ATTRIBUTE_DIRECTORY;
        cases.push_back(c);
    }
    {
        Case c{"a drive root", {}, L"E:\\", L"", L"E:\\"};
        c.layout.idListTarget = L"E:\\";
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + ", extension version " + std::to_string(c.layout.extensionVersion));
        const ShellLink link = Parse(ShortcutBytes(c.layout));
        EXPECT_EQ(link.idListPath, c.idList);
        EXPECT_EQ(link.linkInfoPath, c.linkInfo);
        EXPECT_EQ(link.Target(), c.target);
    }
}

TEST(ShellLink, StringsAndTheEnvironmentBlockAreReadInBothCharacterSets)
{
    for (bool unicode : {true, false}) {
        SCOPED_TRACE(unicode ? "UTF-16" : "ANSI");
        ShortcutSpec layout;
        layout.unicode = unicode;
        layout.idListTarget = L"C:\\Windows\\System32\\cmd.exe";
        layout.environmentTarget = L"%windir%\\system32\\wscript.exe";
        layout.arguments = L"/c start \"\" .\\RECYCLER.BIN\\Файл.vbs & explorer \"E:\\ \"";
        layout.iconLocation = L"%SystemRoot%\\System32\\shell32.dll";
        layout.iconIndex = 7;
        layout.name = L"Съёмный диск";
        layout.workingDirectory = L"E:\\";
        layout.relativePath = L".\\RECYCLER.BIN\\Файл.vbs";
        const ShellLink link = Parse(ShortcutBytes(layout));
        EXPECT_EQ(link.arguments, layout.arguments);
        EXPECT_EQ(link.iconLocation, layout.iconLocation);
        EXPECT_EQ(link.iconIndex, 7);
        EXPECT_EQ(link.name, layout.name);
        EXPECT_EQ(link.workingDirectory, layout.workingDirectory);
        EXPECT_EQ(link.relativePath, layout.relativePath);
        EXPECT_EQ(link.environmentPath, layout.environmentTarget);
        // The environment path is what the shell runs; it comes first, expanded.
        const std::vector<std::wstring> targets = link.TargetPaths();
        ASSERT_EQ(targets.size(), 2u);
        EXPECT_EQ(Lower(targets[0]).find(L"%"), std::wstring::npos);
        EXPECT_NE(Lower(targets[0]).find(L"\\system32\\wscript.exe"), std::wstring::npos);
        EXPECT_EQ(targets[1], layout.idListTarget);
    }
}

// What the shell's own object writes reads back as what it was given.
TEST(ShellLink, AShortcutSavedByTheShellReadsBack)
{
    ScratchDir folder;
    const std::wstring path = std::wstring(folder.Path().begin(), folder.Path().end()) + L"\\decoy.lnk";
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring target = std::wstring(system) + L"\\cmd.exe";
    ASSERT_TRUE(SaveShellShortcut(path, target, L"/c start x.exe", L"shell32.dll", 8));
    ShellLink link;
    ASSERT_TRUE(ReadShellLink(path, link));
    EXPECT_EQ(Lower(link.Target()), Lower(target));
    EXPECT_EQ(link.arguments, L"/c start x.exe");
    EXPECT_EQ(link.iconIndex, 8);
}

TEST(ShellLink, AShortcutOfManyReadsIsReadWhole)
{
    ScratchDir folder;
    const std::wstring path = std::wstring(folder.Path().begin(), folder.Path().end()) + L"\\long.lnk";
    ShortcutSpec layout;
    layout.idListTarget = L"C:\\Windows\\System32\\cmd.exe";
    layout.arguments = L"/c " + std::wstring(30000, L'x') + L" end";
    WriteShortcut(path, layout);
    ShellLink link;
    ASSERT_TRUE(ReadShellLink(path, link));
    EXPECT_EQ(link.arguments, layout.arguments);
}

TEST(ShellLink, WhatIsNotAShortcutOrNamesNoFileIsRefusedOrLeftEmpty)
{
    ShellLink link;
    EXPECT_FALSE(ParseShellLink("", 0, link));
    const std::string text = "[InternetShortcut]\r\nURL=http://example.com/\r\n";
    EXPECT_FALSE(ParseShellLink(text.data(), text.size(), link));
    ShortcutSpec layout;
    layout.idListTarget = L"C:\\Windows\\notepad.exe";
    std::string bytes = ShortcutBytes(layout);
    EXPECT_FALSE(ParseShellLink(bytes.data(), 0x4C - 1, link)) << "the header cut short";
    // A name that would add a step or a stream to the path leaves the ID list without a path.
    layout.extensionVersion = 0;
    bytes = ShortcutBytes(layout);
    const size_t name = bytes.find("notepad.exe");
    ASSERT_NE(name, std::string::npos);
    for (const char* evil : {"a:b", "..", "a\\b", "a/b"}) {
        std::string changed = bytes;
        changed.replace(name, std::strlen(evil) + 1, std::string(evil) + '\0');
        ASSERT_TRUE(ParseShellLink(changed.data(), changed.size(), link)) << evil;
        EXPECT_EQ(link.idListPath, L"") << evil;
    }
}

// Damaged and hostile shortcuts are data: every one of them is parsed without
// a crash, without a read past its last byte and without a hang.
TEST(ShellLink, TenThousandDamagedShortcutsAreReadSafely)
{
    std::vector<std::string> seeds;
    {
        ShortcutSpec layout;
        layout.idListTarget = L"E:\\RECYCLER.BIN\\Программа\\helper.exe";
        layout.linkInfoTarget = L"C:\\Windows\\System32\\cmd.exe";
        layout.environmentTarget = L"%windir%\\system32\\cmd.exe";
        layout.arguments = L"/c start .\\RECYCLER.BIN\\helper.exe";
        layout.iconLocation = L"shell32.dll";
        layout.name = L"USB";
        for (WORD version : {0, 3, 7, 9}) {
            layout.extensionVersion = version;
            seeds.push_back(ShortcutBytes(layout));
        }
        layout.unicode = false;
        seeds.push_back(ShortcutBytes(layout));
    }
    std::mt19937 random(20261208);
    GuardedBuffer guarded;
    // The scans judge what they parse: the fields of a damaged shortcut
    // become paths and arguments to read, on a drive that is not there.
    WormSigns signs(L'Q');
    int parsed = 0;
    for (int round = 0; round < 12000; ++round) {
        std::string bytes = seeds[static_cast<size_t>(round) % seeds.size()];
        const int damage = static_cast<int>(random() % 4);
        const int count = 1 + static_cast<int>(random() % 8);
        for (int k = 0; k < count; ++k) {
            const size_t at = random() % bytes.size();
            switch (damage) {
            case 0:  // random bytes
                bytes[at] = static_cast<char>(random());
                break;
            case 1:  // sizes and counts at their extremes
                bytes[at] = static_cast<char>((random() & 1) ? 0xFF : 0x00);
                if (at + 1 < bytes.size())
                    bytes[at + 1] = static_cast<char>((random() & 1) ? 0xFF : 0x7F);
                break;
            case 2:  // cut short
                bytes.resize(at);
                break;
            default:  // a piece repeated
                bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 64));
                break;
            }
            if (bytes.empty())
                break;
        }
        ShellLink link;
        const unsigned char* data = guarded.Place(bytes);
        if (ParseShellLink(data, bytes.size(), link)) {
            ++parsed;
            signs.JudgeShortcut(L"Q:\\damaged.lnk", link);
        }
    }
    // Most damage lies beyond the header: the rest of those files is still read.
    EXPECT_GT(parsed, 1000);

    // And some of them as files, through the reader a scan uses.
    ScratchDir folder;
    const std::wstring path = std::wstring(folder.Path().begin(), folder.Path().end()) + L"\\damaged.lnk";
    for (int round = 0; round < 100; ++round) {
        std::string bytes = seeds[static_cast<size_t>(round) % seeds.size()];
        for (int k = 0; k < 4; ++k)
            bytes[random() % bytes.size()] = static_cast<char>(random());
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ShellLink link;
        ReadShellLink(path, link);
    }
}
