// The setup program VardenixSetup.exe in a Windows of the test's own
// (run-in-own-windows.sh): a fresh install, installing over it as an update
// does, and both ways of uninstalling. This program is built for the kind of
// Windows it runs in, and so is the vardenix.exe it compares with: a 64-bit
// Windows must get the 64-bit program, a 32-bit Windows the 32-bit one.
#include "framework/Text.h"
#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <set>

namespace {

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vardenix";
const wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const wchar_t kSettingsKey[] = L"SOFTWARE\\vormtalware";
const char kItem[] = "vormtalwareE:\\photo.jpg\r\n\x01\x02\x03";

std::wstring SpecialFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}
std::wstring InstallFolder() { return SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\Vardenix"; }
std::string Installed(const std::wstring& name) { return Narrow(InstallFolder() + L"\\" + name); }
std::wstring Shortcuts() { return SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Vardenix"; }
// What the setup program carries for this kind of Windows: the test's session
// names the folder of the program and updater, and the help file.
std::string Packed(const char* variable, const char* name = "")
{
    const char* path = std::getenv(variable);
    const std::string content = path ? ReadWholeFile(WindowsPathOf(std::string(path) + name)) : std::string();
    if (content.empty())
        ADD_FAILURE() << "nothing to compare with: " << variable << name;
    return content;
}
std::string SetupProgram()
{
    const char* path = std::getenv("VARDENIX_SETUP");
    return path ? WindowsPathOf(path) : std::string();
}

// A text value of HKEY_LOCAL_MACHINE, or "(none)".
std::wstring Setting(const wchar_t* key, const wchar_t* name)
{
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, data, &size))
        return L"(none)";
    return data;
}
bool KeyExists(const wchar_t* key)
{
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

std::wstring ShortcutTarget(const std::wstring& link)
{
    wchar_t target[MAX_PATH] = {};
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shellLink))))
        return L"";
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_PPV_ARGS(&file)))) {
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)))
            shellLink->GetPath(target, MAX_PATH, nullptr, 0);
        file->Release();
    }
    shellLink->Release();
    return target;
}

std::set<std::wstring> FolderContents(const std::wstring& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (entry.cFileName != std::wstring(L".") && entry.cFileName != std::wstring(L".."))
            names.insert(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
}

// The allow entry for the built-in Users group in an object's DACL.
struct UsersEntry {
    bool found = false;
    ACCESS_MASK rights = 0;
    BYTE flags = 0;
};
UsersEntry UsersEntryOf(HANDLE object, SE_OBJECT_TYPE type)
{
    UsersEntry result;
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof users;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &usersSize) ||
        GetSecurityInfo(object, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor))
        return result;
    for (DWORD index = 0; dacl && index < dacl->AceCount; ++index) {
        ACCESS_ALLOWED_ACE* entry = nullptr;
        if (GetAce(dacl, index, reinterpret_cast<void**>(&entry)) && entry->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(&entry->SidStart, users)) {
            result = {true, entry->Mask, entry->Header.AceFlags};
            break;
        }
    }
    LocalFree(descriptor);
    return result;
}
int UnixMode(const std::wstring& path)
{
    ScratchDir scratch;
    const std::string answer = scratch / "mode";
    const std::string command = "stat -c %a '" + UnixPathOf(Narrow(path)) + "' > '" + UnixPathOf(answer) + "'";
    if (!RunUnix("/bin/sh", "-c \"" + command + "\""))
        return 0;
    WaitFor([&] { return ReadWholeFile(answer).find('\n') != std::string::npos; });
    return static_cast<int>(std::strtol(ReadWholeFile(answer).c_str(), nullptr, 8));
}

// The installed program's process, found by its file; 0 when none runs.
DWORD InstalledProgramId()
{
    const std::wstring program = InstallFolder() + L"\\vardenix.exe";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof entry};
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !found; more = Process32NextW(snapshot, &entry)) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (process && QueryFullProcessImageNameW(process, 0, path, &size) && !lstrcmpiW(path, program.c_str()))
            found = entry.th32ProcessID;
        if (process)
            CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

