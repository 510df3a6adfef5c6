#include "TestPrograms.h"
#include "support/TestDrive.h"
#include "tools/ProcessLookup.h"
#include "tools/RiskyProcesses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string WindowsFolder()
{
    char folder[MAX_PATH] = {};
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

// The listed process of `id`, or null.
const ListedProcess* Find(const std::vector<ListedProcess>& listed, DWORD id)
{
    auto found = std::find_if(listed.begin(), listed.end(), [id](const ListedProcess& p) { return p.id == id; });
    return found == listed.end() ? nullptr : &*found;
}

}  // namespace

TEST(ProcessLookup, TheExecutableOfARunningProcessComesFromItsModules)
{
    char own[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, own, MAX_PATH);
    MODULEENTRY32 module = {};
    module.dwSize = sizeof module;
    ASSERT_TRUE(GetProcessExePath(GetCurrentProcessId(), &module));
    EXPECT_STREQ(module.szExePath, own);

    ProgramCopy copy("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest process;
    StartIdleProcess(process, copy.Path());
    ASSERT_TRUE(GetProcessExePath(process.ProcessId(), &module));
    EXPECT_EQ(copy.Path(), module.szExePath);
    EXPECT_EQ(module.th32ProcessID, process.ProcessId());

    const DWORD ended = process.ProcessId();
    process.Kill();
    EXPECT_FALSE(GetProcessExePath(ended, &module));
    EXPECT_FALSE(GetProcessExePath(0, &module));
}

TEST(ProcessLookup, TheSystemFolderSearchFindsFilesOnlyInOrder)
{
    const std::string windows = WindowsFolder();
    struct Case {
        const char* name;
        std::string found;  // empty: not found
    } cases[] = {
        {"notepad.exe", windows + "\\notepad.exe"},  // in the Windows folder and in system32: the first wins
        {"kernel32.dll", windows + "\\system32\\kernel32.dll"},
        {"system32", ""},  // a folder of that name is no hit
        {"vardenix-no-such-program.exe", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        char path[kLookupPathSize] = {};
        EXPECT_EQ(FindInSystemFolders(c.name, path), !c.found.empty());
        EXPECT_EQ(ExistsInSystemFolders(c.name), !c.found.empty());
        EXPECT_TRUE(c.found.empty() || lstrcmpiA(path, c.found.c_str()) == 0) << path;
    }

    // A buffer too small for the hit is refused and written no further than its size.
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(FindInSystemFolders("notepad.exe", small, 8));
    EXPECT_EQ(std::string(small + 8, 4), "xxxx");
}

TEST(ProcessLookup, VersionBlockAndHiddenAttributeOfAFile)
{
    ScratchDir folder;
    ProgramCopy plain("plain.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramCopy versioned("versioned.exe", FILE_ATTRIBUTE_NORMAL, true);
    const std::string missing = folder / "missing.exe";
    struct Case {
        std::string path;
        bool hasVersion;
        bool hidden;
    } cases[] = {
        {plain.Path(), false, true},
        {versioned.Path(), true, false},  // a block larger than the buffer still counts
        // Unreadable attributes are no evidence of a hidden program.
        {missing, false, false},
    };
    ASSERT_GT(GetFileVersionInfoSizeA(versioned.Path().c_str(), nullptr), 512u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(HasVersionInfo(c.path.c_str()), c.hasVersion);
        ProcessFile file;
        file.path = c.path;
        file.ReadAttributes();
        EXPECT_EQ(file.IsHidden(), c.hidden);
    }
}

// A cached pass lists exactly what a pass without the cache lists, as files
// are hidden and shown, replaced, and names come to the system folders.
TEST(ProcessLookup, ACachedPassListsWhatAnUncachedPassLists)
{
    ProgramCopy disguised("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    SystemFileName systemName("vardenix-system.exe");
    ProgramCopy versioned("vardenix-system.exe", FILE_ATTRIBUTE_HIDDEN, true);
    ProgramCopy visible("notepad.exe", FILE_ATTRIBUTE_NORMAL);
    ProgramCopy unknown("vardenix-probe.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest processes[4];
    const ProgramCopy* copies[4] = {&disguised, &versioned, &visible, &unknown};
    for (int k = 0; k < 4; ++k)
        StartIdleProcess(processes[k], copies[k]->Path());

    ProcessLookupCache caches[] = {ProcessLookupCache(), ProcessLookupCache()};  // monitor, refresh
    const ListingRule rules[] = {ListingRule::Monitor, ListingRule::Refresh};
    auto expectSameAsUncached = [&](const char* when) {
        SCOPED_TRACE(when);
        for (int r = 0; r < 2; ++r) {
            ListRiskyProcesses(rules[r], caches[r]);
            const std::vector<ListedProcess> cached = ListRiskyProcesses(rules[r], caches[r]);
            ProcessLookupCache none(false);
            EXPECT_EQ(cached, ListRiskyProcesses(rules[r], none)) << "rule " << r;
        }
    };
    auto monitorLists = [&](const ProgramUnderTest& process) {
        return Find(ListRiskyProcesses(ListingRule::Monitor, caches[0]), process.ProcessId()) != nullptr;
    };

    expectSameAsUncached("at first");
    EXPECT_TRUE(monitorLists(processes[0]));
    EXPECT_FALSE(monitorLists(processes[1]));

    SetFileAttributesA(disguised.Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(visible.Path().c_str(), FILE_ATTRIBUTE_HIDDEN);
    expectSameAsUncached("hidden and shown");
    EXPECT_FALSE(monitorLists(processes[0]));
    EXPECT_TRUE(monitorLists(processes[2]));

    // The same path, now a file without a version block.
    processes[1].Kill();
    SetFileAttributesA(versioned.Path().c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileA(disguised.Path().c_str(), versioned.Path().c_str(), FALSE));
    SetFileAttributesA(versioned.Path().c_str(), FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest restarted;
    StartIdleProcess(restarted, versioned.Path());
    expectSameAsUncached("replaced");
    EXPECT_TRUE(monitorLists(restarted));

    // A name that only now exists in system32.
    EXPECT_FALSE(monitorLists(processes[3]));
    {
        SystemFileName probeName("vardenix-probe.exe");
        expectSameAsUncached("named like a system file");
        EXPECT_TRUE(monitorLists(processes[3]));
    }
    expectSameAsUncached("no longer named like a system file");
    EXPECT_FALSE(monitorLists(processes[3]));
}

// Only the very process that was listed is opened: not a later one that was
// given its identifier, nor one that now runs another file.
TEST(ProcessLookup, AListedProcessOpensOnlyWhileItIsTheSameProcess)
{
    ProgramCopy copy("notepad.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramCopy other("write.exe", FILE_ATTRIBUTE_HIDDEN);
    ProgramUnderTest process;
    StartIdleProcess(process, copy.Path());
    ProcessLookupCache cache;
    const std::vector<ListedProcess> listed = ListRiskyProcesses(ListingRule::Refresh, cache);
    const ListedProcess* found = Find(listed, process.ProcessId());
    ASSERT_NE(found, nullptr);
    ASSERT_NE(found->created, 0u);

    ListedProcess later = *found;
    later.created += 1;
    ListedProcess otherFile = *found;
    otherFile.path = other.Path();
    ListedProcess otherName = *found;
    otherName.name = "write.exe";
    ListedProcess gone = *found;
    gone.id = 0;
    struct Case {
        const char* what;
        const ListedProcess* process;
        bool opens;
    } cases[] = {
        {"as listed", found, true},
        {"created later", &later, false},
        {"another file", &otherFile, false},
        {"another name", &otherName, false},
        {"identifier 0", &gone, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HANDLE handle = OpenListedProcess(*c.process, SYNCHRONIZE);
        EXPECT_EQ(handle != nullptr, c.opens);
        if (handle)
            CloseHandle(handle);
    }
    EXPECT_TRUE(process.IsRunning());

    const ListedProcess ended = *found;
    process.Kill();
    EXPECT_EQ(OpenListedProcess(ended, SYNCHRONIZE), nullptr);
}
