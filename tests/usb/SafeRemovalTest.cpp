// Safe removal on real processes and drives, in a Wine session of its own
// without a virtual desktop (see CMakeLists.txt): a run past the first
// question may end an explorer.exe. The volume requests are faked.
#include "support/FakeVolumeControl.h"
#include "support/MessageRecorder.h"
#include "support/PageHost.h"
#include "tools/TestPrograms.h"
#include "res/resource.h"
#include "system/ProcessFiles.h"
#include "usb/DriveDiscovery.h"
#include "usb/ImmunityPage.h"
#include "usb/SafeRemoval.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

const wchar_t kQuestion[] = L"Вы закрыли Все программы, использующие USB диск?";
const wchar_t kToEnd[] =
    L"USB диск используют эти программы. OK завершит их, несохранённые данные в них будут потеряны:";
const wchar_t kKept[] = L"Эти программы тоже используют USB диск, но завершить их нельзя:";
const wchar_t kLogOffQuestion[] = L"Смените Пользователя для завершения извлечения USB устройства.";
const wchar_t kResult[] = L"Безопасное извлечение USB:";
using Calls = std::vector<std::string>;

std::string RemovalDialog()
{
    return "dialog " + WindowsFolder() + "\\system32\\RUNDLL32.EXE shell32.dll,Control_RunDLL hotplug.dll";
}

// A program's line in safe removal's messages: its name and its path as the
// system gives them.
std::wstring LineOf(const ProgramUnderTest& process)
{
    std::wstring path;
    EXPECT_TRUE(GetProcessExePath(process.ProcessId(), path));
    return path.substr(path.rfind(L'\\') + 1) + L" (" + path + L")";
}

bool Contains(const std::wstring& text, const std::wstring& part)
{
    return text.find(part) != std::wstring::npos;
}

// The processes now running `path`, each taken on so that it ends with the test.
std::vector<DWORD> ProcessesRunning(const std::string& path, std::deque<ProgramUnderTest>& taken)
{
    std::vector<DWORD> found;
    for (const PROCESSENTRY32& entry : ListProcesses()) {
        std::wstring running;
        if (GetProcessExePath(entry.th32ProcessID, running) &&
            CompareStringOrdinal(running.c_str(), -1, Widen(path).c_str(), -1, TRUE) == CSTR_EQUAL) {
            found.push_back(entry.th32ProcessID);
            taken.emplace_back().Attach(entry.th32ProcessID);
        }
    }
    return found;
}

// A USB flash drive E: with a file, and a folder on C:. Questions are answered
// with `answer`, the log-off question with `logOffAnswer`, noted among the
// fake's calls.
class SafeRemoval : public ::testing::Test {
protected:
    FakeVolumeControl fake;
    MessageRecorder messages;
    int answer = IDOK;
    int logOffAnswer = IDCANCEL;
    TestDrive usb{'E', DRIVE_REMOVABLE};
    ScratchDir elsewhere;

    void SetUp() override
    {
        MakeFile(usb / "notes.txt");
        messages.SetAnswer([this](const MessageBoxCall& call) {
            if (call.text == kLogOffQuestion)
                fake.calls.push_back("log-off question");
            return call.text == kLogOffQuestion ? logOffAnswer : answer;
        });
    }
    // The idle program copied to `path` and started from there.
    static void StartCopy(ProgramUnderTest& process, const std::string& path,
                          const std::string& arguments = std::string(), const std::string& folder = std::string())
    {
        ASSERT_TRUE(CopyFileA(WindowsPathOf(IDLE_PROGRAM).c_str(), path.c_str(), FALSE)) << path;
        StartIdleProcess(process, path, arguments, folder);
    }
    std::wstring Question() const { return messages.Texts().empty() ? std::wstring() : messages.Texts().front(); }
    std::wstring ClosingMessage() const { return messages.Texts().empty() ? std::wstring() : messages.Texts().back(); }
};

