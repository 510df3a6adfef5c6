// The setup program VardenixSetup.exe in a Windows of its own (see
// CMakeLists.txt): a fresh install, installing over it as an update does, and
// both ways of uninstalling. This test program is built for the kind of
// Windows it runs in, and the CTest entry names the program files of that
// kind: a 64-bit Windows must get the 64-bit program, a 32-bit one the 32-bit.
#include "framework/Text.h"
#include "support/ProgramUnderTest.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>

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
std::string Installed(const wchar_t* name) { return Narrow(InstallFolder() + L"\\" + name); }
// The installed program's data of the user running the test, the quarantine
// among them.
std::string UserData() { return Narrow(SpecialFolder(CSIDL_LOCAL_APPDATA) + L"\\Vardenix"); }
const char kQuarantined[] = "\\quarantine\\photo.jpg.vw";
// A quarantined file in `home`'s quarantine folder, as the program puts one.
void PutQuarantined(const std::string& home)
{
    CreateDirectoryA(home.c_str(), nullptr);
    CreateDirectoryA((home + "\\quarantine").c_str(), nullptr);
    MakeFile(home + kQuarantined, kItem);
}

// A build output that the CTest entry names by its Unix path.
std::string BuildOutput(const char* variable, const char* name = "")
{
    char path[MAX_PATH] = {};
    return GetEnvironmentVariableA(variable, path, MAX_PATH) ? WindowsPathOf(path + std::string(name)) : "";
}
// The installed file `name` is that build output (and both are there).
bool InstalledAsBuilt(const wchar_t* name, const char* variable, const char* file = "")
{
    const std::string built = ReadWholeFile(BuildOutput(variable, file));
    return !built.empty() && ReadWholeFile(Installed(name)) == built;
}

// A text value under HKEY_LOCAL_MACHINE, or "(none)".
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
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened))
        return false;
    RegCloseKey(opened);
    return true;
}

std::wstring ShortcutTarget(const std::wstring& link)
{
    CoInitialize(nullptr);
    wchar_t target[MAX_PATH] = {};
    IShellLinkW* shellLink = nullptr;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&shellLink))) &&
        SUCCEEDED(shellLink->QueryInterface(IID_PPV_ARGS(&file))) && SUCCEEDED(file->Load(link.c_str(), STGM_READ)))
        shellLink->GetPath(target, MAX_PATH, nullptr, 0);
    for (IUnknown* object : {static_cast<IUnknown*>(file), static_cast<IUnknown*>(shellLink)})
        if (object)
            object->Release();
    return target;
}

// The settings key's owner and the entries of its DACL for the Users group
// (BU) that it does not inherit, in the security descriptor language.
std::wstring SettingsKeyForUsers()
{
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LPWSTR text = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSettingsKey, 0, READ_CONTROL, &key);
    const SECURITY_INFORMATION parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (key && !GetSecurityInfo(key, SE_REGISTRY_KEY, parts, nullptr, nullptr, nullptr, nullptr, &descriptor))
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, 1, parts, &text, nullptr);
    const std::wstring sddl = text ? text : L"";
    LocalFree(text);
    LocalFree(descriptor);
    RegCloseKey(key);
    std::wstring found = sddl.substr(0, sddl.find(L"D:"));
    for (size_t at = sddl.find(L'('); at != std::wstring::npos; at = sddl.find(L'(', at + 1)) {
        const std::wstring entry = sddl.substr(at, sddl.find(L')', at) + 1 - at);
        if (entry.find(L";;;BU)") != std::wstring::npos && entry.find(L"ID;") == std::wstring::npos)
            found += entry;
    }
    return found;
}

