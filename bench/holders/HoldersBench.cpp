// How long safe removal takes to find what holds a USB drive, with many
// processes holding many handles.
//   holders_bench [processes, default 150] [handles, default 20000]
//                 [file handles in every 100, default 12] [rounds, default 10]
// Every process runs the tests' idle program from C:, with its share of the
// handles put into it by this program: file handles (the given share, half
// of them files and folders of C:, half pipe ends, about what the handle
// table of a Windows desktop holds), the rest events, mutexes and registry
// keys. Among them, in one process in ten, a file of the removable drive V:;
// one process in twenty runs with its current folder on V:, and three more
// run a copy of the idle program from V:. Figures: the median of the rounds
// for the whole search, then each part of it alone. Every file handle is
// duplicated and named, so the naming costs what the share says: 100 makes
// every handle a file, the worst case.
#include "BenchClock.h"
#include "support/TestDrive.h"
#include "system/DriveHolders.h"
#include "system/HandleTable.h"
#include "system/ProcessFiles.h"
#include "system/ProcessLookup.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr char kDrive = 'V';

// This process's CPU time, every thread's, user and kernel (under Wine the
// kernel part is the Unix side of our own calls; wineserver's share is not in it).
double CpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

struct Cost {
    double median;  // wall-clock seconds a round
    double best;
    double cpu;     // CPU seconds a round
};

Cost Measure(int rounds, const std::function<void()>& work)
{
    std::vector<double> times;
    const double cpuStart = CpuSeconds();
    for (int round = 0; round < rounds; ++round) {
        const double start = Seconds();
        work();
        times.push_back(Seconds() - start);
    }
    const double cpu = (CpuSeconds() - cpuStart) / rounds;
    return {Median(times), *std::min_element(times.begin(), times.end()), cpu};
}

void Print(const char* what, const Cost& cost)
{
    std::printf("%-24s %8.1f ms %8.1f ms %8.1f ms\n", what, cost.median * 1e3, cost.best * 1e3, cost.cpu * 1e3);
}

