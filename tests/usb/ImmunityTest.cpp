// Immunity on real drives of the Wine prefix: removable, fixed, CD-ROM and
// network drives of the test's own, and the prefix's C:, which the drive loop
// visits too and every test leaves as it found it.
#include "framework/Text.h"
#include "quarantine/QuarantineTestSupport.h"
#include "res/resource.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "support/RegistryValues.h"
#include "support/TestDrive.h"
#include "usb/AutorunSwitch.h"
#include "usb/Immunity.h"
#include "usb/ImmunityPage.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;
const wchar_t kProtected[] = L"Ваш компьютер и USB устройства защищены от вирусов";
const wchar_t kNotProtected[] = L"Внимание! Ваш компьютер и USB устройства не защищены от вирусов!";
const char kImmunised[] = "hidden folder: ReadMe.txt morleth/";

std::wstring VirusWarning(const char* root)
{
    return L"В корневом каталоге может быть вирус: " + Widen(root) +
           L" \r\nПожалуйста, проверьте весь ПК Вашим Антивирусом!";
}

// A root's entry AUTORUN.INF: "none", "file", or the folder's attributes and
// its entries by name, a folder's with "/" (Wine keeps one of a folder name's
// trailing dots, Windows none).
std::string Entry(const std::string& root)
{
    const std::string path = root + "AUTORUN.INF";
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return attributes == INVALID_FILE_ATTRIBUTES ? "none" : "file";
    std::string text = (attributes & FILE_ATTRIBUTE_HIDDEN) ? "hidden folder:" : "folder:";
    if (attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY))
        text = "system or read-only " + text;
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName;
        const bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        names.insert(folder ? name.substr(0, name.find_last_not_of('.') + 1) + "/" : name);  // "." and ".." give "/"
    }
    FindClose(search);
    names.erase("/");
    for (const std::string& name : names)
        text += " " + name;
    return text;
}

// A write-protected medium: the host makes the drive's folder immutable (for
// root, whom permissions do not stop) and read-only, until destruction.
struct WriteProtection {
    const std::string folder, host = "'" + UnixPathOf(folder) + "'";

    // True once the folder is (or is no longer) write-protected.
    bool Set(bool on) const
    {
        RunUnix("/bin/sh", on ? "-c \"chmod a-w " + host + "; chattr +i " + host + "\""
                              : "-c \"chattr -i " + host + "; chmod u+w " + host + "\"");
        const std::string probe = folder + "\\probe";
        return WaitFor(
            [&] { return (CreateDirectoryA(probe.c_str(), nullptr) && RemoveDirectoryA(probe.c_str())) != on; }, 5000);
    }
    ~WriteProtection() { Set(false); }
};

// A USB flash drive E:, a second hard disk F:, the Explorer policy key every
// Windows has, and the immunity page.
class Immunity : public QuarantineTest {
protected:
    TestDrive usb{'E', DRIVE_REMOVABLE};
    TestDrive disk{'F', DRIVE_FIXED};
    PageHost host;
    ImmunityPage page;
    MessageRecorder messages;
    const bool systemDriveHadEntry = PathExists("C:\\AUTORUN.INF");

    void SetUp() override
    {
        QuarantineTest::SetUp();
        HKEY policy = nullptr;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kExplorerPolicyKey, &policy), ERROR_SUCCESS);
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

    void Press(int id) { ClickButton(page, id); }
    Texts Shown()
    {
        const Texts texts = messages.Texts();
        messages.Clear();
        return texts;
    }
};

}  // namespace