// The objects from `folder` down that a group may write to: Wine keeps no DACL
// on a file, and an allow entry with write rights for a group of the user
// becomes the group's write bit, which is what can be seen of it.
std::string GroupWritable(const std::string& folder)
{
    ScratchDir scratch;
    const std::string answer = scratch / "found";
    const std::string command =
        "find '" + UnixPathOf(folder) + "' -perm -g=w > '" + UnixPathOf(answer) + ".part'; mv '" +
        UnixPathOf(answer) + ".part' '" + UnixPathOf(answer) + "'";
    if (!RunUnix("/bin/sh", "-c \"" + command + "\"") || !WaitFor([&] { return PathExists(answer); }))
        return "(not seen)";
    return ReadWholeFile(answer);
}

// The process's parent's file name.
std::wstring ParentName(DWORD processId)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry = {sizeof entry};
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == processId)
            parent = entry.th32ParentProcessID;
    std::wstring name;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == parent)
            name = entry.szExeFile;
    CloseHandle(snapshot);
    return name;
}

// The installed program, which the setup program started. Its first start
// asks the autorun question (the test declines) before its main window comes.
void TakeOnStartedProgram(ProgramUnderTest& program, bool firstStart)
{
    HWND window = nullptr;
    const auto shows = [&](bool question) {
        window = FindWindowW(L"#32770", L"Vardenix");
        return window && (question ? GetDlgItem(window, 0xFFFF) != nullptr : GetPropA(window, "vardenix") != nullptr);
    };
    if (firstStart) {
        ASSERT_TRUE(WaitFor([&] { return shows(true); }, 20000)) << "no autorun question at the first start";
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    }
    ASSERT_TRUE(WaitFor([&] { return shows(false); }, 20000)) << "the program did not start";
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    ASSERT_TRUE(program.Attach(id));
}

void InstallSilently(ProgramUnderTest& program)
{
    RemoveTree(UserData());
    const bool firstStart = Setting(kSettingsKey, L"autorun") == L"(none)";
    ProgramUnderTest setup;
    ASSERT_TRUE(setup.Start(BuildOutput("VARDENIX_SETUP"), "/S") && setup.WaitForExit(120000));
    ASSERT_EQ(setup.ExitCode(), 0u);
    // Running before the setup program ended: the updater, which waits for
    // the setup program, then starts no second one.
    HANDLE instance = OpenSemaphoreW(SYNCHRONIZE, FALSE, L"vardenix");
    EXPECT_TRUE(instance) << "the program was not running when the setup program ended";
    CloseHandle(instance);
    ASSERT_NO_FATAL_FAILURE(TakeOnStartedProgram(program, firstStart));
    // Windows gives a program its parent's rights: the desktop's Explorer
    // has the user's own, the setup program an administrator's.
    EXPECT_EQ(ParentName(program.ProcessId()), L"explorer.exe") << "not started by the desktop's shell";
}

// Opens the uninstaller's window and takes on the copy of it that runs from
// the temporary folder (the first process ends at once).
HWND StartUninstaller(ProgramUnderTest& copy)
{
    ProgramUnderTest uninstaller;
    HWND window = nullptr;
    if (uninstaller.Start(Installed(L"Uninstall.exe")) &&
        WaitFor([&] { return (window = FindWindowW(nullptr, L"Удаление Vardenix")) != nullptr; }, 30000)) {
        DWORD copyId = 0;
        GetWindowThreadProcessId(window, &copyId);
        if (copy.Attach(copyId))
            return window;
    }
    ADD_FAILURE() << "no uninstaller window";
    return nullptr;
}