bool Start(const std::string& program, const std::string& folder, PROCESS_INFORMATION& info)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = "\"" + program + "\"";
    // Wine refuses a start now and then (ERROR_INTERNAL_ERROR); a second try makes it.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (CreateProcessA(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                           &info))
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    const int processCount = argc > 1 ? std::atoi(argv[1]) : 150;
    const int handleCount = argc > 2 ? std::atoi(argv[2]) : 20000;
    const int fileShare = argc > 3 ? std::atoi(argv[3]) : 12;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 10;
    if (processCount < 20 || handleCount < processCount || fileShare < 0 || fileShare > 100 || rounds <= 0) {
        std::fprintf(stderr, "usage: holders_bench [processes >= 20] [handles] [files in 100 handles] [rounds]\n");
        return 2;
    }
    const std::string idle = WindowsPathOf(IDLE_PROGRAM);

    ScratchDir home;
    TestDrive drive(kDrive, DRIVE_REMOVABLE);
    MakeFile(drive / "notes.txt", "notes");
    const std::string onDrive = drive / "tool.exe";
    if (!CopyFileA(idle.c_str(), onDrive.c_str(), FALSE)) {
        std::fprintf(stderr, "cannot copy %s\n", idle.c_str());
        return 1;
    }

    // The objects whose handles go into the processes, opened once here.
    std::vector<HANDLE> files, others;
    for (int k = 0; k < 40; ++k) {
        const std::string path = home / ("file" + std::to_string(k) + ".txt");
        MakeFile(path, "x");
        files.push_back(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    }
    files.push_back(CreateFileA(home.Path().c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const HANDLE driveFile = CreateFileA((drive / "notes.txt").c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<HANDLE> pipes;
    for (int k = 0; k < 10; ++k) {
        HANDLE read = nullptr, write = nullptr;
        if (CreatePipe(&read, &write, nullptr, 0)) {
            pipes.push_back(read);
            pipes.push_back(write);
        }
    }
    for (int k = 0; k < 20; ++k)
        others.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    for (int k = 0; k < 10; ++k)
        others.push_back(CreateMutexW(nullptr, FALSE, nullptr));
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key);
    others.push_back(reinterpret_cast<HANDLE>(key));

    std::vector<PROCESS_INFORMATION> processes;
    size_t expectedHolders = 0, placed = 0;
    for (int k = 0; k < processCount; ++k) {
        PROCESS_INFORMATION info = {};
        const bool fromDrive = k % 50 == 7, folderOnDrive = k % 20 == 3;
        if (!Start(fromDrive ? onDrive : idle, folderOnDrive ? drive.Root() + "\\" : home.Path(), info)) {
            std::fprintf(stderr, "cannot start process %d (error %lu)\n", k, GetLastError());
            continue;
        }
        processes.push_back(info);
        const bool holdsFile = k % 10 == 5;
        expectedHolders += fromDrive || folderOnDrive || holdsFile;
        const size_t share = static_cast<size_t>(handleCount) / static_cast<size_t>(processCount);
        for (size_t h = 0; h < share; ++h) {
            const bool file = h * 100 < share * static_cast<size_t>(fileShare);
            const HANDLE source = holdsFile && h == 0 ? driveFile
                                  : !file             ? others[h % others.size()]
                                  : h % 2             ? pipes[h / 2 % pipes.size()]
                                                      : files[h / 2 % files.size()];
            HANDLE copy = nullptr;
            placed += DuplicateHandle(GetCurrentProcess(), source, info.hProcess, &copy, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS) != FALSE;
        }
    }
    // Ready once the system gives each one's executable.
    for (const PROCESS_INFORMATION& info : processes) {
        for (int tries = 0; tries < 2000; ++tries) {
            std::wstring path;
            if (GetProcessExePath(info.dwProcessId, path))
                break;
            Sleep(10);
        }
    }

    // A Wine process goes on starting up for a while after the system names
    // its executable; measured meanwhile, the search would pay for that.
    Sleep(5000);

    HandleTable table;
    ReadHandleTable(table);
    size_t fileHandles = 0;
    for (const SystemHandle& handle : table.handles)
        fileHandles += table.fileType != 0 && handle.typeIndex == table.fileType;
    const char letters[] = {kDrive};

    std::vector<DriveHolder> holders = FindDriveHolders(letters, 1);
    const Cost whole = Measure(rounds, [&] { holders = FindDriveHolders(letters, 1); });
    const Cost handleTable = Measure(rounds, [&] { ReadHandleTable(table); });
    HandleSearch search;
    const std::vector<std::wstring> prefixes = {std::wstring(L"\\??\\V:")};
    const Cost naming = Measure(rounds, [&] { search = FindHandlesUnder(table, prefixes); });
    std::vector<SystemProcess> listed;
    const Cost processList = Measure(rounds, [&] { listed = ListSystemProcesses(); });
    const Cost processFiles = Measure(rounds, [&] {
        for (const SystemProcess& process : listed) {
            ProcessFiles read;
            if (HANDLE open = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, process.processId)) {
                ReadProcessFiles(open, read);
                CloseHandle(open);
            }
        }
    });

    std::printf("processes started %zu (%zu running), handles placed %zu, in the table %zu (%zu files)\n",
                processes.size(), listed.size(), placed, table.handles.size(), fileHandles);
    std::printf("holders found %zu (expected %zu), file handles named %zu, timed out %zu\n", holders.size(),
                expectedHolders, search.named, search.timedOut);
    std::printf("%d rounds                   median      best   CPU/round\n", rounds);
    Print("finding the holders", whole);
    Print("  process list", processList);
    Print("  handle table read", handleTable);
    Print("  file handles named", naming);
    Print("  folders and modules", processFiles);

    for (const PROCESS_INFORMATION& info : processes) {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    for (HANDLE file : files)
        CloseHandle(file);
    CloseHandle(driveFile);
    for (HANDLE other : others)
        CloseHandle(other);
    for (HANDLE pipe : pipes)
        CloseHandle(pipe);
    return holders.size() == expectedHolders ? 0 : 1;
}
