// The disk cleanup against a bare FindFirstFile + DeleteFile walk of the same
// tree, in one run under Wine:
//   cleanup_bench [files, default 10000] [folders, default 500] [rounds, default 5]
// Each round makes two copies of a temporary folder (`files` files spread over
// `folders` folders, 50 at the top and the rest below them), then deletes one
// copy with the bare walk and another with the system page's whole cleanup
// ("Очистка Диска" until the page is idle again, every row in its list), in
// alternating order. For comparison it also deletes a copy with the cleanup's
// walk alone (DeleteFolderFiles, no rows) and one with a bare walk that sets
// each file's attributes to normal first. The figures are the medians of the
// rounds.
//
// The cleanup also empties the Recycle Bin, which under Wine is the trash of
// the Unix user: run it with HOME set to a scratch home named
// "vardenix-scratch-home" and XDG_DATA_HOME to its "data" folder (README.md).
// It refuses to run otherwise.

#include "BenchClock.h"
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "res/resource.h"
#include "support/PageHost.h"
#include "support/ScratchDir.h"
#include "support/TestDrive.h"
#include "support/UnixHost.h"
#include "tools/DiskCleanup.h"
#include "tools/SystemPage.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool MakeTree(const std::wstring& root, int files, int folders)
{
    if (!CreateDirectoryW(root.c_str(), nullptr))
        return false;
    std::vector<std::wstring> paths;
    const int top = std::min(folders, 50);
    for (int k = 0; k < folders; ++k) {
        const std::wstring path = k < top ? root + L"\\top" + std::to_wstring(k)
                                          : paths[static_cast<size_t>(k % top)] + L"\\sub" + std::to_wstring(k);
        if (!CreateDirectoryW(path.c_str(), nullptr))
            return false;
        paths.push_back(path);
    }
    for (int k = 0; k < files; ++k) {
        const std::wstring path = paths[static_cast<size_t>(k % folders)] + L"\\~tmp" + std::to_wstring(k) + L".tmp";
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        WriteFile(file, "temporary", 9, &written, nullptr);
        CloseHandle(file);
    }
    return true;
}

// What deleting the tree costs at the least: the same walk, no checks, no
// rows. With `normalFirst`, every file's attributes are set to normal before
// its deletion, as a cleanup that ignores links would do.
int BareDelete(const std::wstring& root, bool normalFirst = false)
{
    std::vector<std::wstring> pending;
    std::wstring directory = root;
    int deleted = 0;
    for (;;) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring name = found.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    pending.push_back(directory + L"\\" + name);
                else {
                    const std::wstring path = directory + L"\\" + name;
                    if (normalFirst)
                        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    deleted += DeleteFileW(path.c_str()) ? 1 : 0;
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        if (pending.empty())
            return deleted;
        directory = std::move(pending.back());
        pending.pop_back();
    }
}

// Seconds from "Очистка Диска" until the page is idle with every row listed.
double PageCleanup(SystemPage& page)
{
    const double start = Seconds();
    SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(IDC_SECOND_BUTTON, BN_CLICKED), 0);
    PumpUntil([&] { return !page.IsBusy(); });
    return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 500;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    if (files <= 0 || folders <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: cleanup_bench [files] [folders] [rounds]\n");
        return 2;
    }
    if (!TrashIsScratch()) {
        std::fprintf(stderr, "run under Wine with HOME=.../vardenix-scratch-home and "
                             "XDG_DATA_HOME=.../vardenix-scratch-home/data: the cleanup empties the Recycle Bin\n");
        return 1;
    }
    SetMessageBoxHook([](const MessageBoxCall&) { return IDOK; });

    ScratchDir scratch;
    const std::wstring folder = Widen(scratch.Path());
    const std::wstring bareTree = folder + L"\\bare";
    const std::wstring cleanupTree = folder + L"\\cleanup";
    const std::wstring walkTree = folder + L"\\walk";
    const std::wstring normalTree = folder + L"\\normal";
    PageHost host;
    SystemPage page;
    if (!page.CreateModeless(host.Handle())) {
        std::fprintf(stderr, "cannot make the page\n");
        return 1;
    }
    page.SetCleanupFolders({cleanupTree + L"\\"});

    int status = 0;
    std::vector<double> bare, cleanup, ratio, walk, normal;
    for (int round = 0; round < rounds && status == 0; ++round) {
        RemoveTree(scratch.Path() + "\\bare");
        RemoveTree(scratch.Path() + "\\cleanup");
        RemoveTree(scratch.Path() + "\\walk");
        RemoveTree(scratch.Path() + "\\normal");
        if (!MakeTree(bareTree, files, folders) || !MakeTree(cleanupTree, files, folders) ||
            !MakeTree(walkTree, files, folders) || !MakeTree(normalTree, files, folders)) {
            std::fprintf(stderr, "cannot make the trees\n");
            status = 1;
            break;
        }
        int deleted = 0;
        double bareSeconds = 0;
        double cleanupSeconds = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (round % 2 == 0)) {
                const double start = Seconds();
                deleted = BareDelete(bareTree);
                bareSeconds = Seconds() - start;
            } else {
                cleanupSeconds = PageCleanup(page);
            }
        }
        double start = Seconds();
        int walked = 0;
        DeleteFolderFiles(walkTree, [&](const std::wstring&, UINT result) { walked += result == IDS_DELETED; });
        walk.push_back(Seconds() - start);
        start = Seconds();
        BareDelete(normalTree, true);
        normal.push_back(Seconds() - start);
        int listed = 0;
        for (int row = 0; row < page.RowCount(); ++row)
            listed += page.RowText(row, 1) == L"Удален" ? 1 : 0;
        if (deleted != files || listed != files) {
            std::fprintf(stderr, "round %d: bare walk deleted %d, cleanup listed %d deleted, of %d\n", round + 1,
                         deleted, listed, files);
            status = 1;
        }
        bare.push_back(bareSeconds);
        cleanup.push_back(cleanupSeconds);
        ratio.push_back(cleanupSeconds / bareSeconds);
        std::printf("round %d: bare delete %.3f s, cleanup %.3f s (%d rows), ratio %.2f; its walk without rows %.3f s; "
                    "attributes then delete %.3f s\n",
                    round + 1, bareSeconds, cleanupSeconds, page.RowCount(), ratio.back(), walk.back(), normal.back());
    }
    if (status == 0) {
        std::printf("median of %d rounds, %d files in %d folders: bare delete %.3f s, cleanup %.3f s, ratio %.2f\n",
                    rounds, files, folders, Median(bare), Median(cleanup), Median(ratio));
        std::printf("for comparison: the cleanup's walk without rows %.3f s (%.2fx), attributes then delete %.3f s "
                    "(%.2fx)\n",
                    Median(walk), Median(walk) / Median(bare), Median(normal), Median(normal) / Median(bare));
    }
    page.Destroy();
    SetMessageBoxHook(nullptr);
    return status;
}
