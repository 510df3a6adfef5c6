// The whole program, started under Wine and driven from outside through its
// windows, as a user (or Windows) would.
#include "support/ProgramUnderTest.h"
#include "framework/Text.h"
#include "support/InstanceObject.h"
#include "support/RegistryValues.h"
#include "support/ShellAssociation.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <commctrl.h>
#include <dbt.h>
#include <sddl.h>

#include <string>

#ifndef VARDENIX_EXE
#error "VARDENIX_EXE names the program under test"
#endif

namespace {

// The program's build output (CMake gives its Unix path).
std::string BuiltProgram()
{
    return WindowsPathOf(VARDENIX_EXE);
}

// The main window: the top-level window that carries the property named with
// the application name.
HWND FindMainWindow(const ProgramUnderTest& program)
{
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == program.ProcessId() && GetPropA(w, "vardenix")) {
                found = w;
                return true;
            }
        }
        return false;
    });
    return found;
}

class Program : public ::testing::Test {
protected:
    ScratchDir folder;
    std::string exe;

    void SetUp() override
    {
        // A copy of its own, so that the quarantine folder and a skin library
        // beside it belong to this test.
        exe = folder / "vardenix.exe";
        ASSERT_TRUE(CopyFileA(BuiltProgram().c_str(), exe.c_str(), FALSE)) << BuiltProgram();
        // The start-up question is asked once; these tests assume it was.
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\vormtalware", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "autorun", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
        RegCloseKey(key);
    }
};

}  // namespace

// A page of the main window, found by two controls only it has.
HWND PageWith(HWND main, int first, int second)
{
    for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgItem(child, first) && GetDlgItem(child, second))
            return child;
    }
    return nullptr;
}

// The USB protection page has the counter 1017 and delete all 1016.
bool UsbPageShown(HWND main)
{
    const HWND page = PageWith(main, 1017, 1016);
    return page && (GetWindowLongW(page, GWL_STYLE) & WS_VISIBLE) != 0;
}

HWND UsbThreatList(HWND main)
{
    return GetDlgItem(PageWith(main, 1017, 1016), 1015);
}

// The notification popup: the top-level window with the status static 1022.
HWND FindPopup(const ProgramUnderTest& program)
{
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid == program.ProcessId() && GetDlgItem(w, 1022))
            return w;
    }
    return nullptr;
}

TEST_F(Program, StartsAndSettlesInTheTray)
{
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);
    EXPECT_NE(FindPopup(program), nullptr) << "the popup is made before the main window";
    // Give the dialog manager its idle moment, then make sure it stays hidden.
    Sleep(1500);
    EXPECT_FALSE(IsWindowVisible(main)) << "hidden at the end of start-up";
    EXPECT_EQ(WindowText(main), L"Vardenix");
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000)) << "the tray menu's exit ends at once";
}

TEST_F(Program, ASecondStartBringsTheFirstForwardAndEnds)
{
    ProgramUnderTest first;
    ASSERT_TRUE(first.Start(exe));
    HWND main = FindMainWindow(first);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !IsWindowVisible(main); }));
    Sleep(1000);

    ProgramUnderTest second;
    ASSERT_TRUE(second.Start(exe));
    EXPECT_TRUE(second.WaitForExit(15000));
    EXPECT_EQ(second.ExitCode(), 0u);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; })) << "the first instance comes forward";
    EXPECT_TRUE(first.IsRunning());
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(first.WaitForExit(10000));
}