// Runs as safe_removal_win9x_tests.exe, which the session runs as Windows 98.
class SafeRemovalWin9x : public SafeRemoval {};

}  // namespace

TEST_F(SafeRemoval, TheQuestionNamesWhatHoldsTheDriveAndOkEndsExactlyThat)
{
    MakeFile(elsewhere / "own.txt");
    ASSERT_TRUE(CopyFileA(WindowsPathOf(HOLDER_LIBRARY).c_str(), (usb / "plugin.dll").c_str(), FALSE));
    ProgramUnderTest editor, inFolder, fromUsb, typedInLowerCase, library, onSystemDrive, explorer;
    StartCopy(editor, elsewhere / "editor.exe", usb / "notes.txt");
    StartCopy(inFolder, elsewhere / "shell.exe", std::string(), usb.Root() + "\\");
    StartCopy(fromUsb, usb / "tool.exe");
    StartIdleProcess(typedInLowerCase, "e:\\tool.exe");
    // The system's own rundll32.exe running a library of the drive, as a
    // worm's autorun entry starts it.
    ASSERT_TRUE(library.Start(WindowsFolder() + "\\system32\\rundll32.exe", usb / "plugin.dll,Idle"));
    ASSERT_TRUE(WaitFor([&] {
        HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, library.ProcessId());
        ProcessFiles files;
        const bool read = ReadProcessFiles(process, files);
        CloseHandle(process);
        return read && files.modules.size() > 1 &&
               std::any_of(files.modules.begin(), files.modules.end(),
                           [](const std::wstring& module) { return !lstrcmpiW(module.c_str(), L"E:\\plugin.dll"); });
    }, 30000)) << "rundll32.exe does not load the library";
    StartCopy(onSystemDrive, elsewhere / "viewer.exe", elsewhere / "own.txt");
    StartCopy(explorer, elsewhere / "explorer.exe");
    // Windows started from a USB disk: the system drive C: is on the USB bus too.
    fake.busTypes = {{'C', 7}};
    PageHost host;
    ImmunityPage page;
    ASSERT_TRUE(page.CreateModeless(host.Handle()));
    ProgramUnderTest* const holders[] = {&editor, &inFolder, &fromUsb, &typedInLowerCase, &library};

    answer = IDCANCEL;
    ClickButton(page, IDC_FIRST_BUTTON);
    ASSERT_EQ(messages.Count(), 1u) << "Cancel: nothing after the question";
    EXPECT_EQ(messages.Calls()[0].type, static_cast<UINT>(MB_OKCANCEL));
    const std::wstring question = Question();
    EXPECT_EQ(question.find(std::wstring(kQuestion) + L"\r\n\r\n" + kToEnd + L"\r\n"), 0u) << Narrow(question);
    for (ProgramUnderTest* holder : holders) {
        EXPECT_TRUE(Contains(question + L"\r\n", L"\r\n" + LineOf(*holder) + L"\r\n"))
            << Narrow(LineOf(*holder)) << " in " << Narrow(question);
        EXPECT_TRUE(holder->IsRunning());
    }
    EXPECT_FALSE(Contains(question, LineOf(onSystemDrive)) || Contains(question, LineOf(explorer)) ||
                 Contains(question, kKept))
        << Narrow(question);
    EXPECT_TRUE(fake.calls.empty());

    messages.Clear();
    answer = IDOK;
    ClickButton(page, IDC_FIRST_BUTTON);
    EXPECT_EQ(Question(), question);
    EXPECT_EQ(ClosingMessage(), std::wstring(kResult) + L"\r\nE: \u2014 извлечён");
    EXPECT_EQ(messages.Count(), 2u);
    EXPECT_EQ(fake.calls, (Calls{"lock", "dismount", "allow removal", "eject", RemovalDialog()}));
    for (ProgramUnderTest* holder : holders)
        EXPECT_FALSE(holder->IsRunning()) << Narrow(LineOf(*holder));
    EXPECT_TRUE(onSystemDrive.IsRunning()) << "it holds nothing of the drive, and C: is never freed";
    EXPECT_TRUE(explorer.IsRunning()) << "an Explorer that holds nothing of the drive stays";
}

