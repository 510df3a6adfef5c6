#include "framework/Text.h"
#include "res/resource.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"
#include "tools/DiskCleanup.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <wininet.h>

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

// A committed URL-cache entry with a local file and `headerSize` bytes of
// header; its local file name.
std::wstring CacheEntry(const std::wstring& url, size_t headerSize)
{
    wchar_t local[MAX_PATH] = {};
    EXPECT_TRUE(CreateUrlCacheEntryW(url.c_str(), 0, L"html", local, 0));
    MakeFile(Narrow(local), "cached");
    std::wstring header(headerSize, L'h');
    FILETIME never = {};
    EXPECT_TRUE(CommitUrlCacheEntryW(url.c_str(), local, never, never, NORMAL_CACHE_ENTRY, &header[0],
                                     static_cast<DWORD>(header.size()), nullptr, nullptr));
    return local;
}

}  // namespace

TEST(DiskCleanup, DeletesEveryFileDepthFirstAndKeepsEveryFolder)
{
    ScratchDir temp;
    for (const char* folder : {"A", "A\\deep", "B", "B\\deep"})
        MakeFolder(temp / folder);
    MakeFile(temp / "x.tmp");
    MakeFile(temp / "A\\a.tmp");
    MakeFile(temp / "A\\deep\\a2.tmp", "", FILE_ATTRIBUTE_READONLY);
    MakeFile(temp / "B\\b.tmp");
    MakeFile(temp / "B\\deep\\b2.tmp", "", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

    // Whatever order the file system keeps, the folder it lists later comes first.
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((temp / "*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    std::string lastFound;
    do {
        if (found.cFileName[0] != '.' && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            lastFound = found.cFileName;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    const bool bFirst = lastFound == "B";
    const std::vector<Report> expected = {
        {Widen(temp / "x.tmp"), IDS_DELETED},
        {Widen(temp / (bFirst ? "B\\b.tmp" : "A\\a.tmp")), IDS_DELETED},
        {Widen(temp / (bFirst ? "B\\deep\\b2.tmp" : "A\\deep\\a2.tmp")), IDS_DELETED},
        {Widen(temp / (bFirst ? "A\\a.tmp" : "B\\b.tmp")), IDS_DELETED},
        {Widen(temp / (bFirst ? "A\\deep\\a2.tmp" : "B\\deep\\b2.tmp")), IDS_DELETED},
    };
    EXPECT_EQ(Clean(temp.Path() + "\\"), expected);
    for (const char* folder : {"A", "A\\deep", "B", "B\\deep"})
        EXPECT_TRUE(PathExists(temp / folder)) << folder;
    EXPECT_TRUE(Clean(temp.Path()).empty()) << "an empty tree reports nothing";
}

TEST(DiskCleanup, ALockedFileStaysAsItWasAndTheRestGoes)
{
    ScratchDir temp;
    MakeFile(temp / "a.tmp");
    MakeFile(temp / "locked.tmp", "in use", FILE_ATTRIBUTE_READONLY);
    MakeFile(temp / "c.tmp");
    const HANDLE hold =
        CreateFileA((temp / "locked.tmp").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    const std::vector<Report> reports = Clean(temp.Path());
    CloseHandle(hold);

    EXPECT_EQ(std::set<Report>(reports.begin(), reports.end()),
              (std::set<Report>{{Widen(temp / "a.tmp"), IDS_DELETED},
                                {Widen(temp / "locked.tmp"), IDS_DELETE_ERROR},
                                {Widen(temp / "c.tmp"), IDS_DELETED}}));
    EXPECT_EQ(ReadWholeFile(temp / "locked.tmp"), "in use");
    EXPECT_TRUE(GetFileAttributesA((temp / "locked.tmp").c_str()) & FILE_ATTRIBUTE_READONLY);
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

TEST(DiskCleanup, PurgeUrlCacheDeletesEveryEntryAndListsItsFile)
{
    const std::wstring small = CacheEntry(L"http://vardenix.test/small.html", 0);
    // Its entry does not fit the first 4096-byte buffer.
    const std::wstring large = CacheEntry(L"http://vardenix.test/large.html", 6000);
    std::vector<Report> reports;
    PurgeUrlCache([&](const std::wstring& shown, UINT result) { reports.emplace_back(shown, result); });

    const std::set<Report> listed(reports.begin(), reports.end());
    EXPECT_TRUE(listed.count({small, IDS_URL_CACHE_DELETED}));
    EXPECT_TRUE(listed.count({large, IDS_URL_CACHE_DELETED}));
    for (const Report& report : reports)
        EXPECT_EQ(report.second, static_cast<UINT>(IDS_URL_CACHE_DELETED));
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoW(L"http://vardenix.test/large.html", nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(ExistsW(small));
}