TEST_F(Program, TheExitQuestionEndsTheProgramOnlyOnOk)
{
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(program.WaitForMessageBox(), L"Вы хотите выйти?");
    ASSERT_TRUE(program.AnswerMessageBox(IDCANCEL));
    Sleep(500);
    EXPECT_TRUE(program.IsRunning());
    PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, TheUninstallerWindowEndsTheProgramAfterAWarning)
{
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    ASSERT_NE(FindMainWindow(program), nullptr);
    HWND uninstaller = CreateWindowExW(0, L"STATIC", L"Удаление Vardenix", WS_POPUP | WS_VISIBLE, 0, 0, 100, 50,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(uninstaller, nullptr);
    EXPECT_EQ(program.WaitForMessageBox(5000), L"Вы лишаетесь защиты USB дисков!");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_TRUE(program.WaitForExit(10000));
    DestroyWindow(uninstaller);
}

namespace {
void RunWithSkin(const std::string& exe, const std::string& folder, const char* dll, const std::string& log)
{
    ASSERT_TRUE(CopyFileA(WindowsPathOf(dll).c_str(), (folder + "\\SkinLoad.dll").c_str(), FALSE));
    SetEnvironmentVariableA("VARDENIX_SKIN_LOG", log.c_str());
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    SetEnvironmentVariableA("VARDENIX_SKIN_LOG", nullptr);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}
}  // namespace

TEST_F(Program, TheSkinLibraryIsCalledAndUnloadedAtExit)
{
    RunWithSkin(exe, folder.Path(), SKIN_FULL_DLL, folder / "skin.log");
    EXPECT_EQ(ReadWholeFile(folder / "skin.log"), "InitSkinLoad ui-thread\nLoadSkin " + folder.Path() +
                                                      "\\xp_normal.skin\nExitSkin\ndetach by FreeLibrary\n");
}

TEST_F(Program, ASkinLibraryWithoutExitSkinIsStillUnloaded)
{
    RunWithSkin(exe, folder.Path(), SKIN_NOEXIT_DLL, folder / "skin.log");
    EXPECT_EQ(ReadWholeFile(folder / "skin.log"),
              "InitSkinLoad ui-thread\nLoadSkin " + folder.Path() + "\\xp_normal.skin\ndetach by FreeLibrary\n");
}

TEST_F(Program, AStartWithAUsbDriveComesUpOnTheUsbPageAndThenHides)
{
    TestDrive drive('E', DRIVE_REMOVABLE);
    MakeFile(drive / "AUTORUN.INF", "[autorun]\r\nopen=x.exe\r\n");
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitFor([&] { return UsbPageShown(main); }));
    // The page is shown before its scan fills the list.
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(UsbThreatList(main), LVM_GETITEMCOUNT, 0, 0) == 1; }));
    Sleep(1500);
    EXPECT_FALSE(IsWindowVisible(main)) << "start-up still ends in the tray";
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, AnArrivingUsbDriveBringsTheWindowForwardWithItsThreats)
{
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);
    Sleep(1500);
    ASSERT_FALSE(IsWindowVisible(main));

    TestDrive drive('E', DRIVE_REMOVABLE);
    MakeFile(drive / "AUTORUN.INF", "[autorun]");
    MakeFile(drive / "x.exe", "MZ", FILE_ATTRIBUTE_HIDDEN);
    BroadcastVolumeChange('E', true);
    EXPECT_TRUE(WaitFor([&] { return IsWindowVisible(main) != FALSE; }));
    EXPECT_TRUE(UsbPageShown(main));
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(UsbThreatList(main), LVM_GETITEMCOUNT, 0, 0) == 2; }));
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, AThreatDeletedOnTheUsbPageIsRestoredFromTheQuarantinePage)
{
    TestDrive drive('E', DRIVE_REMOVABLE);
    const std::string content = "[autorun]\r\nopen=evil.exe\r\n";
    MakeFile(drive / "AUTORUN.INF", content, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);

    // The property is set first thing; the pages follow.
    HWND usbPage = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (usbPage = PageWith(main, 1017, 1016)) != nullptr; }));
    HWND threats = GetDlgItem(usbPage, 1015);
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(threats, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    ASSERT_TRUE(RemoteListSelect(threats, 0));
    PostMessageW(usbPage, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), 0);
    EXPECT_EQ(program.WaitForMessageBox(), L"Удаление: E:\\AUTORUN.INF?");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_EQ(program.WaitForMessageBox(), L"Ожидайте");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    ASSERT_TRUE(WaitFor([&] { return RemoteListText(threats, 0, 1) == L"Удален"; }));
    EXPECT_FALSE(PathExists(drive / "AUTORUN.INF"));

    HWND quarantinePage = PageWith(main, 1057, 1004);
    HWND items = GetDlgItem(quarantinePage, 1057);
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(1011, BN_CLICKED), 0);
    PostMessageW(quarantinePage, WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), 0);  // "Обновить"
    ASSERT_TRUE(WaitFor([&] { return SendMessageW(items, LVM_GETITEMCOUNT, 0, 0) == 1; }));
    EXPECT_EQ(RemoteListText(items, 0, 0), L"E:\\AUTORUN.INF");
    EXPECT_EQ(RemoteListText(items, 0, 1), Widen(folder / "quarantine\\AUTORUN.INF.vw"));

    ASSERT_TRUE(RemoteListSelect(items, 0));
    PostMessageW(quarantinePage, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED), 0);  // "Восстановить"
    EXPECT_EQ(program.WaitForMessageBox(), L"ВосстановлениеE:\\AUTORUN.INF?");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_EQ(program.WaitForMessageBox(), L"Восстановление выполнено");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_EQ(ReadWholeFile(drive / "AUTORUN.INF"), content) << "back on its drive, byte for byte";

    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

