#include "framework/Text.h"
#include "quarantine/ScanWalk.h"
#include "support/ShortcutWriter.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr DWORD kHidden = FILE_ATTRIBUTE_HIDDEN;

// The names a search of `folder` returns, in the file system's order.
std::vector<std::string> FindOrder(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

class ScanWalkTest : public ::testing::Test {
protected:
    std::vector<std::string> Walk(const std::string& root)
    {
        std::vector<std::string> listed;
        const int count = WalkForSuspiciousFiles(root, scanning_,
                                                 [&](const std::string& path, ListedAs) { listed.push_back(path); });
        EXPECT_EQ(count, static_cast<int>(listed.size()));
        return listed;
    }

    TestDrive drive_{'R', DRIVE_REMOVABLE};
    ScanFlag scanning_{1};
};

}  // namespace

TEST_F(ScanWalkTest, ListsWhatTheRuleListsInEveryKindOfFolder)
{
    MakeFolder(drive_ / "hid", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    MakeFolder(drive_ / "hid\\deep");
    const std::string at[] = {drive_ / "", drive_ / "hid\\", drive_ / "hid\\deep\\"};
    std::set<std::string> expected;
    for (const std::string& folder : at) {
        MakeFile(folder + "hidden.exe", "MZ", kHidden);
        MakeFile(folder + "SETUP.EXE", "MZ");  // visible: not listed
        MakeFile(folder + "a.com", "", kHidden | FILE_ATTRIBUTE_SYSTEM);
        MakeFile(folder + "a.bat", "", kHidden);
        MakeFile(folder + "autorun.inf", "", kHidden);
        MakeFile(folder + "visible.inf", "");
        for (const char* always : {"a.pif", "b.vbs", "c.vb", "d.VBE"}) {
            MakeFile(folder + always, "");
            expected.insert(folder + always);
        }
        MakeFile(folder + "hidden.vbs", "", kHidden);
        MakeFile(folder + "hidden.dll", "", kHidden);
        MakeFile(folder + "hidden.lnk", "", kHidden);
        MakeFile(folder + "hidden.scr", "", kHidden);
        MakeFile(folder + "x.vbs.txt", "");
        for (const char* name : {"hidden.exe", "a.com", "a.bat", "autorun.inf", "hidden.vbs"})
            expected.insert(folder + name);
    }
    MakeFolder(drive_ / "folder.vbs");  // a directory is never a file of the rule

    const std::vector<std::string> listed = Walk(drive_.Root());
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), expected);
    EXPECT_EQ(listed.size(), expected.size()) << "a file listed twice";
}

TEST_F(ScanWalkTest, FilesComeFirstThenTheFolderFoundLastWithItsWholeTree)
{
    for (const char* folder : {"A", "A\\deep", "B", "B\\deep"})
        MakeFolder(drive_ / folder);
    for (const char* file : {"A\\a.vbs", "A\\deep\\a2.vbs", "B\\b.vbs", "B\\deep\\b2.vbs", "x.vbs"})
        MakeFile(drive_ / file);

    // Whatever order the file system keeps, the folder it returns later is walked first.
    const std::vector<std::string> order = FindOrder(drive_.Root());
    const bool bFoundLast = std::find(order.begin(), order.end(), "B") > std::find(order.begin(), order.end(), "A");
    const std::string first = bFoundLast ? "B" : "A";
    const std::string second = bFoundLast ? "A" : "B";
    const std::string lower1 = bFoundLast ? "b" : "a";
    const std::string lower2 = bFoundLast ? "a" : "b";
    const std::vector<std::string> expected = {
        drive_ / "x.vbs",
        drive_ / (first + "\\" + lower1 + ".vbs"), drive_ / (first + "\\deep\\" + lower1 + "2.vbs"),
        drive_ / (second + "\\" + lower2 + ".vbs"), drive_ / (second + "\\deep\\" + lower2 + "2.vbs"),
    };
    EXPECT_EQ(Walk(drive_.Root()), expected);
}

TEST_F(ScanWalkTest, AClearedFlagEndsTheWalkAtTheNextEntryOrFolder)
{
    for (int folder = 0; folder < 5; ++folder) {
        MakeFolder(drive_ / ("d" + std::to_string(folder)));
        for (int file = 0; file < 5; ++file)
            MakeFile(drive_ / ("d" + std::to_string(folder) + "\\f" + std::to_string(file) + ".vbs"));
    }
    std::vector<std::string> listed;
    WalkForSuspiciousFiles(drive_.Root(), scanning_, [&](const std::string& path, ListedAs) {
        listed.push_back(path);
        if (listed.size() == 3)
            scanning_.store(0);
    });
    EXPECT_EQ(listed.size(), 3u);

    // The last file of a folder: the flag is then seen before the next folder.
    listed.clear();
    scanning_.store(1);
    WalkForSuspiciousFiles(drive_.Root(), scanning_, [&](const std::string& path, ListedAs) {
        listed.push_back(path);
        if (listed.size() == 5)
            scanning_.store(0);
    });
    EXPECT_EQ(listed.size(), 5u);

    EXPECT_TRUE(Walk(drive_.Root()).empty()) << "a walk started with the flag clear reads nothing";
}