struct MainWindowSearch {
    DWORD processId;
    HWND found;
};
BOOL CALLBACK MatchMainWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<MainWindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && GetPropA(window, "vardenix"))
        search->found = window;
    return search->found ? FALSE : TRUE;
}
HWND MainWindowOf(DWORD processId)
{
    MainWindowSearch search = {processId, nullptr};
    EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The installed program, started by the setup program: its first start asks
// the autorun question, which the test declines; then it settles in the tray.
void TakeOnStartedProgram(ProgramUnderTest& program, bool firstStart)
{
    DWORD id = 0;
    ASSERT_TRUE(WaitFor([&] { return (id = InstalledProgramId()) != 0; }, 20000)) << "the program did not start";
    ASSERT_TRUE(program.Attach(id));
    if (firstStart) {
        ASSERT_TRUE(program.AnswerMessageBox(IDCANCEL)) << "the first start's autorun question";
    }
    ASSERT_TRUE(WaitFor([&] { return MainWindowOf(id) != nullptr; }, 20000));
    EXPECT_EQ(program.FindMessageBox(), nullptr);
}

DWORD RunSetup(const std::string& arguments)
{
    ProgramUnderTest setup;
    if (!setup.Start(SetupProgram(), arguments) || !setup.WaitForExit(120000))
        return ~0u;
    return setup.ExitCode();
}

void InstallSilently(ProgramUnderTest& program)
{
    const bool firstStart = Setting(kSettingsKey, L"autorun") == L"(none)";
    ASSERT_EQ(RunSetup("/S"), 0u);
    // Started and its instance known before the setup program ended: the
    // updater, which waits for the setup program, then starts no second one.
    HANDLE instance = OpenSemaphoreW(SYNCHRONIZE, FALSE, L"vardenix");
    EXPECT_TRUE(instance) << "the program was not running when the setup program ended";
    CloseHandle(instance);
    TakeOnStartedProgram(program, firstStart);
}

// Presses the default button of a wizard's window whenever it is enabled,
// until its process ends; false if it shows a message box or lasts too long.
bool ClickThrough(const ProgramUnderTest& wizard)
{
    bool interrupted = false;
    const bool ended = WaitFor(
        [&] {
            if (wizard.FindMessageBox()) {
                ADD_FAILURE() << Narrow(WindowText(GetDlgItem(wizard.FindMessageBox(), 0xFFFF)));
                return interrupted = true;
            }
            HWND window = wizard.FindWindowOf(L"#32770", nullptr, true);
            HWND next = window ? GetDlgItem(window, IDOK) : nullptr;
            if (next && IsWindowEnabled(next))
                PostMessageW(next, BM_CLICK, 0, 0);
            Sleep(200);
            return !wizard.IsRunning();
        },
        120000);
    return ended && !interrupted;
}

// The uninstaller copies itself to the temporary folder, starts the copy and
// ends; the copy does the work. A job holds both: the uninstall is over when
// the job is empty.
class UninstallRun {
public:
    explicit UninstallRun(const std::wstring& arguments)
    {
        job_ = CreateJobObjectW(nullptr, nullptr);
        std::wstring commandLine = Setting(kUninstallKey, L"UninstallString") + arguments;
        STARTUPINFOW startup = {sizeof startup};
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                            &startup, &process))
            return;
        started_ = AssignProcessToJobObject(job_, process.hProcess) && ResumeThread(process.hThread) != ~0u;
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    ~UninstallRun()
    {
        TerminateJobObject(job_, 1);
        CloseHandle(job_);
    }
    UninstallRun(const UninstallRun&) = delete;
    UninstallRun& operator=(const UninstallRun&) = delete;

    bool Started() const { return started_; }
    bool Ended(DWORD milliseconds = 60000) const
    {
        return WaitFor(
            [&] {
                JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts = {};
                return QueryInformationJobObject(job_, JobObjectBasicAccountingInformation, &counts, sizeof counts,
                                                 nullptr) &&
                       counts.ActiveProcesses == 0;
            },
            milliseconds);
    }

private:
    HANDLE job_ = nullptr;
    bool started_ = false;
};