namespace {
const char kSettingsKey[] = "SOFTWARE\\vormtalware";

// The settings key with only the access a DACL (in the security descriptor
// language) gives, while the object lives; its own DACL comes back after.
class SettingsKeyAccess {
public:
    explicit SettingsKeyAccess(const char* dacl)
    {
        PSECURITY_DESCRIPTOR wanted = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, WRITE_DAC | READ_CONTROL, &key_) != ERROR_SUCCESS ||
            GetSecurityInfo(key_, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                            &own_) != ERROR_SUCCESS ||
            !ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &wanted, nullptr))
            return;
        set_ = RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, wanted) == ERROR_SUCCESS;
        LocalFree(wanted);
        // The test process is an administrator: only a key that refuses it
        // all access holds the program to what the DACL gives.
        HKEY probe = nullptr;
        enforced_ = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &probe) != ERROR_SUCCESS;
        if (probe)
            RegCloseKey(probe);
    }
    ~SettingsKeyAccess()
    {
        if (own_)
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, own_);
        LocalFree(own_);
        if (key_)
            RegCloseKey(key_);
    }
    SettingsKeyAccess(const SettingsKeyAccess&) = delete;
    SettingsKeyAccess& operator=(const SettingsKeyAccess&) = delete;

    bool Set() const { return set_; }
    bool Enforced() const { return enforced_; }

private:
    HKEY key_ = nullptr;
    PSECURITY_DESCRIPTOR own_ = nullptr;
    bool set_ = false;
    bool enforced_ = false;
};
}  // namespace

TEST_F(Program, WithoutItsSettingsKeyTheProgramStillRunsButShowsNoPopup)
{
    // A key nobody may open stands in for a user who may not write HKLM.
    const SettingsKeyAccess locked("D:");
    ASSERT_TRUE(locked.Set());
    if (!locked.Enforced())
        GTEST_SKIP() << "this Wine does not enforce registry key security";
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr) << "the main window runs all the same";
    Sleep(1000);
    EXPECT_EQ(FindPopup(program), nullptr) << "no popup without the key";
    EXPECT_EQ(program.FindWindowOf(nullptr, L"Проверка обновлений Tollmark"), nullptr);
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, AStandardUserReadsAndWritesTheSettingsWithOnlyTheRightsTheSetupProgramGives)
{
    // Users may query and set values, as the installed key allows them, and
    // the test process is one of the Users.
    ASSERT_EQ(RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kSettingsKey, "lastcheck"), ERROR_SUCCESS);
    const SettingsKeyAccess users("D:(A;;0x3;;;BU)");
    ASSERT_TRUE(users.Set());
    if (!users.Enforced())
        GTEST_SKIP() << "this Wine does not enforce registry key security";
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);
    EXPECT_NE(FindPopup(program), nullptr) << "the settings were read";
    SYSTEMTIME today;
    GetLocalTime(&today);
    char day[16] = {};
    DWORD size = sizeof day;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, kSettingsKey, "lastcheck", RRF_RT_REG_SZ, nullptr, day, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(day), std::to_string(today.wDay)) << "and written";
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, AStartWhileAnInstanceObjectNobodyMayOpenExistsShowsNoWindowAndEnds)
{
    // As a copy running with an administrator's rights leaves its semaphore to a standard user's start.
    const InstanceObject instance(L"vardenix", true);
    ASSERT_TRUE(instance.Made());
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    bool shown = false;
    EXPECT_TRUE(WaitFor(
        [&] {
            shown = shown || program.FindWindowOf(nullptr, nullptr, true) != nullptr;
            return !program.IsRunning();
        },
        15000));
    EXPECT_FALSE(shown) << "a second copy came up";
    EXPECT_EQ(program.ExitCode(), 0u);
}

