// Immunity on real drives of the Wine prefix: removable, fixed, CD-ROM and
// network drives of the test's own, and the prefix's C:, which the drive loop
// visits too and every test leaves as it found it.
#include "framework/Text.h"
#include "quarantine/QuarantineTestSupport.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/TestDrive.h"
#include "usb/AutorunSwitch.h"
#include "usb/Immunity.h"
#include "usb/ImmunityPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const wchar_t kProtected[] = L"Ваш компьютер и USB устройства защищены от вирусов";
const wchar_t kNotProtected[] = L"Внимание! Ваш компьютер и USB устройства не защищены от вирусов!";
const wchar_t kRegistryFailure[] = L"Tollmark failed in accessing the registry.\r\n"
                                   L"Please check if the current user has right to access the registry.";
const char kImmunised[] = "hidden folder: ReadMe.txt morleth/";

std::wstring VirusWarning(const char* root)
{
    return L"В корневом каталоге может быть вирус: " + Widen(root) +
           L" \r\nПожалуйста, проверьте весь ПК Вашим Антивирусом!";
}

// The ReadMe's bytes: the text in the ANSI code page, no terminator, no line end.
std::string ReadMeBytes()
{
    return Narrow(L"Директория, созданная Vardenix должна быть удалена отдельно");
}

// What a drive root holds under the name AUTORUN.INF, as the file system has
// it: "none", "file", or the folder's attributes and its entries by name
// (a folder's with "/"). Windows drops a folder name's trailing dots, Wine
// keeps one; both read the same here.
std::string Entry(const std::string& root)
{
    const std::string path = root + "AUTORUN.INF";
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "none";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return "file";
    // Only hidden: system or read-only would show up here.
    std::string text = (attributes & FILE_ATTRIBUTE_HIDDEN) ? "hidden folder:" : "folder:";
    if (attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY))
        text = "system or read-only " + text;
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                name = name.substr(0, name.find_last_not_of('.') + 1) + "/";
            names.push_back(name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        text += " " + name;
    return text;
}

std::string Root(const TestDrive& drive)
{
    return drive.Root() + "\\";
}

DWORD Policy(HKEY hive = HKEY_CURRENT_USER)
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueA(hive, kExplorerPolicyKey, kNoDriveTypeAutoRunValue, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return 0xFFFFFFFF;
    return value;
}

// A write-protected medium: the host makes the drive's folder immutable (for
// root, whom permissions do not stop) and read-only. Undone on destruction.
class WriteProtection {
public:
    explicit WriteProtection(const std::string& folder) : folder_(folder), unix_(UnixPathOf(folder))
    {
        RunUnix("/bin/sh", "-c \"chmod a-w '" + unix_ + "'; chattr +i '" + unix_ + "'\"");
        active_ = WaitFor([&] { return !Writable(); }, 5000);
    }
    ~WriteProtection()
    {
        RunUnix("/bin/sh", "-c \"chattr -i '" + unix_ + "'; chmod u+w '" + unix_ + "'\"");
        WaitFor([&] { return Writable(); }, 5000);
    }
    bool Active() const { return active_; }

private:
    bool Writable() const
    {
        const std::string probe = folder_ + "\\probe";
        return CreateDirectoryA(probe.c_str(), nullptr) && RemoveDirectoryA(probe.c_str());
    }

    std::string folder_, unix_;
    bool active_ = false;
};

// A machine with a USB flash drive E:, a second hard disk F:, a CD-ROM G:
// and a network drive H:, the Explorer policy key every Windows has, and the
// immunity page in a window of the test's own.
class Immunity : public QuarantineTest {
protected:
    TestDrive usb{'E', DRIVE_REMOVABLE};
    TestDrive disk{'F', DRIVE_FIXED};
    TestDrive cd{'G', DRIVE_CDROM};
    TestDrive net{'H', DRIVE_REMOTE};
    PageHost host;
    ImmunityPage page;
    MessageRecorder messages;
    bool systemDriveHadEntry = false;