class Installer : public ::testing::Test {
protected:
    void SetUp() override { CoInitialize(nullptr); }
    void TearDown() override { CoUninitialize(); }
};

}  // namespace

TEST_F(Installer, ASilentInstallPutsEverythingInPlaceAndStartsTheProgram)
{
    ProgramUnderTest program;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(program));

    EXPECT_EQ(ReadWholeFile(Installed(L"vardenix.exe")), Packed("VARDENIX_PROGRAM_DIR", "/vardenix.exe")) << "the program of this kind of Windows";
    EXPECT_EQ(ReadWholeFile(Installed(L"Tollupd.exe")), Packed("VARDENIX_PROGRAM_DIR", "/Tollupd.exe"));
    EXPECT_EQ(ReadWholeFile(Installed(L"Tollmark.chm")), Packed("VARDENIX_HELP_FILE"));
    EXPECT_EQ(ShortcutTarget(Shortcuts() + L"\\Vardenix.lnk"), InstallFolder() + L"\\vardenix.exe");
    EXPECT_EQ(ShortcutTarget(Shortcuts() + L"\\Справка Vardenix.lnk"), InstallFolder() + L"\\Tollmark.chm");
    EXPECT_EQ(ShortcutTarget(Shortcuts() + L"\\Удалить Vardenix.lnk"), InstallFolder() + L"\\Uninstall.exe");

    EXPECT_EQ(Setting(kRunKey, L"Vardenix"), L"\"" + InstallFolder() + L"\\vardenix.exe\"");
    EXPECT_EQ(Setting(kUninstallKey, L"DisplayName"), L"Vardenix");
    EXPECT_EQ(Setting(kUninstallKey, L"DisplayVersion"), L"5.1.0.15");
    EXPECT_EQ(Setting(kUninstallKey, L"Publisher"), L"vormtalware");
    EXPECT_EQ(Setting(kUninstallKey, L"DisplayIcon"), InstallFolder() + L"\\vardenix.exe,0");
    EXPECT_EQ(Setting(kUninstallKey, L"UninstallString"), L"\"" + InstallFolder() + L"\\Uninstall.exe\"");
    size_t bytes = 0;
    for (const wchar_t* name : {L"vardenix.exe", L"Tollupd.exe", L"Tollmark.chm", L"Uninstall.exe"})
        bytes += ReadWholeFile(Installed(name)).size();
    DWORD kilobytes = 0, size = sizeof kilobytes;
    RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD, nullptr, &kilobytes, &size);
    EXPECT_NEAR(kilobytes, bytes / 1024.0, 4.0);

    // A standard user's program writes quarantine items and its settings.
    // Wine keeps no DACL on a file: it turns an allow entry with write rights
    // for a group of the user into the Unix group's write bit, which is what
    // can be seen of the folder's entry here. The key's DACL Wine keeps whole.
    EXPECT_TRUE(UnixMode(InstallFolder() + L"\\quarantine") & 020) << "no write entry for a group";
    HKEY settings = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, READ_CONTROL, &settings), ERROR_SUCCESS);
    const UsersEntry key = UsersEntryOf(settings, SE_REGISTRY_KEY);
    RegCloseKey(settings);
    EXPECT_TRUE(key.found);
    EXPECT_EQ(key.rights & KEY_ALL_ACCESS, static_cast<ACCESS_MASK>(KEY_ALL_ACCESS)) << "what the program asks for";
}