namespace {
// The row of another process's list whose first column is `name`, or -1.
int RemoteRowNamed(HWND list, const std::wstring& name)
{
    for (int row = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) - 1; row >= 0; --row)
        if (RemoteListText(list, row, 0) == name)
            return row;
    return -1;
}
}  // namespace

TEST_F(Program, AStartupEntryIsDeletedOnTheStartupPageAfterTheQuestion)
{
    const std::wstring run = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", name = L"Vardenix program test";
    OwnRegistryValues values;
    values.SetText(HKEY_CURRENT_USER, run, name, L"C:\\tests\\entry.exe /quiet");
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program), page = nullptr;
    ASSERT_TRUE(main && WaitFor([&] { return (page = PageWith(main, 1034, 1035)) != nullptr; }));
    PostMessageW(main, WM_COMMAND, MAKEWPARAM(1009, BN_CLICKED), 0);  // "Автозапуск"
    const HWND list = GetDlgItem(page, 1034);
    int row = -1;
    ASSERT_TRUE(WaitFor([&] { return (row = RemoteRowNamed(list, name)) >= 0; }));
    ASSERT_TRUE(RemoteListSelect(list, row));
    PostMessageW(page, WM_COMMAND, MAKEWPARAM(1036, BN_CLICKED), 0);  // "Удалить"
    EXPECT_EQ(program.WaitForMessageBox(), L"Удаление: " + name + L"?");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_TRUE(WaitFor([&] {
        return !RegistryValueExists(HKEY_CURRENT_USER, run, name) && RemoteRowNamed(list, name) < 0;
    }));
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, TheTrayMenuImmunisesTheDrivesAndThenFreesThemAgain)
{
    // The immunity reaches C: and the policy key too: both are left as found.
    static const char kPolicyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    struct Restore {
        const bool systemDriveHadEntry = PathExists("C:\\AUTORUN.INF");
        ~Restore()
        {
            if (!systemDriveHadEntry)
                RemoveTree("C:\\AUTORUN.INF");
            RegDeleteKeyA(HKEY_CURRENT_USER, kPolicyKey);
        }
    } restore;
    HKEY policy = nullptr;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kPolicyKey, &policy), ERROR_SUCCESS);
    RegCloseKey(policy);
    TestDrive usb('E', DRIVE_REMOVABLE);
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(exe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);

    PostMessageW(main, WM_COMMAND, 32773, 0);  // "Отключить Автозапуск USB"
    EXPECT_EQ(program.WaitForMessageBox(), L"Ваш компьютер и USB устройства защищены от вирусов");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_EQ(GetFileAttributesA((usb / "AUTORUN.INF").c_str()),
              DWORD{FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN}) << "immunised";
    PostMessageW(main, WM_COMMAND, 32772, 0);  // "Включить Автозапуск USB"
    EXPECT_EQ(program.WaitForMessageBox(), L"Внимание! Ваш компьютер и USB устройства не защищены от вирусов!");
    ASSERT_TRUE(program.AnswerMessageBox(IDOK));
    EXPECT_TRUE(WaitFor([&] { return !PathExists(usb / "AUTORUN.INF"); }));
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}

