#include "TestPrograms.h"
#include "support/TestDrive.h"
#include "tools/RiskyProcesses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

TEST(ProcessLookup, TheSystemFolderSearchFindsFilesInOrderAndNeverOverrunsItsBuffer)
{
    const std::pair<const char*, std::string> cases[] = {
        {"notepad.exe", WindowsFolder() + "\\notepad.exe"},  // in system32 too: the Windows folder comes first
        {"kernel32.dll", WindowsFolder() + "\\system32\\kernel32.dll"},
        {"system32", ""},  // a folder is no hit
        {"vardenix-no-such-program.exe", ""},
    };
    for (const auto& c : cases) {
        char path[kLookupPathSize] = {};
        EXPECT_EQ(FindInSystemFolders(c.first, path), !c.second.empty()) << c.first;
        EXPECT_EQ(lstrcmpiA(path, c.second.c_str()), 0) << path;
    }
    char small[12] = "xxxxxxxxxxx";
    EXPECT_FALSE(FindInSystemFolders("notepad.exe", small, 8));
    EXPECT_STREQ(small + 8, "xxx");
}

// A cached pass lists exactly what a pass without the cache lists, as files
// are hidden and shown, replaced, and names come to the system folders.
TEST(ProcessLookup, ACachedPassListsWhatAnUncachedPassLists)
{
    SystemFileName systemName("vardenix-system.exe");
    RunningCopy copies[] = {{"notepad.exe", FILE_ATTRIBUTE_HIDDEN},
                            {"vardenix-system.exe", FILE_ATTRIBUTE_HIDDEN, true},
                            {"notepad.exe", FILE_ATTRIBUTE_NORMAL},
                            {"vardenix-probe.exe", FILE_ATTRIBUTE_HIDDEN}};
    ASSERT_GT(GetFileVersionInfoSizeA(copies[1].path.c_str(), nullptr), 512u) << "larger than the buffer";
    // A file whose attributes cannot be read is no evidence of a hidden program.
    ProcessFile missing{Widen(copies[0].path + ".missing")};
    missing.ReadAttributes();
    EXPECT_FALSE(missing.IsHidden());

    ProcessLookupCache caches[2];
    const ListingRule rules[] = {ListingRule::Monitor, ListingRule::Refresh};
    // Whether the cached monitor lists process `id`, once both rules agreed with a pass afresh.
    auto monitorLists = [&](DWORD id) {
        for (int r = 0; r < 2; ++r) {
            ListRiskyProcesses(rules[r], caches[r]);
            ProcessLookupCache none(false);
            EXPECT_EQ(ListRiskyProcesses(rules[r], caches[r]), ListRiskyProcesses(rules[r], none)) << "rule " << r;
        }
        const std::vector<ListedProcess> listed = ListRiskyProcesses(ListingRule::Monitor, caches[0]);
        return std::any_of(listed.begin(), listed.end(), [id](const ListedProcess& p) { return p.id == id; });
    };

    EXPECT_TRUE(monitorLists(copies[0].Id()));
    EXPECT_FALSE(monitorLists(copies[1].Id())) << "it has a version block";
    SetFileAttributesA(copies[0].path.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(copies[2].path.c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(monitorLists(copies[0].Id())) << "shown";
    EXPECT_TRUE(monitorLists(copies[2].Id())) << "hidden";

    // The same path, now a file without a version block.
    const std::string replaced = copies[1].path;
    copies[1].process.Kill();
    SetFileAttributesA(replaced.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileA(copies[0].path.c_str(), replaced.c_str(), FALSE));
    SetFileAttributesA(replaced.c_str(), FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest restarted;
    StartIdleProcess(restarted, replaced);
    EXPECT_TRUE(monitorLists(restarted.ProcessId())) << "replaced";

    EXPECT_FALSE(monitorLists(copies[3].Id()));
    {
        SystemFileName probeName("vardenix-probe.exe");
        EXPECT_TRUE(monitorLists(copies[3].Id())) << "named like a system file now";
    }
    EXPECT_FALSE(monitorLists(copies[3].Id())) << "no longer";
}

// Only the very process that was listed is opened: not a later one given its
// identifier, nor one that runs another file or has another name.
TEST(ProcessLookup, AListedProcessOpensOnlyWhileItIsTheSameProcess)
{
    RunningCopy program("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProcessLookupCache cache;
    const std::vector<ListedProcess> listed = ListRiskyProcesses(ListingRule::Refresh, cache);
    auto found = std::find_if(listed.begin(), listed.end(),
                              [&](const ListedProcess& p) { return p.id == program.Id(); });
    ASSERT_NE(found, listed.end());
    ASSERT_NE(found->created, 0u);

    std::vector<ListedProcess> others(4, *found);
    others[0].created += 1;
    others[1].path += L".other";
    others[2].name = "write.exe";
    others[3].id = 0;
    HANDLE handle = OpenListedProcess(*found, SYNCHRONIZE);
    EXPECT_NE(handle, nullptr);
    CloseHandle(handle);
    for (const ListedProcess& other : others)
        EXPECT_EQ(OpenListedProcess(other, SYNCHRONIZE), nullptr) << other.id << " " << other.name << " " << Narrow(other.path);
    program.process.Kill();
    EXPECT_EQ(OpenListedProcess(*found, SYNCHRONIZE), nullptr) << "ended";
}

// A path the ANSI code page cannot spell is judged by the file it names: cut
// to question marks it would name no file, and a hidden program there would
// pass for one that is not hidden.
TEST(ProcessLookup, AProgramInAFolderTheCodePageCannotSpellIsJudgedByItsOwnFile)
{
    ScratchDir scratch;
    const std::wstring folder = Widen(scratch.Path()) + L"\\\u7a0b\u5e8f";
    const std::wstring path = folder + L"\\notepad.exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(Widen(WindowsPathOf(IDLE_PROGRAM)).c_str(), path.c_str(), FALSE));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN));
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &started));
    CloseHandle(started.hThread);
    ProcessLookupCache cache;
    const std::vector<ListedProcess> listed = ListRiskyProcesses(ListingRule::Monitor, cache);
    const auto found = std::find_if(listed.begin(), listed.end(),
                                    [&](const ListedProcess& p) { return p.id == started.dwProcessId; });
    EXPECT_TRUE(found != listed.end() && found->path == path);
    TerminateProcess(started.hProcess, 0);
    WaitForSingleObject(started.hProcess, 5000);
    CloseHandle(started.hProcess);
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
    RemoveDirectoryW(folder.c_str());
}
