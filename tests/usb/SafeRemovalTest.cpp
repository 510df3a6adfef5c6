// Safe removal on real processes and drives, in a Wine session of its own
// without a virtual desktop (see CMakeLists.txt): every run past the first
// question ends Wine's explorer.exe. The volume requests are faked.
#include "support/FakeVolumeControl.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "tools/TestPrograms.h"
#include "res/resource.h"
#include "usb/DriveDiscovery.h"
#include "usb/ImmunityPage.h"
#include "usb/SafeRemoval.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const wchar_t kLogOffQuestion[] = L"Смените Пользователя для завершения извлечения USB устройства.";
using Calls = std::vector<std::string>;

std::string RemovalDialog()
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    return std::string("dialog ") + windows + "\\system32\\RUNDLL32.EXE shell32.dll,Control_RunDLL hotplug.dll";
}

// A USB flash drive E: and a folder on C:. Questions are answered OK, the
// log-off question with `logOffAnswer`, noted among the fake's calls.
class SafeRemoval : public ::testing::Test {
protected:
    FakeVolumeControl fake;
    MessageRecorder messages;
    int logOffAnswer = IDCANCEL;
    TestDrive usb{'E', DRIVE_REMOVABLE};
    ScratchDir elsewhere;

    void SetUp() override
    {
        messages.SetAnswer([this](const MessageBoxCall& call) {
            if (call.text == kLogOffQuestion)
                fake.calls.push_back("log-off question");
            return call.text == kLogOffQuestion ? logOffAnswer : IDOK;
        });
    }
    // The idle program copied to `path` and started from there.
    static void StartCopy(ProgramUnderTest& process, const std::string& path)
    {
        ASSERT_TRUE(CopyFileA(WindowsPathOf(IDLE_PROGRAM).c_str(), path.c_str(), FALSE)) << path;
        StartIdleProcess(process, path);
    }
};

// Runs as safe_removal_win9x_tests.exe, which the session runs as Windows 98.
class SafeRemovalWin9x : public SafeRemoval {};

}  // namespace

TEST_F(SafeRemoval, AfterTheQuestionTheUsbProgramsAndExplorerEndAndTheDriveIsEjected)
{
    MakeFile(usb / "notes.txt");
    ProgramUnderTest fromUsb, typedInLowerCase, holder, onSystemDrive, explorer;
    StartCopy(fromUsb, usb / "tool.exe");
    StartIdleProcess(typedInLowerCase, "e:\\tool.exe");
    // From the build tree on Z:, holding a file of the drive open.
    StartIdleProcess(holder, WindowsPathOf(IDLE_PROGRAM), usb / "notes.txt");
    StartCopy(onSystemDrive, elsewhere / "tool.exe");
    StartCopy(explorer, elsewhere / "explorer.exe");
    // Windows started from a USB disk: the system drive C: is on the USB bus too.
    fake.busTypes = {{'C', 7}};
    PageHost host;
    ImmunityPage page;
    ASSERT_TRUE(page.CreateModeless(host.Handle()));
    const auto press = [&] { SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_FIRST_BUTTON, BN_CLICKED), 0); };

    messages.SetAnswer(IDCANCEL);
    press();
    EXPECT_EQ(messages.Texts(), std::vector<std::wstring>{L"Вы закрыли Все программы, использующие USB диск?"});
    EXPECT_EQ(messages.Calls().back().type, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_TRUE(fromUsb.IsRunning() && typedInLowerCase.IsRunning() && explorer.IsRunning() && fake.calls.empty());

    messages.SetAnswer(IDOK);
    press();
    EXPECT_EQ(messages.Count(), 2u) << "nothing shown after the question";
    EXPECT_EQ(fake.calls, (Calls{"lock", "dismount", "allow removal", "eject", RemovalDialog()}));
    EXPECT_FALSE(fromUsb.IsRunning() || typedInLowerCase.IsRunning() || explorer.IsRunning());
    EXPECT_TRUE(holder.IsRunning());
    EXPECT_TRUE(onSystemDrive.IsRunning()) << "the drive Windows runs from is left alone";
}