TEST_F(Immunity, RemovableAndFixedDrivesAreImmunisedAndFreedAgainKeepingTheUsersFiles)
{
    // An autorun file on a CD-ROM or a network drive would bring a warning.
    TestDrive cd('G', DRIVE_CDROM), net('H', DRIVE_REMOTE);
    MakeFile(cd.Folder() + "\\AUTORUN.INF", "[autorun]");
    MakeFile(net.Folder() + "\\AUTORUN.INF", "[autorun]");

    // Drives never immunised: only the policy changes.
    Press(IDC_CANCEL_IMMUNITY);
    EXPECT_EQ(Shown(), Texts{kNotProtected});
    EXPECT_EQ(Entry(usb / ""), "none");
    EXPECT_EQ(AutorunPolicy(), 0x91u);

    // A tray click while the closing message is up reaches the page again: it is ignored.
    messages.SetAnswer([&](const MessageBoxCall& call) {
        if (call.text == kProtected)
            page.RemoveAllImmunity();
        return IDOK;
    });
    Press(IDC_IMMUNISE);
    EXPECT_EQ(Shown(), Texts{kProtected});
    for (const std::string& root : {usb / "", disk / "", std::string("C:\\")}) {
        EXPECT_EQ(Entry(root), kImmunised) << root;
        EXPECT_EQ(ReadWholeFile(root + "AUTORUN.INF\\ReadMe.txt"),
                  Narrow(L"Директория, созданная Vardenix должна быть удалена отдельно"))
            << root;
    }
    EXPECT_EQ(AutorunPolicy(), 0x9Fu);
    EXPECT_EQ(AutorunPolicy(HKEY_LOCAL_MACHINE), 0xFFFFFFFFu) << "HKEY_CURRENT_USER only";

    // The user's files in the folder: an immunised drive is not filled again,
    // and the folder stays, visible, with what is the user's.
    MakeFile(usb / "AUTORUN.INF\\icon.ico", "icon");
    MakeFile(disk / "AUTORUN.INF\\ReadMe.txt", "my notes");
    Press(IDC_IMMUNISE);
    Press(IDC_CANCEL_IMMUNITY);
    EXPECT_EQ(Shown(), (Texts{kProtected, kNotProtected}));
    EXPECT_EQ(Entry(usb / ""), "folder: icon.ico");
    EXPECT_EQ(Entry(disk / ""), "folder: ReadMe.txt");
    EXPECT_EQ(ReadWholeFile(disk / "AUTORUN.INF\\ReadMe.txt"), "my notes");
    EXPECT_EQ(Entry("C:\\"), "none");
    EXPECT_EQ(Entry(cd.Folder() + "\\"), "file");
    EXPECT_EQ(AutorunPolicy(), 0x91u);
    EXPECT_TRUE(ItemNames().empty());
}

TEST_F(Immunity, BothOperationsPutAnAutorunFileIntoQuarantine)
{
    const std::string content = "[autorun]\r\nopen=x.exe";
    for (const bool immunise : {true, false}) {
        SCOPED_TRACE(immunise);
        MakeFile(usb / "AUTORUN.INF", content, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
        MakeFile(disk / "autorun.inf", "[autorun]");
        Press(immunise ? IDC_IMMUNISE : IDC_CANCEL_IMMUNITY);
        EXPECT_EQ(Shown(), (Texts{VirusWarning("E:\\"), VirusWarning("F:\\"), immunise ? kProtected : kNotProtected}));
        EXPECT_EQ(Entry(usb / ""), immunise ? kImmunised : "none");
        EXPECT_EQ(Entry(disk / ""), immunise ? kImmunised : "none");
        EXPECT_EQ(ItemNames().size(), 2u) << "both drives' files kept";
        EXPECT_EQ(ReadWholeFile(ItemPath("AUTORUN.INF.vw")), ItemBytes("E:\\AUTORUN.INF", content));
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
        EXPECT_EQ(ReadWholeFile(usb / "AUTORUN.INF"), "[autorun]");
        EXPECT_EQ(GetFileAttributesA((usb / "AUTORUN.INF").c_str()) & (attributes | FILE_ATTRIBUTE_READONLY),
                  attributes);
        EXPECT_EQ(Entry(disk / ""), kImmunised);
        EXPECT_TRUE(ItemNames().empty()) << "no copy of a file that stayed";
        RemoveDriveImmunity((disk / "").c_str());
    };
    // Another program has it open without sharing: the store cannot read it.
    HANDLE held = CreateFileA((usb / "AUTORUN.INF").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Press(IDC_IMMUNISE);
    CloseHandle(held);
    expectKept();

    // A write-protected medium: the store can copy the file but not delete it.
    WriteProtection locked{usb.Folder()};
    if (!locked.Set(true))
        GTEST_SKIP() << "the host cannot write-protect a folder here";
    Press(IDC_IMMUNISE);
    expectKept();
}