TEST_F(Program, BothUpdateCommandsStartTheUpdaterByItsQuotedPathAndEndTheProgram)
{
    // A program folder with a blank in its path, and a program planted where
    // an unquoted command line would be looked for first.
    const std::string home = folder / "Program Files", record = folder / "starts.txt";
    MakeFolder(home);
    const std::string recorder = WindowsPathOf(START_RECORDER_EXE);
    ASSERT_TRUE(CopyFileA(exe.c_str(), (home + "\\vardenix.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(recorder.c_str(), (home + "\\Tollupd.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(recorder.c_str(), (folder / "Program.exe").c_str(), FALSE));
    SetEnvironmentVariableA("VARDENIX_START_RECORD", record.c_str());

    // The tray menu's command, and "Обновить" of the hidden update dialog.
    for (int command : {32776, 1060}) {
        SCOPED_TRACE(command);
        DeleteFileA(record.c_str());
        ProgramUnderTest program;
        ASSERT_TRUE(program.Start(home + "\\vardenix.exe"));
        HWND main = FindMainWindow(program);
        ASSERT_NE(main, nullptr);
        HWND target = command == 1060 ? program.WaitForWindow(L"#32770", L"Проверка обновлений Tollmark") : main;
        PostMessageW(target, WM_COMMAND, static_cast<WPARAM>(command), 0);
        EXPECT_EQ(program.WaitForMessageBox(), L"Выполняется обновление.\r\nПожалуйста, дождитесь завершения проверки.");
        ASSERT_TRUE(program.AnswerMessageBox(IDOK));
        EXPECT_TRUE(program.WaitForExit(10000)) << "the program ends once the updater has started";
        WaitFor([&] { return !ReadWholeFile(record).empty(); });
        EXPECT_EQ(ReadWholeFile(record), "Tollupd.exe|\"" + home + "\\Tollupd.exe\" Tollmark 5.1.0.15 " +
                                             "http://www.vardenix.example/update/update.ini\n");
    }
    SetEnvironmentVariableA("VARDENIX_START_RECORD", nullptr);
}

TEST_F(Program, TheHelpButtonAndF1OpenTheHelpFileByItsFullPathFromAFolderWithBlanks)
{
    const std::string installed = folder / "Vardenix Test", log = folder / "opened.txt";
    MakeFolder(installed);
    ASSERT_TRUE(CopyFileA(exe.c_str(), (installed + "\\vardenix.exe").c_str(), FALSE));
    MakeFile(installed + "\\Tollmark.chm", "ITSF");
    ShellAssociation chm(".chm", RecordOpenCommand(log));
    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(installed + "\\vardenix.exe"));
    HWND main = FindMainWindow(program), infoPage = nullptr;
    ASSERT_TRUE(main && WaitFor([&] { return (infoPage = PageWith(main, 1049, 1050)) != nullptr; }));
    const auto expectOpened = [&] {
        ASSERT_TRUE(WaitFor([&] { return !RecordedLines(log).empty(); }));
        EXPECT_EQ(RecordedLines(log), std::vector<std::string>{installed + "\\Tollmark.chm"});
        DeleteFileA(log.c_str());
    };

    PostMessageW(infoPage, WM_COMMAND, MAKEWPARAM(1005, BN_CLICKED), 0);
    expectOpened();
    // The tray icon's click brings the window forward; the system turns F1 into a help request.
    SendMessageW(main, 1025, 0, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == main; }));
    keybd_event(VK_F1, 0, 0, 0);
    keybd_event(VK_F1, 0, KEYEVENTF_KEYUP, 0);
    expectOpened();
    EXPECT_EQ(program.FindMessageBox(), nullptr) << "no \"Документ не найден\"";
    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}
