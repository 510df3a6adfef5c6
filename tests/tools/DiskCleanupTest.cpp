#include "framework/Text.h"
#include "res/resource.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"
#include "tools/DiskCleanup.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Report = std::pair<std::wstring, UINT>;

std::vector<Report> Clean(const std::wstring& folder)
{
    std::vector<Report> reports;
    DeleteFolderFiles(folder, [&](const std::wstring& shown, UINT result) { reports.emplace_back(shown, result); });
    return reports;
}

std::vector<Report> Clean(const std::string& folder)
{
    return Clean(Widen(folder));
}

bool ExistsW(const std::wstring& path)
{
    return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

TEST(DiskCleanup, DeletesEveryFileDepthFirstAndKeepsEveryFolder)
{
    ScratchDir temp;
    MakeFile(temp / "x.tmp");
    for (const std::string folder : {"A", "B"}) {
        MakeFolder(temp / folder);
        MakeFolder(temp / (folder + "\\deep"));
        MakeFile(temp / (folder + "\\f.tmp"));
        MakeFile(temp / (folder + "\\deep\\f.tmp"), "",
                 folder == "A" ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
    std::vector<std::string> listed;  // the folders in the order the file system lists them
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((temp / "*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (found.cFileName[0] != '.' && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            listed.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    // A folder's files first, then its folders, the one listed last first.
    std::vector<Report> expected = {{Widen(temp / "x.tmp"), IDS_DELETED}};
    for (auto folder = listed.rbegin(); folder != listed.rend(); ++folder) {
        for (const char* file : {"\\f.tmp", "\\deep\\f.tmp"})
            expected.emplace_back(Widen(temp / (*folder + file)), IDS_DELETED);
    }
    EXPECT_EQ(Clean(temp.Path() + "\\"), expected);
    for (const char* folder : {"A", "A\\deep", "B", "B\\deep"})
        EXPECT_TRUE(PathExists(temp / folder)) << folder;
    EXPECT_TRUE(Clean(temp.Path()).empty()) << "an empty tree reports nothing";
}

TEST(DiskCleanup, NothingOutsideTheFolderIsReachedThroughALink)
{
    ScratchDir outside;
    ScratchDir temp;
    MakeFolder(outside / "sub");
    MakeFile(outside / "doc.txt", "thesis");
    MakeFile(outside / "sub\\doc2.txt", "notes");
    MakeFolder(temp / "installer");
    MakeFile(temp / "installer\\setup.tmp");
    const std::string unixOutside = UnixPathOf(outside.Path());
    if (!MakeUnixLink(unixOutside, temp.Path(), "documents") ||
        !MakeUnixLink(unixOutside + "/doc.txt", temp.Path(), "doc-link.txt") ||
        !MakeUnixLink("..", temp / "installer", "up"))
        GTEST_SKIP() << "cannot make a Unix symbolic link here";

    const std::vector<Report> reports = Clean(temp.Path());
    RemoveUnixLink(temp.Path(), "documents");
    RemoveUnixLink(temp.Path(), "doc-link.txt");
    RemoveUnixLink(temp / "installer", "up");

    EXPECT_EQ(ReadWholeFile(outside / "doc.txt"), "thesis");
    EXPECT_EQ(ReadWholeFile(outside / "sub\\doc2.txt"), "notes");
    EXPECT_FALSE(PathExists(temp / "installer\\setup.tmp"));
    // The link to a file may go as a link; Wine shows it as the file it points
    // at, which stays.
    std::set<std::wstring> shown;
    for (const Report& report : reports)
        shown.insert(report.first);
    EXPECT_EQ(shown, (std::set<std::wstring>{Widen(temp / "doc-link.txt"), Widen(temp / "installer\\setup.tmp")}));
}

TEST(DiskCleanup, PathsOfAnyLengthAndNamesBeyondTheCodePageAreDeleted)
{
    ScratchDir temp;
    std::vector<std::wstring> folders;
    std::wstring deep = Widen(temp.Path());
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(40, L'д');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
        folders.push_back(deep);
    }
    const std::vector<std::wstring> files = {deep + L"\\файл.tmp", Widen(temp.Path()) + L"\\日本語.txt",
                                             Widen(temp.Path()) + L"\\Ωμέγα.txt"};
    for (const std::wstring& file : files) {
        const HANDLE handle =
            CreateFileW((L"\\\\?\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        CloseHandle(handle);
    }

    const std::vector<Report> reports = Clean(temp.Path());
    EXPECT_EQ(std::set<Report>(reports.begin(), reports.end()),
              (std::set<Report>{{files[0], IDS_DELETED}, {files[1], IDS_DELETED}, {files[2], IDS_DELETED}}));
    for (const std::wstring& file : files)
        EXPECT_FALSE(ExistsW(file));
    EXPECT_TRUE(ExistsW(deep));
    for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
        RemoveDirectoryW((L"\\\\?\\" + *folder).c_str());
}

TEST(DiskCleanup, AFolderThatHoldsTheSystemOrIsADriveRootIsNeverEmptied)
{
    TestDrive drive('T', DRIVE_FIXED);
    MakeFolder(drive / "sub");
    MakeFile(drive / "keep.txt", "keep");
    wchar_t windows[MAX_PATH];
    wchar_t profile[MAX_PATH];
    ASSERT_TRUE(GetWindowsDirectoryW(windows, MAX_PATH));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, profile, CSIDL_PROFILE, FALSE));
    const std::wstring profileParent = std::wstring(profile).substr(0, std::wstring(profile).rfind(L'\\'));
    wchar_t temp[MAX_PATH + 1];
    ASSERT_TRUE(GetTempPathW(MAX_PATH + 1, temp));

    const std::pair<std::wstring, bool> cases[] = {
        {L"T:\\", false}, {L"T:", false}, {L"T:\\sub", true}, {L"C:\\", false}, {windows, false},
        {std::wstring(windows) + L"\\system32", false}, {std::wstring(windows) + L"\\temp", true},
        {profile, false}, {profileParent, false}, {temp, true},
    };
    for (const auto& [folder, safe] : cases)
        EXPECT_EQ(IsFolderSafeToEmpty(folder), safe) << Narrow(folder);

    EXPECT_TRUE(Clean(std::wstring(L"T:\\")).empty());
    EXPECT_EQ(ReadWholeFile(drive / "keep.txt"), "keep");
}