TEST_F(SafeRemoval, AnExplorerHoldingTheDriveEndsAndRunsAgainAfterwardsAlsoWhenTheDriveStays)
{
    const std::string path = elsewhere / "explorer.exe";
    ProgramUnderTest explorer;
    StartCopy(explorer, path, usb / "notes.txt");
    const std::wstring line = LineOf(explorer);
    fake.answer = [](const std::string& call) { return call != "lock"; };

    SafeRemoveUsbDrives(nullptr);
    EXPECT_TRUE(Contains(Question(), L"\r\n" + line + L" \u2014 будет запущен снова")) << Narrow(Question());
    EXPECT_FALSE(explorer.IsRunning());
    std::deque<ProgramUnderTest> restarted;
    EXPECT_EQ(ProcessesRunning(path, restarted).size(), 1u) << "started again once";
    EXPECT_EQ(fake.calls, (Calls{"lock", "log-off question"}));
    // Started again in the Windows folder, it holds nothing of the drive.
    EXPECT_EQ(ClosingMessage(), std::wstring(kResult) + L"\r\nE: \u2014 не извлечён");
}

TEST_F(SafeRemoval, ASystemProgramIsNamedButNeverEndedAndTheClosingMessageSaysItHoldsTheDrive)
{
    // Wine has no csrss.exe of its own: a copy of the idle program plays it.
    const std::string system = WindowsFolder() + "\\system32\\csrss.exe";
    struct RemoveAfterwards {
        std::string path;
        ~RemoveAfterwards() { DeleteFileA(path.c_str()); }
    } remove{system};
    ProgramUnderTest critical;
    StartCopy(critical, system, usb / "notes.txt");
    const std::wstring line = LineOf(critical) + L" \u2014 системный процесс";
    fake.answer = [](const std::string& call) { return call != "lock"; };

    SafeRemoveUsbDrives(nullptr);
    EXPECT_EQ(Question(), std::wstring(kQuestion) + L"\r\n\r\n" + kKept + L"\r\n" + line);
    EXPECT_TRUE(critical.IsRunning());
    EXPECT_EQ(ClosingMessage(), std::wstring(kResult) + L"\r\nE: \u2014 не извлечён, его используют:\r\n    " + line);
}