    void SetUp() override
    {
        QuarantineTest::SetUp();
        systemDriveHadEntry = PathExists("C:\\AUTORUN.INF");
        HKEY policy = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kExplorerPolicyKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &policy, nullptr),
                  ERROR_SUCCESS);
        RegDeleteValueA(policy, kNoDriveTypeAutoRunValue);
        RegCloseKey(policy);
        ASSERT_TRUE(page.CreateModeless(host.Handle()));
    }
    void TearDown() override
    {
        if (!systemDriveHadEntry)
            RemoveTree("C:\\AUTORUN.INF");
        RegDeleteKeyA(HKEY_CURRENT_USER, kExplorerPolicyKey);
        QuarantineTest::TearDown();
    }

    void Press(int id) { SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    std::vector<std::wstring> Shown()
    {
        std::vector<std::wstring> texts = messages.Texts();
        messages.Clear();
        return texts;
    }
};

using Texts = std::vector<std::wstring>;

}  // namespace

TEST_F(Immunity, RemovableAndFixedDrivesAreImmunisedOnceAndFreedAgain)
{
    // Autorun files on the CD-ROM and the network drive are never touched.
    MakeFile(cd.Folder() + "\\AUTORUN.INF", "[autorun]");
    MakeFile(net.Folder() + "\\AUTORUN.INF", "[autorun]");
    MakeFile(usb / "photo.jpg", "jpeg");

    // Drives never immunised: only the policy changes.
    Press(IDC_CANCEL_IMMUNITY);
    EXPECT_EQ(Shown(), Texts{kNotProtected});
    EXPECT_EQ(Entry(Root(usb)), "none");
    EXPECT_EQ(Policy(), 0x91u);

    Press(IDC_IMMUNISE);
    EXPECT_EQ(Shown(), Texts{kProtected});
    for (const std::string& root : {Root(usb), Root(disk), std::string("C:\\")}) {
        EXPECT_EQ(Entry(root), kImmunised) << root;
        EXPECT_EQ(ReadWholeFile(root + "AUTORUN.INF\\ReadMe.txt"), ReadMeBytes()) << root;
    }
    EXPECT_EQ(Entry(cd.Folder() + "\\"), "file");
    EXPECT_EQ(Entry(net.Folder() + "\\"), "file");
    EXPECT_EQ(Policy(), 0x9Fu);
    EXPECT_EQ(Policy(HKEY_LOCAL_MACHINE), 0xFFFFFFFFu) << "HKEY_CURRENT_USER only";

    // A present folder stops the drive's immunising before anything is written.
    ASSERT_TRUE(DeleteFileA((disk / "AUTORUN.INF\\ReadMe.txt").c_str()));
    page.ImmuniseAllDrives();
    EXPECT_EQ(Shown(), Texts{kProtected});
    EXPECT_EQ(Entry(Root(usb)), kImmunised);
    EXPECT_EQ(Entry(Root(disk)), "hidden folder: morleth/");

    Press(IDC_CANCEL_IMMUNITY);
    EXPECT_EQ(Shown(), Texts{kNotProtected});
    for (const std::string& root : {Root(usb), Root(disk), std::string("C:\\")})
        EXPECT_EQ(Entry(root), "none") << root;
    EXPECT_EQ(Entry(cd.Folder() + "\\"), "file");
    EXPECT_EQ(Entry(net.Folder() + "\\"), "file");
    EXPECT_EQ(Policy(), 0x91u);
    EXPECT_EQ(ReadWholeFile(usb / "photo.jpg"), "jpeg");
    EXPECT_TRUE(ItemNames().empty());
}