// Two drives; the first refuses one request once. Result 0 asks to log off,
// results 1 and 2 open the removal dialog, and the second drive is ejected.
TEST_F(SafeRemoval, EachDriveGetsTheLogOffQuestionOrTheDialogByItsEjectResult)
{
    TestDrive second('F', DRIVE_REMOVABLE);
    const Calls ejected = {"lock", "dismount", "allow removal", "eject", RemovalDialog()};
    const std::tuple<std::string, int, Calls> cases[] = {
        {"lock", IDCANCEL, {"lock", "log-off question"}},
        {"lock", IDOK, {"lock", "log-off question", "log off"}},
        {"dismount", IDCANCEL, {"lock", "dismount", "log-off question"}},
        {"allow removal", IDCANCEL, {"lock", "dismount", "allow removal", RemovalDialog()}},
        {"eject", IDCANCEL, ejected},
    };
    for (const auto& [refused, answer, first] : cases) {
        fake.calls.clear();
        bool refusedOnce = false;
        fake.answer = [&, refused = refused](const std::string& call) {
            return call != refused || std::exchange(refusedOnce, true);
        };
        logOffAnswer = answer;
        SafeRemoveUsbDrives(nullptr);
        Calls expected = first;
        expected.insert(expected.end(), ejected.begin(), ejected.end());
        EXPECT_EQ(fake.calls, expected) << refused << " " << answer;
    }
}

TEST_F(SafeRemoval, ADriveOfAnotherTypeIsNotOpenedAndSaysSoOnStandardOutput)
{
    TestDrive cd('G', DRIVE_CDROM), net('H', DRIVE_REMOTE);
    testing::internal::CaptureStdout();
    const std::vector<int> results = {EjectDriveByLetter('G'), EjectDriveByLetter('H')};
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Cannot eject.  Drive type is incorrect.\n");
    EXPECT_EQ(results, (std::vector<int>{kEjected, kEjectFailed}));
    EXPECT_EQ(fake.calls, (Calls{"lock", "dismount", "allow removal", "eject"})) << "G: alone";
}

TEST_F(SafeRemoval, RunFromTheUsbDriveTheProgramEndsTheOthersThereAndCarriesOn)
{
    const std::string program = usb / "safe-removal.exe", report = elsewhere / "report.txt";
    ASSERT_TRUE(CopyFileA(WindowsPathOf(SAFE_REMOVAL_PROGRAM).c_str(), program.c_str(), FALSE));
    ProgramUnderTest other, running;
    StartCopy(other, usb / "tool.exe");
    ASSERT_TRUE(running.Start(program, report));
    ASSERT_TRUE(running.WaitForExit(60000));
    EXPECT_FALSE(other.IsRunning());
    EXPECT_EQ(ReadWholeFile(report), "lock\ndismount\nallow removal\neject\n" + RemovalDialog() + "\n");
}

TEST_F(SafeRemovalWin9x, ProgramsEndButNoDriveIsEjected)
{
    ASSERT_EQ(GetOsFamily(), 2) << "the program must run as Windows 98";
    RecordFixedDrives();
    ProgramUnderTest fromUsb, explorer;
    StartCopy(fromUsb, usb / "tool.exe");
    StartCopy(explorer, elsewhere / "explorer.exe");
    SafeRemoveUsbDrives(nullptr);
    EXPECT_FALSE(fromUsb.IsRunning() || explorer.IsRunning());
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(messages.Count(), 1u);
}

TEST(SafeRemovalExplorer, OnlyAPathLongerThanTheNameThatEndsInItIsExplorer)
{
    EXPECT_FALSE(IsExplorerPath("EXPLORER.EXE") || IsExplorerPath("C:\\explorer.exe.old"));
    EXPECT_TRUE(IsExplorerPath("xexplorer.exe") && IsExplorerPath("C:\\WINDOWS\\Explorer.EXE"));
}
