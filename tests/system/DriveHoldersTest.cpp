// What holds a folder, read from real processes under Wine: the handle table
// named with a time limit, and a process's current folder and modules read
// from its own memory.
#include "framework/Text.h"
#include "system/HandleTable.h"
#include "system/ProcessFiles.h"
#include "tools/TestPrograms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() &&
           CompareStringOrdinal(text.c_str() + text.size() - end.size(), -1, end.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The real name query, except that it never answers for a file named
// "hang.txt": a synchronous pipe with a read pending blocks the query so on
// Windows, and Wine answers for every pipe.
NtStatus NTAPI QueryThatHangs(HANDLE object, ULONG infoClass, void* info, ULONG size, ULONG* returned)
{
    const NtStatus status = Native().queryObject(object, infoClass, info, size, returned);
    struct Name {
        USHORT length;
        USHORT maximumLength;
        const wchar_t* buffer;
    };
    const auto* name = static_cast<const Name*>(info);
    if (status == kStatusSuccess && name->buffer &&
        EndsWith(std::wstring(name->buffer, name->length / sizeof(wchar_t)), L"\\hang.txt"))
        Sleep(INFINITE);
    return status;
}

// The object-name form of a folder of ours ("\??\C:\...").
std::wstring ObjectNameOf(const std::string& folder)
{
    return L"\\??\\" + Widen(folder);
}

std::vector<std::wstring> NamesOf(const HandleSearch& search, DWORD processId)
{
    std::vector<std::wstring> names;
    for (const HandleUnderPrefix& found : search.found) {
        if (found.processId == processId)
            names.push_back(found.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(HandleSearch, FindsOtherProcessesFilesAndFoldersAndOutlastsAQueryThatHangs)
{
    ScratchDir folder, elsewhere;
    MakeFile(folder / "held.txt");
    MakeFile(folder / "hang.txt");
    MakeFile(elsewhere / "other.txt");
    ProgramUnderTest holder, hanging, outside;
    StartIdleProcess(holder, WindowsPathOf(IDLE_PROGRAM), folder / "held.txt", folder.Path());
    StartIdleProcess(hanging, WindowsPathOf(IDLE_PROGRAM), folder / "hang.txt");
    StartIdleProcess(outside, WindowsPathOf(IDLE_PROGRAM), elsewhere / "other.txt");
    const std::vector<std::wstring> prefixes = {L"\\??\\Q:", ObjectNameOf(folder.Path())};
    const std::wstring root = ObjectNameOf(folder.Path());

    HandleTable table;
    ASSERT_TRUE(ReadHandleTable(table));
    EXPECT_NE(table.fileType, 0) << "the type index of files, learnt from a handle of our own";
    const HandleSearch search = FindHandlesUnder(table, prefixes);
    // The open file and the current folder.
    EXPECT_EQ(NamesOf(search, holder.ProcessId()), (std::vector<std::wstring>{root, root + L"\\held.txt"}));
    EXPECT_EQ(NamesOf(search, hanging.ProcessId()), std::vector<std::wstring>{root + L"\\hang.txt"});
    EXPECT_TRUE(NamesOf(search, outside.ProcessId()).empty());
    EXPECT_EQ(search.timedOut, 0u);

    HandleSearchOptions options;
    options.query = QueryThatHangs;
    options.timeLimit = 50;
    const HandleSearch stalled = FindHandlesUnder(table, prefixes, options);
    EXPECT_EQ(stalled.timedOut, 1u);
    EXPECT_TRUE(NamesOf(stalled, hanging.ProcessId()).empty());
    EXPECT_EQ(NamesOf(stalled, holder.ProcessId()), NamesOf(search, holder.ProcessId()))
        << "the handles after the stuck one are named by the next worker";
    EXPECT_EQ(stalled.named + 1, search.named);
}

TEST(ProcessFiles, TheCurrentFolderAndTheModulesComeFromTheProcesssOwnMemory)
{
    ScratchDir folder;
    ProgramUnderTest process;
    const std::string program = WindowsPathOf(IDLE_PROGRAM);
    StartIdleProcess(process, program, std::string(), folder.Path());
    HANDLE open = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process.ProcessId());
    ASSERT_NE(open, nullptr);
    // The loader lists the modules a moment after the process starts.
    ProcessFiles files;
    EXPECT_TRUE(WaitFor([&] { return ReadProcessFiles(open, files) && !files.modules.empty(); }));
    CloseHandle(open);
    // Windows keeps a trailing backslash, Wine does not.
    std::wstring current = files.currentFolder;
    if (!current.empty() && current.back() == L'\\')
        current.pop_back();
    EXPECT_EQ(current, Widen(folder.Path()));
    ASSERT_FALSE(files.modules.empty());
    EXPECT_EQ(CompareStringOrdinal(files.modules[0].c_str(), -1, Widen(program).c_str(), -1, TRUE), CSTR_EQUAL)
        << "the executable first: " << Narrow(files.modules[0]);
    const std::wstring kernel = Widen(WindowsFolder()) + L"\\system32\\kernel32.dll";
    EXPECT_TRUE(std::any_of(files.modules.begin(), files.modules.end(), [&](const std::wstring& module) {
        return CompareStringOrdinal(module.c_str(), -1, kernel.c_str(), -1, TRUE) == CSTR_EQUAL;
    }));

    // A process that has ended has no memory left to read.
    HANDLE gone = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process.ProcessId());
    process.Kill();
    EXPECT_FALSE(ReadProcessFiles(gone, files));
    CloseHandle(gone);
}