// Presses the default button of a wizard's window whenever it is enabled,
// until its process ends; false if it shows a message box or lasts too long.
bool ClickThrough(const ProgramUnderTest& wizard)
{
    bool interrupted = false;
    const bool ended = WaitFor(
        [&] {
            if (HWND box = wizard.FindMessageBox()) {
                ADD_FAILURE() << Narrow(WindowText(GetDlgItem(box, 0xFFFF)), CP_UTF8);
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

// Runs the registered uninstall command with /S. The uninstaller works from a
// copy of itself in the temporary folder, and the first process ends at
// once: a job holds both, and the uninstall is over when the job is empty.
bool UninstallSilently()
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    std::wstring commandLine = Setting(kUninstallKey, L"UninstallString") + L" /S";
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process = {};
    bool ended = false;
    if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                       &startup, &process)) {
        if (AssignProcessToJobObject(job, process.hProcess) && ResumeThread(process.hThread) != ~0u)
            ended = WaitFor(
                [&] {
                    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts = {};
                    QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &counts, sizeof counts,
                                              nullptr);
                    return counts.TotalProcesses > 0 && counts.ActiveProcesses == 0;
                },
                60000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    TerminateJobObject(job, 1);
    CloseHandle(job);
    return ended;
}

}  // namespace

TEST(Installer, ASilentInstallPutsEverythingInPlaceAndAnUpdateOverItKeepsQuarantineAndSettings)
{
    ProgramUnderTest old;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(old));

    // Tollupd.exe and the help file are compared after the update below.
    EXPECT_TRUE(InstalledAsBuilt(L"vardenix.exe", "VARDENIX_PROGRAM_DIR", "/vardenix.exe"));
    const std::wstring links = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Vardenix\\";
    EXPECT_EQ(ShortcutTarget(links + L"Vardenix.lnk"), InstallFolder() + L"\\vardenix.exe");
    EXPECT_EQ(ShortcutTarget(links + L"Справка Vardenix.lnk"), InstallFolder() + L"\\Tollmark.chm");
    EXPECT_EQ(ShortcutTarget(links + L"Удалить Vardenix.lnk"), InstallFolder() + L"\\Uninstall.exe");

    EXPECT_EQ(Setting(kRunKey, L"Vardenix"), L"\"" + InstallFolder() + L"\\vardenix.exe\"");
    EXPECT_EQ(Setting(kUninstallKey, L"UninstallString"), L"\"" + InstallFolder() + L"\\Uninstall.exe\"");
    size_t bytes = 0;
    for (const wchar_t* name : {L"vardenix.exe", L"Tollupd.exe", L"Tollmark.chm", L"Uninstall.exe"})
        bytes += ReadWholeFile(Installed(name)).size();
    DWORD kilobytes = 0, size = sizeof kilobytes;
    RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, L"EstimatedSize", RRF_RT_REG_DWORD, nullptr, &kilobytes, &size);
    EXPECT_NEAR(kilobytes, bytes / 1024.0, 4.0);

    // A standard user's program reads and writes its settings, and nothing
    // else of the installed program: Users may query and set the key's values
    // (0x3), not inherited by subkeys; the administrators own the key.
    EXPECT_EQ(SettingsKeyForUsers(), L"O:BA(A;;CCDC;;;BU)");
    // No object of the program folder grants a group write access; unless
    // even a folder made here is writable by a group (the host's umask), and
    // a grant cannot be seen.
    ScratchDir plain;
    MakeFile(plain / "file");
    if (GroupWritable(plain.Path()).empty())
        EXPECT_EQ(GroupWritable(Narrow(InstallFolder())), "");
    else
        std::fprintf(stderr, "files are made writable by their group here: grants cannot be seen\n");

    MakeFile(Installed(L"Tollmark.chm"), "out of date");
    const std::wstring lastcheck = Setting(kSettingsKey, L"lastcheck");

    // As in an update: the updater runs from the program folder and waits
    // while the setup program, started without arguments, is gone through.
    ProgramUnderTest updater, setup;
    ASSERT_TRUE(updater.Start(Installed(L"Tollupd.exe"), "Tollmark 5.1.0.15 http://127.0.0.1:9/update/update.ini"));
    ASSERT_TRUE(updater.WaitForWindow(L"#32770", nullptr, true));
    ASSERT_TRUE(setup.Start(BuildOutput("VARDENIX_SETUP")));
    ASSERT_TRUE(ClickThrough(setup));
    EXPECT_EQ(setup.ExitCode(), 0u);
    EXPECT_TRUE(old.WaitForExit(0)) << "the old program was ended";

    ProgramUnderTest restarted;
    ASSERT_NO_FATAL_FAILURE(TakeOnStartedProgram(restarted, false)) << "no autorun question: the settings stayed";
    EXPECT_EQ(Setting(kSettingsKey, L"lastcheck"), lastcheck);
    EXPECT_TRUE(InstalledAsBuilt(L"Tollmark.chm", "VARDENIX_HELP_FILE"));
    EXPECT_TRUE(InstalledAsBuilt(L"Tollupd.exe", "VARDENIX_PROGRAM_DIR", "/Tollupd.exe"));
}