TEST_F(ScanWalkTest, ALinkBackIntoTheTreeIsNotFollowed)
{
    MakeFolder(drive_ / "loop");
    MakeFolder(drive_ / "loop\\inner");
    MakeFile(drive_ / "loop\\inner\\x.vbs");
    const std::string inner = drive_ / "loop\\inner";
    if (!MakeUnixLink("..", inner, "up") || !MakeUnixLink(UnixPathOf(drive_ / "loop"), inner, "abs"))
        GTEST_SKIP() << "cannot make a Unix symbolic link here";

    // Wine shows a Unix link to a folder as a directory reparse point, and the
    // file is reachable through it: a walk that followed it would never end.
    EXPECT_EQ(GetFileAttributesA((inner + "\\up").c_str()),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    EXPECT_TRUE(PathExists(inner + "\\up\\inner\\up\\inner\\x.vbs"));

    // A walk that did follow it lists the file again and again; the first
    // repeat stops it, so that this test fails rather than hangs.
    std::vector<std::string> listed;
    WalkForSuspiciousFiles(drive_.Root(), scanning_, [&](const std::string& path, ListedAs) {
        listed.push_back(path);
        if (listed.size() > 1)
            scanning_.store(0);
    });
    EXPECT_EQ(listed, std::vector<std::string>{drive_ / "loop\\inner\\x.vbs"});
    RemoveUnixLink(inner, "up");
    RemoveUnixLink(inner, "abs");
}

// Decoys beside the user's documents in subfolders, a launcher beside a
// portable program, the user's own shortcut to an editor: each decoy is
// listed, followed by what it starts, and nothing twice.
TEST_F(ScanWalkTest, DecoysAnywhereAreListedWithTheFilesTheyStart)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    MakeFolder(drive_ / "Docs");
    MakeFolder(drive_ / "Docs\\old");
    MakeFile(drive_ / "Docs\\report.docx", "PK");
    MakeFile(drive_ / "Docs\\~$data.ini", "Execute 1", kHidden);
    MakeFile(drive_ / "Docs\\old\\plan.docx", "PK");
    MakeFolder(drive_ / "lib", kHidden);
    MakeFile(drive_ / "lib\\svc.exe", "MZ", kHidden);
    MakeFolder(drive_ / "Apps");
    MakeFolder(drive_ / "Apps\\Tool");
    MakeFile(drive_ / "Apps\\Tool\\tool.exe", "MZ");
    ShortcutSpec report;
    report.idListTarget = std::wstring(system) + L"\\wscript.exe";
    report.arguments = L"//b //e:vbscript \"" + Widen(drive_ / "Docs\\~$data.ini") + L"\" & start report.docx";
    WriteShortcut(Widen(drive_ / "Docs\\report.lnk"), report);
    ShortcutSpec plan;
    plan.idListTarget = Widen(drive_ / "lib\\svc.exe");
    WriteShortcut(Widen(drive_ / "Docs\\old\\plan.docx.lnk"), plan);
    ASSERT_TRUE(SaveShellShortcut(Widen(drive_ / "Apps\\Tool.lnk"), Widen(drive_ / "Apps\\Tool\\tool.exe"), L""));
    ASSERT_TRUE(SaveShellShortcut(Widen(drive_ / "Docs\\Editor.lnk"), L"C:\\windows\\notepad.exe",
                                  Widen(drive_ / "Docs\\report.docx")));

    std::vector<std::pair<std::string, ListedAs>> listed;
    WalkForSuspiciousFiles(drive_.Root(), scanning_,
                           [&](const std::string& path, ListedAs as) { listed.emplace_back(path, as); });
    // Either the hidden program is walked first or its decoy is: once it is.
    const auto svc = std::make_pair(drive_ / "lib\\svc.exe", ListedAs::Suspicious);
    const auto svcNamed = std::make_pair(drive_ / "lib\\svc.exe", ListedAs::WormFile);
    std::vector<std::pair<std::string, ListedAs>> expected = {
        {drive_ / "Docs\\report.lnk", ListedAs::WormShortcut},
        {drive_ / "Docs\\~$data.ini", ListedAs::WormFile},
        {drive_ / "Docs\\old\\plan.docx.lnk", ListedAs::WormShortcut},
    };
    const bool programFirst = std::find(listed.begin(), listed.end(), svc) != listed.end();
    expected.push_back(programFirst ? svc : svcNamed);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}
