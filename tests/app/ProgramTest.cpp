// The whole program, started under Wine and driven from outside through its
// windows, as a user (or Windows) would.
#include "support/ProgramUnderTest.h"
#include "framework/Text.h"
#include "support/ShellAssociation.h"
#include "support/TestDrive.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <dbt.h>

#include <string>

#ifndef VARDENIX_EXE
#error "VARDENIX_EXE names the program under test"
#endif

namespace {

// The program's build output, by its Unix path seen through drive Z:.
std::string BuiltProgram()
{
    std::string path = "Z:" VARDENIX_EXE;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
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
std::string SkinDll(const char* unixPath)
{
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

void RunWithSkin(const std::string& exe, const std::string& folder, const char* dll, const std::string& log)
{
    ASSERT_TRUE(CopyFileA(SkinDll(dll).c_str(), (folder + "\\SkinLoad.dll").c_str(), FALSE));
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
    EXPECT_EQ(SendMessageW(UsbThreatList(main), LVM_GETITEMCOUNT, 0, 0), 1);
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

TEST_F(Program, WithoutItsSettingsKeyTheProgramStillRunsButShowsNoPopup)
{
    // A key nobody may open stands in for a user who may not write HKLM.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\vormtalware", 0, WRITE_DAC | READ_CONTROL, &key),
              ERROR_SUCCESS);
    SECURITY_DESCRIPTOR locked;
    InitializeSecurityDescriptor(&locked, SECURITY_DESCRIPTOR_REVISION);
    ACL emptyAcl;
    InitializeAcl(&emptyAcl, sizeof emptyAcl, ACL_REVISION);
    SetSecurityDescriptorDacl(&locked, TRUE, &emptyAcl, FALSE);
    ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &locked), ERROR_SUCCESS);
    HKEY probe = nullptr;
    const bool enforced =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\vormtalware", 0, KEY_ALL_ACCESS, &probe) != ERROR_SUCCESS;
    if (probe)
        RegCloseKey(probe);

    if (enforced) {
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

    // Open again for everyone.
    SetSecurityDescriptorDacl(&locked, TRUE, nullptr, FALSE);
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &locked);
    RegCloseKey(key);
    if (!enforced)
        GTEST_SKIP() << "this Wine does not enforce registry key security";
}

TEST_F(Program, HelpFromAFolderWithBlanksOpensTheHelpFileByItsFullPath)
{
    // The program in a folder whose path holds blanks, with its help file;
    // the shell hands ".chm" files to a recorder.
    const std::string installed = folder / "Program Files\\Vardenix Test";
    MakeFolder(folder / "Program Files");
    MakeFolder(installed);
    const std::string blankExe = installed + "\\vardenix.exe";
    ASSERT_TRUE(CopyFileA(exe.c_str(), blankExe.c_str(), FALSE));
    MakeFile(installed + "\\Tollmark.chm", "ITSF");
    const std::string log = folder / "opened.txt";
    ShellAssociation chm(".chm", RecordOpenCommand(log));

    ProgramUnderTest program;
    ASSERT_TRUE(program.Start(blankExe));
    HWND main = FindMainWindow(program);
    ASSERT_NE(main, nullptr);
    HWND infoPage = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (infoPage = PageWith(main, 1049, 1050)) != nullptr; }));
    const std::vector<std::string> opened = {installed + "\\Tollmark.chm"};

    // The help button of the information page.
    PostMessageW(infoPage, WM_COMMAND, MAKEWPARAM(1005, BN_CLICKED), 0);
    ASSERT_TRUE(WaitFor([&] { return !RecordedLines(log).empty(); }));
    EXPECT_EQ(RecordedLines(log), opened);

    // F1 in the main window: the system turns the key into a help request.
    DeleteFileA(log.c_str());
    SendMessageW(main, 1025, 0, WM_LBUTTONDOWN);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == main; }));
    keybd_event(VK_F1, 0, 0, 0);
    keybd_event(VK_F1, 0, KEYEVENTF_KEYUP, 0);
    ASSERT_TRUE(WaitFor([&] { return !RecordedLines(log).empty(); }));
    EXPECT_EQ(RecordedLines(log), opened);
    EXPECT_EQ(program.FindMessageBox(), nullptr) << "no \"Документ не найден\"";

    PostMessageW(main, WM_COMMAND, 1062, 0);
    EXPECT_TRUE(program.WaitForExit(10000));
}
