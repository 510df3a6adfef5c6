// Putting a large file into quarantine against copying it with CopyFileA, and
// restoring it back, in one run:
//   quarantine_bench [size in MiB, default 100] [rounds, default 3]
// Every round copies the source with CopyFileA and flushes the copy to disk,
// then makes a second copy and puts that into quarantine (which flushes its
// item before it deletes the file), so both measured operations read a file
// the system has just written and end with their data on the disk. The
// figures are the medians of the rounds.

#include "BenchClock.h"
#include "quarantine/QuarantineStore.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool MakeSource(const std::string& path, unsigned mebibytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<unsigned char> chunk(1 << 20);
    unsigned state = 12345;
    bool ok = true;
    for (unsigned m = 0; m < mebibytes && ok; ++m) {
        for (unsigned char& byte : chunk) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<unsigned char>(state >> 24);
        }
        DWORD written = 0;
        ok = WriteFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &written, nullptr) &&
             written == chunk.size();
    }
    CloseHandle(file);
    return ok;
}

// What the put guarantees, asked of the plain copy too: its data on the disk.
bool FlushToDisk(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool flushed = FlushFileBuffers(file) != FALSE;
    CloseHandle(file);
    return flushed;
}

}  // namespace

int main(int argc, char** argv)
{
    const unsigned mebibytes = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 100;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (mebibytes == 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: quarantine_bench [MiB] [rounds]\n");
        return 2;
    }

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vardenix-bench-" + std::to_string(GetCurrentProcessId());
    if (!CreateDirectoryA(folder.c_str(), nullptr)) {
        std::fprintf(stderr, "cannot create %s\n", folder.c_str());
        return 1;
    }
    const std::string source = folder + "\\source.bin";
    const std::string copy = folder + "\\copy.bin";
    const std::string victim = folder + "\\victim.bin";
    const std::string restored = folder + "\\restored.bin";
    char quarantine[kStorePathSize];
    if (!MakeSource(source, mebibytes) || !GetQuarantineFolder(quarantine)) {
        std::fprintf(stderr, "cannot prepare the source file or the quarantine folder\n");
        return 1;
    }
    const std::string item = std::string(quarantine) + "victim.bin.vw";
    DeleteFileA(item.c_str());

    std::vector<double> copyTimes, putTimes, restoreTimes;
    int status = 0;
    for (int round = 0; round < rounds && status == 0; ++round) {
        double start = Seconds();
        const bool copied = CopyFileA(source.c_str(), copy.c_str(), FALSE) && FlushToDisk(copy);
        copyTimes.push_back(Seconds() - start);

        const BOOL prepared = CopyFileA(source.c_str(), victim.c_str(), FALSE);
        start = Seconds();
        const bool put = prepared && QuarantineFile(victim.c_str());
        putTimes.push_back(Seconds() - start);

        start = Seconds();
        const TranscodeResult back = TranscodeQuarantineItem(restored.c_str(), item.c_str(), TranscodeDecode);
        restoreTimes.push_back(Seconds() - start);

        if (!copied || !put || back != TranscodeDone) {
            std::fprintf(stderr, "round %d failed (copy %d, put %d, restore %d)\n", round + 1, copied, put, back);
            status = 1;
        }
        std::printf("round %d: CopyFileA and flush %.3f s, QuarantineFile %.3f s, restore %.3f s\n", round + 1,
                    copyTimes.back(), putTimes.back(), restoreTimes.back());
        DeleteFileA(copy.c_str());
        DeleteFileA(victim.c_str());
        DeleteFileA(restored.c_str());
        DeleteFileA(item.c_str());
    }
    DeleteFileA(source.c_str());
    RemoveDirectoryA(folder.c_str());
    if (status != 0)
        return status;

    const double copyTime = Median(copyTimes);
    const double putTime = Median(putTimes);
    const double restoreTime = Median(restoreTimes);
    std::printf("%u MiB, median of %d rounds:\n", mebibytes, rounds);
    std::printf("  CopyFileA+flush %.3f s  %.0f MiB/s\n", copyTime, mebibytes / copyTime);
    std::printf("  QuarantineFile  %.3f s  %.0f MiB/s\n", putTime, mebibytes / putTime);
    std::printf("  restore         %.3f s  %.0f MiB/s\n", restoreTime, mebibytes / restoreTime);
    std::printf("  put / (CopyFileA+flush) = %.2f\n", putTime / copyTime);
    return 0;
}
