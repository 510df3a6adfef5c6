// The process monitor's pass over many running processes: one pass with its
// lookups remembered (the steady state, every 10 seconds for the life of the
// program) against one pass that looks everything up afresh.
//   monitor_bench [processes, default 150] [passes, default 100] [idle program]
// Every process runs its own copy of the idle program: one in ten a hidden
// "notepad.exe", which the monitor lists, most others a "svchost.exe", named
// like a system file as on a real machine, and the rest "idle.exe". Figures: CPU time of this thread
// per pass (user and kernel) and, under Wine, the CPU time wineserver spent
// on our requests, which a real Windows counts as this thread's kernel time.
// The bare snapshot line is what taking and walking the process snapshot alone
// costs, the floor of any pass.
#include "BenchClock.h"
#include "tools/RiskyProcesses.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// A /proc file: its size says 0, so it is read to its end.
std::string ReadProcFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (content.size() < (1u << 20) && ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
        content.append(buffer, read);
    CloseHandle(file);
    return content;
}

// Under Wine: /proc/<pid>/stat, through a "\\?\unix" path, of the wineserver of this
// prefix (the machine may run others), or empty.
std::string FindWineserverStat()
{
    char prefix[MAX_PATH] = {};
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") ||
        !GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH))
        return std::string();
    const std::string setting = std::string("WINEPREFIX=") + prefix + '\0';
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA("\\\\?\\unix\\proc\\*", &entry);
    if (search == INVALID_HANDLE_VALUE)
        return std::string();
    std::string found;
    do {
        const std::string folder = std::string("\\\\?\\unix\\proc\\") + entry.cFileName;
        if (entry.cFileName[0] >= '0' && entry.cFileName[0] <= '9' &&
            ReadProcFile(folder + "\\comm").compare(0, 10, "wineserver") == 0 &&
            ReadProcFile(folder + "\\environ").find(setting) != std::string::npos)
            found = folder + "\\stat";
    } while (found.empty() && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

// utime + stime of a /proc stat file, in seconds (clock ticks of 1/100 s).
double ProcCpuSeconds(const std::string& statPath)
{
    if (statPath.empty())
        return 0;
    const std::string stat = ReadProcFile(statPath);
    const size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return 0;
    // Fields after the command: state ppid pgrp session tty tpgid flags minflt
    // cminflt majflt cmajflt utime stime.
    const char* field = stat.c_str() + end + 2;
    for (int k = 0; k < 11; ++k)
        field = std::strchr(field, ' ') + 1;
    char* next = nullptr;
    const double user = std::strtod(field, &next);
    const double system = std::strtod(next, nullptr);
    return (user + system) / 100.0;
}

struct PassCost {
    double wall;      // seconds per pass (median)
    double cpu;       // this thread, seconds per pass
    double server;    // wineserver, seconds per pass
    size_t listed;
};

size_t WalkSnapshot()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        ++count;
    CloseHandle(snapshot);
    return count;
}

enum class PassKind { BareSnapshot, Uncached, Cached };

PassCost Measure(PassKind kind, int passes, const std::string& serverStat)
{
    ProcessLookupCache cache(kind == PassKind::Cached);
    auto onePass = [&] {
        return kind == PassKind::BareSnapshot ? WalkSnapshot() : ListRiskyProcesses(ListingRule::Monitor, cache).size();
    };
    onePass();  // the cache filled, the files read once
    std::vector<double> walls;
    size_t listed = 0;
    const double cpuStart = ThreadCpuSeconds();
    const double serverStart = ProcCpuSeconds(serverStat);
    for (int pass = 0; pass < passes; ++pass) {
        const double start = Seconds();
        listed = onePass();
        walls.push_back(Seconds() - start);
    }
    const double cpu = (ThreadCpuSeconds() - cpuStart) / passes;
    const double server = (ProcCpuSeconds(serverStat) - serverStart) / passes;
    return {Median(walls), cpu, server, listed};
}

