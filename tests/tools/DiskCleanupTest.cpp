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

bool ExistsW(const std::wstring& path)
{
    return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Every file goes, whatever its attributes, its name or the length of its path;
// every folder stays. Depth first: a folder's files, then its folders, the one
// the file system lists last first.
TEST(DiskCleanup, DeletesEveryFileDepthFirstAtAnyLengthAndKeepsEveryFolder)
{
    ScratchDir temp;
    const std::wstring shownRoot = Widen(temp.Path()) + L"\\", longRoot = L"\\\\?\\" + shownRoot;
    std::wstring chain = L"B\\deep";
    while (chain.size() < 300)
        chain += L"\\" + std::wstring(40, L'д');
    // Each folder's files in the order the walk reaches them.
    const std::pair<std::wstring, DWORD> files[] = {
        {L"x.tmp", FILE_ATTRIBUTE_NORMAL},
        {L"A\\日本語.txt", FILE_ATTRIBUTE_NORMAL},
        {L"A\\deep\\Ωμέγα.txt", FILE_ATTRIBUTE_READONLY},
        {L"B\\f.tmp", FILE_ATTRIBUTE_NORMAL},
        {L"B\\deep\\f.tmp", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
        {chain + L"\\файл.tmp", FILE_ATTRIBUTE_NORMAL},
    };
    for (const auto& [file, attributes] : files) {
        for (size_t slash = file.find(L'\\'); slash != std::wstring::npos; slash = file.find(L'\\', slash + 1))
            CreateDirectoryW((longRoot + file.substr(0, slash)).c_str(), nullptr);
        const HANDLE handle =
            CreateFileW((longRoot + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << Narrow(file);
        CloseHandle(handle);
    }
    std::vector<std::wstring> listed;  // the top folders in the order the file system lists them
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((shownRoot + L"*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (found.cFileName[0] != L'.' && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            listed.push_back(std::wstring(found.cFileName) + L"\\");
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::vector<Report> expected = {{shownRoot + files[0].first, IDS_DELETED}};
    for (auto folder = listed.rbegin(); folder != listed.rend(); ++folder) {
        for (const auto& file : files) {
            if (file.first.compare(0, folder->size(), *folder) == 0)
                expected.emplace_back(shownRoot + file.first, IDS_DELETED);
        }
    }

    EXPECT_EQ(Clean(shownRoot), expected);
    for (const auto& file : files)
        EXPECT_FALSE(ExistsW(shownRoot + file.first)) << Narrow(file.first);
    EXPECT_TRUE(ExistsW(shownRoot + L"A\\deep") && ExistsW(shownRoot + chain));
    EXPECT_TRUE(Clean(Widen(temp.Path())).empty()) << "an empty tree reports nothing";
    for (std::wstring folder = chain; folder.size() > 6; folder.resize(folder.rfind(L'\\')))
        RemoveDirectoryW((longRoot + folder).c_str());
}

TEST(DiskCleanup, NothingOutsideTheFolderIsReachedThroughALink)
{
    ScratchDir outside, temp;
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

    const std::vector<Report> reports = Clean(Widen(temp.Path()));
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

TEST(DiskCleanup, AFolderThatHoldsTheSystemOrIsADriveRootIsNeverEmptied)
{
    TestDrive drive('T', DRIVE_FIXED);
    MakeFolder(drive / "sub");
    MakeFile(drive / "keep.txt", "keep");
    wchar_t windows[MAX_PATH], profile[MAX_PATH], temp[MAX_PATH + 1];
    ASSERT_TRUE(GetWindowsDirectoryW(windows, MAX_PATH) && GetTempPathW(MAX_PATH + 1, temp));
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, profile, CSIDL_PROFILE, FALSE));
    const std::wstring profileParent = std::wstring(profile).substr(0, std::wstring(profile).rfind(L'\\'));

    const std::pair<std::wstring, bool> cases[] = {
        {L"T:\\", false}, {L"T:", false}, {L"T:\\sub", true}, {L"C:\\", false}, {windows, false},
        {std::wstring(windows) + L"\\system32", false}, {std::wstring(windows) + L"\\temp", true},
        {profile, false}, {profileParent, false}, {temp, true},
    };
    for (const auto& [folder, safe] : cases)
        EXPECT_EQ(IsFolderSafeToEmpty(folder), safe) << Narrow(folder);

    EXPECT_TRUE(Clean(L"T:\\").empty());
    EXPECT_EQ(ReadWholeFile(drive / "keep.txt"), "keep");
}