// Two drives; the first refuses one request once. Result 0 asks to log off,
// results 1 and 2 open the removal dialog, and the second drive is ejected.
TEST_F(SafeRemoval, EachDriveGetsTheLogOffQuestionOrTheDialogByItsEjectResult)
{
    TestDrive second('F', DRIVE_REMOVABLE);
    const Calls ejected = {"lock", "dismount", "allow removal", "eject", RemovalDialog()};
    const std::wstring stopped =
        L"отключён, но не извлечён: остановите его в окне Windows «Безопасное извлечение устройства»";
    const std::tuple<std::string, int, Calls, std::wstring> cases[] = {
        {"lock", IDCANCEL, {"lock", "log-off question"}, L"не извлечён"},
        {"lock", IDOK, {"lock", "log-off question", "log off"}, L"не извлечён"},
        {"dismount", IDCANCEL, {"lock", "dismount", "log-off question"}, L"не извлечён"},
        {"allow removal", IDCANCEL, {"lock", "dismount", "allow removal", RemovalDialog()}, stopped},
        {"eject", IDCANCEL, ejected, stopped},
    };
    for (const auto& [refused, logOff, first, firstResult] : cases) {
        fake.calls.clear();
        messages.Clear();
        bool refusedOnce = false;
        fake.answer = [&, refused = refused](const std::string& call) {
            return call != refused || std::exchange(refusedOnce, true);
        };
        logOffAnswer = logOff;
        SafeRemoveUsbDrives(nullptr);
        Calls expected = first;
        expected.insert(expected.end(), ejected.begin(), ejected.end());
        EXPECT_EQ(fake.calls, expected) << refused << " " << logOff;
        EXPECT_EQ(ClosingMessage(),
                  std::wstring(kResult) + L"\r\nE: \u2014 " + firstResult + L"\r\nF: \u2014 извлечён");
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

TEST_F(SafeRemoval, RunFromTheUsbDriveTheProgramEndsTheOthersThereNeverItselfAndCarriesOn)
{
    const std::string program = usb / "safe-removal.exe", report = elsewhere / "report.txt";
    ASSERT_TRUE(CopyFileA(WindowsPathOf(SAFE_REMOVAL_PROGRAM).c_str(), program.c_str(), FALSE));
    ProgramUnderTest other, running;
    StartCopy(other, usb / "tool.exe");
    const std::string otherLine = Narrow(LineOf(other), CP_UTF8);
    ASSERT_TRUE(running.Start(program, report));
    ASSERT_TRUE(running.WaitForExit(60000));
    EXPECT_FALSE(other.IsRunning());
    const std::string calls = "lock\ndismount\nallow removal\neject\n" + RemovalDialog() + "\n";
    const std::string written = ReadWholeFile(report);
    EXPECT_EQ(written.substr(0, calls.size()), calls);
    EXPECT_NE(written.find("\r\n" + otherLine + "\r\n\r\n" + Narrow(kKept, CP_UTF8) + "\r\nsafe-removal.exe (" +
                           program + ") \xE2\x80\x94 это Vardenix\n"),
              std::string::npos)
        << written;
}

TEST(SafeRemovalQuestion, ListsTenProgramsAListAndCountsTheRest)
{
    EXPECT_EQ(RemovalQuestion({}), kQuestion) << "nothing holds the drive";
    std::vector<DriveHolder> holders(13);
    std::wstring expected = std::wstring(kQuestion) + L"\r\n\r\n" + kToEnd;
    for (int k = 0; k < 12; ++k) {
        holders[k].name = L"tool" + std::to_wstring(k) + L".exe";
        holders[k].path = L"E:\\" + holders[k].name;
        holders[k].verdict = EndVerdict::kMayEnd;
        if (k < 10)
            expected += L"\r\n" + holders[k].name + L" (" + holders[k].path + L")";
    }
    // A process the system does not name the file of.
    holders[12].name = L"guard.exe";
    holders[12].verdict = EndVerdict::kNotPermitted;
    expected += L"\r\nи ещё 2\r\n\r\n" + std::wstring(kKept) + L"\r\nguard.exe \u2014 нет прав на завершение";
    EXPECT_EQ(RemovalQuestion(holders), expected);
}

TEST_F(SafeRemovalWin9x, ProgramsEndButNoDriveIsEjected)
{
    ASSERT_EQ(GetOsFamily(), 2) << "the program must run as Windows 98";
    RecordFixedDrives();
    ProgramUnderTest fromUsb, explorer;
    StartCopy(fromUsb, usb / "tool.exe");
    StartCopy(explorer, elsewhere / "explorer.exe");
    SafeRemoveUsbDrives(nullptr);
    EXPECT_FALSE(fromUsb.IsRunning());
    EXPECT_TRUE(explorer.IsRunning()) << "it holds nothing of the drive";
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(messages.Count(), 1u);
}

TEST(SafeRemovalExplorer, OnlyAPathLongerThanTheNameThatEndsInItIsExplorer)
{
    EXPECT_FALSE(IsExplorerPath("EXPLORER.EXE") || IsExplorerPath("C:\\explorer.exe.old"));
    EXPECT_TRUE(IsExplorerPath("xexplorer.exe") && IsExplorerPath("C:\\WINDOWS\\Explorer.EXE"));
}