TEST(Installer, ASilentUninstallEndsTheProgramEvenWithoutItsWindowAndRemovesAllButTheQuarantine)
{
    ProgramUnderTest installed, program;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(installed));
    PutQuarantined(UserData());
    // A program that has no main window yet (as at its first question, or
    // one in another user's session, out of reach) is ended by its file.
    installed.Kill();
    RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSettingsKey, L"autorun");
    ASSERT_TRUE(program.Start(Installed(L"vardenix.exe")));
    ASSERT_FALSE(program.WaitForMessageBox().empty());

    ASSERT_TRUE(UninstallSilently());
    EXPECT_TRUE(program.WaitForExit(0)) << "the uninstaller ended the program";
    EXPECT_EQ(ReadWholeFile(UserData() + kQuarantined), kItem) << "the user's files stay";
    EXPECT_FALSE(PathExists(Narrow(InstallFolder())));
    EXPECT_FALSE(PathExists(Narrow(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Vardenix")));
    EXPECT_EQ(Setting(kRunKey, L"Vardenix"), L"(none)");
    EXPECT_FALSE(KeyExists(kUninstallKey));
    EXPECT_FALSE(KeyExists(kSettingsKey));
}

TEST(Installer, TheUninstallersWindowMakesTheProgramWarnAndEndAndTheUserMayRemoveTheQuarantine)
{
    ProgramUnderTest program, copy;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(program));
    PutQuarantined(UserData());

    const HWND window = StartUninstaller(copy);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(program.WaitForMessageBox(), L"Вы лишаетесь защиты USB дисков!");
    EXPECT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_TRUE(program.WaitForExit(10000));

    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    EXPECT_NE(copy.WaitForMessageBox().find(Widen(UserData() + "\\quarantine")), std::wstring::npos);
    EXPECT_EQ(WindowText(window), L"Удаление Vardenix") << "the caption stays while it works";
    EXPECT_TRUE(copy.AnswerMessageBox(IDYES));
    EXPECT_TRUE(ClickThrough(copy));
    EXPECT_FALSE(PathExists(UserData())) << "the user's quarantine went";
    EXPECT_FALSE(PathExists(Narrow(InstallFolder())));
}

TEST(Installer, TheUninstallerDeletesNothingThroughALinkInPlaceOfTheUsersFolder)
{
    // The user's folder made a link to files an administrator's uninstaller
    // must not be led to delete (Wine shows a Unix link as a reparse point,
    // as Windows shows a junction).
    ProgramUnderTest program, copy;
    ASSERT_NO_FATAL_FAILURE(InstallSilently(program));
    program.Kill();
    ScratchDir elsewhere;
    PutQuarantined(elsewhere.Path());
    const std::string parent = UserData().substr(0, UserData().rfind('\\'));
    ASSERT_TRUE(MakeUnixLink(UnixPathOf(elsewhere.Path()), parent, "Vardenix"));

    const HWND window = StartUninstaller(copy);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(ClickThrough(copy)) << "asked about a quarantine behind a link";
    EXPECT_EQ(ReadWholeFile(elsewhere.Path() + kQuarantined), kItem);
    RemoveUnixLink(parent, "Vardenix");
}
