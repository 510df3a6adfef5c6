#include "TestPrograms.h"
#include "support/TestDrive.h"
#include "tools/RiskyProcesses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

bool Lists(const std::vector<ListedProcess>& listed, DWORD id)
{
    return std::any_of(listed.begin(), listed.end(), [id](const ListedProcess& p) { return p.id == id; });
}

}  // namespace

TEST(ProcessLookup, TheSystemFolderSearchFindsFilesInOrderAndNeverOverrunsItsBuffer)
{
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::pair<const char*, std::string> cases[] = {
        {"notepad.exe", std::string(windows) + "\\notepad.exe"},  // in system32 too: the Windows folder comes first
        {"kernel32.dll", std::string(windows) + "\\system32\\kernel32.dll"},
        {"system32", ""},  // a folder is no hit
        {"vardenix-no-such-program.exe", ""},
    };
    for (const auto& c : cases) {
        char path[kLookupPathSize] = {};
        EXPECT_EQ(FindInSystemFolders(c.first, path), !c.second.empty()) << c.first;
        EXPECT_EQ(ExistsInSystemFolders(c.first), !c.second.empty()) << c.first;
        EXPECT_EQ(lstrcmpiA(path, c.second.c_str()), 0) << path;
    }
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(FindInSystemFolders("notepad.exe", small, 8));
    EXPECT_EQ(std::string(small + 8, 4), "xxxx");
}

TEST(ProcessLookup, VersionBlockAndHiddenAttributeOfAFile)
{
    ProgramCopy plain("plain.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramCopy versioned("versioned.exe", FILE_ATTRIBUTE_NORMAL, true);
    ASSERT_GT(GetFileVersionInfoSizeA(versioned.Path().c_str(), nullptr), 512u) << "a block larger than the buffer";
    // A file whose attributes cannot be read is no evidence of a hidden program.
    const std::string missing = plain.Path() + ".missing";
    const std::tuple<std::string, bool, bool> cases[] = {
        {plain.Path(), false, true}, {versioned.Path(), true, false}, {missing, false, false}};
    for (const auto& c : cases) {
        ProcessFile file;
        file.path = std::get<0>(c);
        file.ReadAttributes();
        EXPECT_EQ(HasVersionInfo(file.path.c_str()), std::get<1>(c)) << file.path;
        EXPECT_EQ(file.IsHidden(), std::get<2>(c)) << file.path;
    }
}

// A cached pass lists exactly what a pass without the cache lists, as files
// are hidden and shown, replaced, and names come to the system folders.
TEST(ProcessLookup, ACachedPassListsWhatAnUncachedPassLists)
{
    SystemFileName systemName("vardenix-system.exe");
    ProgramCopy copies[] = {{"notepad.exe", FILE_ATTRIBUTE_HIDDEN},
                            {"vardenix-system.exe", FILE_ATTRIBUTE_HIDDEN, true},
                            {"notepad.exe", FILE_ATTRIBUTE_NORMAL},
                            {"vardenix-probe.exe", FILE_ATTRIBUTE_HIDDEN}};
    ProgramUnderTest processes[4];
    for (int k = 0; k < 4; ++k)
        StartIdleProcess(processes[k], copies[k].Path());

    ProcessLookupCache caches[2];
    const ListingRule rules[] = {ListingRule::Monitor, ListingRule::Refresh};
    // Whether the cached monitor lists `process`, once both rules agreed with a pass afresh.
    auto monitorLists = [&](const ProgramUnderTest& process) {
        for (int r = 0; r < 2; ++r) {
            ListRiskyProcesses(rules[r], caches[r]);
            ProcessLookupCache none(false);
            EXPECT_EQ(ListRiskyProcesses(rules[r], caches[r]), ListRiskyProcesses(rules[r], none)) << "rule " << r;
        }
        return Lists(ListRiskyProcesses(ListingRule::Monitor, caches[0]), process.ProcessId());
    };

    EXPECT_TRUE(monitorLists(processes[0]));
    EXPECT_FALSE(monitorLists(processes[1])) << "it has a version block";
    SetFileAttributesA(copies[0].Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(copies[2].Path().c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_FALSE(monitorLists(processes[0])) << "shown";
    EXPECT_TRUE(monitorLists(processes[2])) << "hidden";

    // The same path, now a file without a version block.
    processes[1].Kill();
    SetFileAttributesA(copies[1].Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileA(copies[0].Path().c_str(), copies[1].Path().c_str(), FALSE));
    SetFileAttributesA(copies[1].Path().c_str(), FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest restarted;
    StartIdleProcess(restarted, copies[1].Path());
    EXPECT_TRUE(monitorLists(restarted)) << "replaced";

    EXPECT_FALSE(monitorLists(processes[3]));
    {
        SystemFileName probeName("vardenix-probe.exe");
        EXPECT_TRUE(monitorLists(processes[3])) << "named like a system file now";
    }
    EXPECT_FALSE(monitorLists(processes[3])) << "no longer";
}

// Only the very process that was listed is opened: not a later one given its
// identifier, nor one that runs another file or has another name.
TEST(ProcessLookup, AListedProcessOpensOnlyWhileItIsTheSameProcess)
{
    ProgramCopy copy("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest process;
    StartIdleProcess(process, copy.Path());
    ProcessLookupCache cache;
    const std::vector<ListedProcess> listed = ListRiskyProcesses(ListingRule::Refresh, cache);
    auto found = std::find_if(listed.begin(), listed.end(),
                              [&](const ListedProcess& p) { return p.id == process.ProcessId(); });
    ASSERT_NE(found, listed.end());
    ASSERT_NE(found->created, 0u);

    std::vector<ListedProcess> others(4, *found);
    others[0].created += 1;
    others[1].path += ".other";
    others[2].name = "write.exe";
    others[3].id = 0;
    HANDLE handle = OpenListedProcess(*found, SYNCHRONIZE);
    EXPECT_NE(handle, nullptr);
    CloseHandle(handle);
    for (const ListedProcess& other : others)
        EXPECT_EQ(OpenListedProcess(other, SYNCHRONIZE), nullptr) << other.id << " " << other.name << " " << other.path;
    EXPECT_TRUE(process.IsRunning());
    process.Kill();
    EXPECT_EQ(OpenListedProcess(*found, SYNCHRONIZE), nullptr) << "ended";
}