TEST_F(Installer, AnUpdateEndsTheProgramReplacesItsFilesKeepsQuarantineAndSettingsAndStartsItAgain)
{
    ProgramUnderTest old;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(old));
    MakeFile(Installed(L"quarantine\\photo.jpg.vw"), kItem);
    MakeFile(Installed(L"Tollmark.chm"), "out of date");
    const std::wstring lastcheck = Setting(kSettingsKey, L"lastcheck");
    ASSERT_EQ(Setting(kSettingsKey, L"autorun"), L"1");

    // As in an update: the updater runs from the program folder and waits
    // while the setup program runs with no arguments, and its pages are gone through.
    ProgramUnderTest updater, setup;
    ASSERT_TRUE(updater.Start(Installed(L"Tollupd.exe"), "Tollmark 5.1.0.15 http://127.0.0.1:9/update/update.ini"));
    ASSERT_TRUE(updater.WaitForWindow(L"#32770", nullptr, true));
    ASSERT_TRUE(setup.Start(SetupProgram()));
    ASSERT_TRUE(ClickThrough(setup));
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_TRUE(old.WaitForExit(0)) << "the old program was ended";

    ProgramUnderTest restarted;
    ASSERT_NO_FATAL_FAILURE(TakeOnStartedProgram(restarted, false));
    EXPECT_NE(restarted.ProcessId(), old.ProcessId());
    EXPECT_EQ(ReadWholeFile(Installed(L"quarantine\\photo.jpg.vw")), kItem);
    EXPECT_EQ(Setting(kSettingsKey, L"lastcheck"), lastcheck);
    EXPECT_EQ(ReadWholeFile(Installed(L"Tollmark.chm")), Packed("VARDENIX_HELP_FILE"));
    EXPECT_EQ(ReadWholeFile(Installed(L"Tollupd.exe")), Packed("VARDENIX_PROGRAM_DIR", "/Tollupd.exe")) << "replaced while it ran";
}

TEST_F(Installer, ASilentUninstallEndsTheProgramAndRemovesAllButTheQuarantine)
{
    ProgramUnderTest program;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(program));
    MakeFile(Installed(L"quarantine\\photo.jpg.vw"), kItem);

    UninstallRun uninstall(L" /S");
    ASSERT_TRUE(uninstall.Started());
    ASSERT_TRUE(uninstall.Ended());
    EXPECT_TRUE(program.WaitForExit(0)) << "the uninstaller ended the program";
    EXPECT_EQ(FolderContents(InstallFolder()), std::set<std::wstring>{L"quarantine"});
    EXPECT_EQ(ReadWholeFile(Installed(L"quarantine\\photo.jpg.vw")), kItem) << "the user's files stay";
    EXPECT_FALSE(PathExists(Narrow(Shortcuts())));
    EXPECT_EQ(Setting(kRunKey, L"Vardenix"), L"(none)");
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(KeyExists(kSettingsKey));
}

TEST_F(Installer, TheUninstallersWindowMakesTheProgramWarnAndEndAndTheUserMayRemoveTheQuarantine)
{
    ProgramUnderTest program;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(program));
    MakeFile(Installed(L"quarantine\\photo.jpg.vw"), kItem);

    UninstallRun uninstall(L"");
    ASSERT_TRUE(uninstall.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (window = FindWindowW(nullptr, L"Удаление Vardenix")) != nullptr; }, 30000));
    EXPECT_EQ(program.WaitForMessageBox(), L"Вы лишаетесь защиты USB дисков!");
    EXPECT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_TRUE(program.WaitForExit(10000));

    DWORD copyId = 0;
    GetWindowThreadProcessId(window, &copyId);
    ProgramUnderTest copy;
    ASSERT_TRUE(copy.Attach(copyId));
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    EXPECT_NE(copy.WaitForMessageBox().find(L"карантин"), std::wstring::npos);
    EXPECT_EQ(WindowText(window), L"Удаление Vardenix") << "the caption stays while it works";
    EXPECT_TRUE(copy.AnswerMessageBox(IDYES));
    EXPECT_TRUE(ClickThrough(copy));
    ASSERT_TRUE(uninstall.Ended());
    EXPECT_FALSE(PathExists(Narrow(InstallFolder()))) << "nothing left once the quarantine went too";
}