TEST_F(Immunity, AnAutorunFileIsQuarantinedByteForByteByBothOperations)
{
    std::string content;
    for (int b = 0; b < 256; ++b)
        content += static_cast<char>(b);
    const struct {
        int command;
        const char* after;
        const wchar_t* closing;
    } cases[] = {
        {IDC_IMMUNISE, kImmunised, kProtected},
        {IDC_CANCEL_IMMUNITY, "none", kNotProtected},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        MakeFile(usb / "AUTORUN.INF", content, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
        MakeFile(disk / "autorun.inf", "[autorun]\r\nicon=disk.ico\r\n");
        Press(c.command);
        // One warning per drive where a file was found, then the closing message.
        EXPECT_EQ(Shown(), (Texts{VirusWarning("E:\\"), VirusWarning("F:\\"), c.closing}));
        EXPECT_EQ(Entry(Root(usb)), c.after);
        EXPECT_EQ(Entry(Root(disk)), c.after);
        std::vector<std::string> items = ItemNames();
        std::sort(items.begin(), items.end());
        ASSERT_EQ(items, (std::vector<std::string>{"AUTORUN.INF (2).vw", "AUTORUN.INF.vw"}));
        EXPECT_EQ(ReadWholeFile(ItemPath("AUTORUN.INF.vw")), ItemBytes("E:\\AUTORUN.INF", content));
        EXPECT_EQ(ReadWholeFile(ItemPath("AUTORUN.INF (2).vw")),
                  ItemBytes("F:\\AUTORUN.INF", "[autorun]\r\nicon=disk.ico\r\n"));
        page.RemoveAllImmunity();
        Shown();
        RemoveTree(QuarantineFolderPath());
    }
}

TEST_F(Immunity, AFileTheStoreRefusesStaysAsItWasAndTheLoopGoesOn)
{
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    MakeFile(usb / "AUTORUN.INF", "[autorun]", attributes);
    const auto expectKept = [&] {
        EXPECT_EQ(Shown(), (Texts{VirusWarning("E:\\"), kProtected}));
        EXPECT_EQ(Entry(Root(usb)), "file") << "not immunised";
        EXPECT_EQ(GetFileAttributesA((usb / "AUTORUN.INF").c_str()) & (attributes | FILE_ATTRIBUTE_READONLY),
                  attributes);
        EXPECT_EQ(ReadWholeFile(usb / "AUTORUN.INF"), "[autorun]");
        EXPECT_EQ(Entry(Root(disk)), kImmunised);
        EXPECT_TRUE(ItemNames().empty()) << "no copy of a file that stayed";
        RemoveDriveImmunity(Root(disk).c_str());
    };
    // Another program has it open without sharing: the store cannot read it.
    HANDLE held = CreateFileA((usb / "AUTORUN.INF").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Press(IDC_IMMUNISE);
    CloseHandle(held);
    expectKept();

    // A write-protected medium: the file cannot go, the folder cannot come.
    WriteProtection locked(usb.Folder());
    if (!locked.Active())
        GTEST_SKIP() << "the host cannot write-protect a folder here";
    Press(IDC_IMMUNISE);
    expectKept();
}

TEST_F(Immunity, WithoutThePolicyKeyTheFailureIsShownAndNothingIsCreated)
{
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, kExplorerPolicyKey), ERROR_SUCCESS);
    const struct {
        int command;
        const wchar_t* closing;
    } cases[] = {{IDC_IMMUNISE, kProtected}, {IDC_CANCEL_IMMUNITY, kNotProtected}};
    for (const auto& c : cases) {
        Press(c.command);
        EXPECT_EQ(Shown(), (Texts{kRegistryFailure, c.closing}));
        HKEY key = nullptr;
        EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, kExplorerPolicyKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    }
}

TEST_F(Immunity, CancelLeavesTheUsersFilesAndTheirFolderVisible)
{
    page.ImmuniseAllDrives();
    MakeFile(usb / "AUTORUN.INF\\icon.ico", "icon");
    // A folder of the user's own, with a ReadMe.txt of the user's.
    RemoveDriveImmunity(Root(disk).c_str());
    MakeFolder(disk / "AUTORUN.INF");
    MakeFile(disk / "AUTORUN.INF\\ReadMe.txt", "my notes");
    Shown();

    page.RemoveAllImmunity();
    EXPECT_EQ(Shown(), Texts{kNotProtected});
    EXPECT_EQ(Entry(Root(usb)), "folder: icon.ico");
    EXPECT_EQ(Entry(Root(disk)), "folder: ReadMe.txt");
    EXPECT_EQ(ReadWholeFile(disk / "AUTORUN.INF\\ReadMe.txt"), "my notes");
}

TEST_F(Immunity, ARequestWhileAnOperationShowsItsMessageIsIgnored)
{
    // A tray click while the closing message is up reaches the page again.
    messages.SetAnswer([&](const MessageBoxCall& call) {
        if (call.text == kProtected)
            page.RemoveAllImmunity();
        return IDOK;
    });
    page.ImmuniseAllDrives();
    EXPECT_EQ(Shown(), Texts{kProtected});
    EXPECT_EQ(Entry(Root(usb)), kImmunised);
    EXPECT_EQ(Policy(), 0x9Fu);
}