// The Windows path of a host path under Wine; the path itself elsewhere.
std::string WindowsPathOfHostFile(const std::string& unixPath)
{
    using DosFileName = WCHAR*(CDECL*)(const char*);
    auto convert = reinterpret_cast<DosFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    WCHAR* dosPath = convert ? convert(unixPath.c_str()) : nullptr;
    if (!dosPath)
        return unixPath;
    char narrow[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, 0, dosPath, -1, narrow, sizeof narrow, nullptr, nullptr);
    HeapFree(GetProcessHeap(), 0, dosPath);
    return narrow;
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 150;
    const int passes = argc > 2 ? std::atoi(argv[2]) : 100;
    const std::string idleProgram = argc > 3 ? argv[3] : WindowsPathOfHostFile(IDLE_PROGRAM);
    if (count <= 0 || passes <= 0) {
        std::fprintf(stderr, "usage: monitor_bench [processes > 0] [passes > 0] [idle program]\n");
        return 2;
    }

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vardenix-monitor-bench";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::vector<std::string> files;
    std::vector<PROCESS_INFORMATION> processes;
    for (int k = 0; k < count; ++k) {
        const std::string own = folder + "\\" + std::to_string(k);
        CreateDirectoryA(own.c_str(), nullptr);
        const bool disguised = k % 10 == 0;
        const std::string path = own + (disguised ? "\\notepad.exe" : k % 3 ? "\\svchost.exe" : "\\idle.exe");
        if (!CopyFileA(idleProgram.c_str(), path.c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy %s\n", idleProgram.c_str());
            return 1;
        }
        if (disguised)
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
        files.push_back(path);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        // Wine refuses a start now and then (ERROR_INTERNAL_ERROR); a second try makes it.
        bool started = false;
        for (int attempt = 0; attempt < 3 && !started; ++attempt)
            started = CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                     &info) != FALSE;
        if (started)
            processes.push_back(info);
        else
            std::fprintf(stderr, "cannot start %s (error %lu)\n", path.c_str(), GetLastError());
    }
    // Ready once the system gives each one's executable.
    for (const PROCESS_INFORMATION& info : processes) {
        for (int tries = 0; tries < 2000; ++tries) {
            std::wstring exePath;
            if (GetProcessExePath(info.dwProcessId, exePath))
                break;
            Sleep(10);
        }
    }

    const std::string serverStat = FindWineserverStat();
    const PassCost bare = Measure(PassKind::BareSnapshot, passes, serverStat);
    const PassCost uncached = Measure(PassKind::Uncached, passes / 5 > 0 ? passes / 5 : 1, serverStat);
    const PassCost cached = Measure(PassKind::Cached, passes, serverStat);

    std::printf("processes started %zu, in the snapshot %zu, listed by the monitor %zu (cached) / %zu (uncached)\n",
                processes.size(), bare.listed, cached.listed, uncached.listed);
    std::printf("                 wall/pass   CPU/pass   wineserver/pass   share of one core every 10 s\n");
    for (const auto& row : {std::make_pair("bare snapshot", bare), std::make_pair("uncached     ", uncached),
                            std::make_pair("cached       ", cached)}) {
        const PassCost& cost = row.second;
        std::printf("%s  %7.2f ms  %7.2f ms   %7.2f ms          %6.3f %% (%6.3f %% with wineserver)\n",
                    row.first, cost.wall * 1e3, cost.cpu * 1e3, cost.server * 1e3, cost.cpu / 10.0 * 100,
                    (cost.cpu + cost.server) / 10.0 * 100);
    }

    for (const PROCESS_INFORMATION& info : processes) {
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, 5000);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    for (const std::string& path : files) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        RemoveDirectoryA(path.substr(0, path.rfind('\\')).c_str());
    }
    RemoveDirectoryA(folder.c_str());
    return cached.listed == uncached.listed ? 0 : 1;
}
