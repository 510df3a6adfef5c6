// The USB full scan against a bare FindFirstFile walk of the same tree, in one
// run under Wine:
//   scan_bench [files, default 100000] [folders, default 5000]
//              [suspicious, default 300] [rounds, default 5]
// The tree is generated on a removable drive of the prefix (letter S), with
// 20-odd files per folder, a few hundred of them suspicious (hidden .exe,
// .vbs) and as many decoys the rule must judge and pass (visible .exe, hidden
// .dll). Each round times the bare walk, the walk with the rule
// (WalkForSuspiciousFiles) and the page's whole scan (StartScan until the
// buttons come back), in turn; the figures are the medians. Then: how long
// 10,000 listed rows take to reach the list, and how soon Stop ends a scan.

#include "BenchClock.h"
#include "framework/Text.h"
#include "quarantine/ScanWalk.h"
#include "quarantine/UsbScanPage.h"
#include "res/resource.h"
#include "support/TestDrive.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kLetter = 'S';

bool Touch(const std::string& path, DWORD attributes)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

// `folders` folders, 50 at the top and the rest spread below them, and `files`
// files spread over all of them; every (files / suspicious)-th file is
// suspicious, and as many others are decoys of a listable extension.
int MakeTree(const std::string& root, int files, int folders, int suspicious, const char* suspiciousName)
{
    std::vector<std::string> paths;
    const int top = std::min(folders, 50);
    for (int k = 0; k < folders; ++k) {
        const std::string path = k < top ? root + "\\top" + std::to_string(k)
                                         : paths[static_cast<size_t>(k % top)] + "\\sub" + std::to_string(k);
        if (!CreateDirectoryA(path.c_str(), nullptr))
            return -1;
        paths.push_back(path);
    }
    const int every = suspicious > 0 ? std::max(1, files / suspicious) : files + 1;
    int listed = 0;
    for (int k = 0; k < files; ++k) {
        const std::string& folder = paths[static_cast<size_t>(k % folders)];
        std::string name;
        DWORD attributes = FILE_ATTRIBUTE_NORMAL;
        if (k % every == 0 && listed < suspicious) {
            ++listed;
            name = suspiciousName ? std::string(suspiciousName) : (k % 2 ? "setup.exe" : "run.vbs");
            if (!suspiciousName && k % 2)
                attributes = FILE_ATTRIBUTE_HIDDEN;
        } else if (k % every == every / 2) {
            name = k % 2 ? "visible.exe" : "hidden.dll";
            attributes = k % 2 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_HIDDEN;
        } else {
            name = k % 3 ? "photo.jpg" : "notes.txt";
        }
        if (!Touch(folder + "\\" + std::to_string(k) + name, attributes))
            return -1;
    }
    return listed;
}

// What any walk of the tree costs: the same order, nothing judged.
long long BareWalk(const std::string& root)
{
    std::vector<std::string> pending;
    std::string directory = root;
    long long entries = 0;
    for (;;) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((directory + "\\*.*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                ++entries;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::strcmp(found.cFileName, ".") != 0 &&
                    std::strcmp(found.cFileName, "..") != 0)
                    pending.push_back(directory + "\\" + found.cFileName);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        if (pending.empty())
            return entries;
        directory = std::move(pending.back());
        pending.pop_back();
    }
}

// The walk as it would be without the name test first: every file's full
// path through the classifier, one attribute query each.
int ClassifyingWalk(const std::string& root)
{
    std::vector<std::string> pending;
    std::string directory = root;
    int listed = 0;
    for (;;) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA((directory + "\\*.*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string path = directory + "\\" + found.cFileName;
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    listed += IsListedByFullScan(path.c_str()) ? 1 : 0;
                else if (std::strcmp(found.cFileName, ".") != 0 && std::strcmp(found.cFileName, "..") != 0)
                    pending.push_back(path);
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        if (pending.empty())
            return listed;
        directory = std::move(pending.back());
        pending.pop_back();
    }
}

HWND CreateHost()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ScanBenchHost";
    RegisterClassW(&windowClass);
    return CreateWindowExW(0, L"ScanBenchHost", L"host", WS_OVERLAPPEDWINDOW, 0, 0, 800, 500, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

bool PageIdle(const UsbScanPage& page)
{
    return !page.IsScanning() && IsWindowEnabled(page.Item(IDC_SCAN_START)) &&
           IsWindowEnabled(page.Item(IDC_SCAN_DELETE_ALL));
}

void Click(const UsbScanPage& page, int id)
{
    SendMessageW(page.Handle(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(page.Item(id)));
}

// Seconds from "Сканировать" until the page is idle again.
double PageScan(UsbScanPage& page)
{
    const double start = Seconds();
    Click(page, IDC_SCAN_START);
    PumpUntil([&] { return PageIdle(page); });
    return Seconds() - start;
}

}  // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int suspicious = argc > 3 ? std::atoi(argv[3]) : 300;
    const int rounds = argc > 4 ? std::atoi(argv[4]) : 5;
    if (files <= 0 || folders <= 0 || suspicious < 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: scan_bench [files] [folders] [suspicious] [rounds]\n");
        return 2;
    }

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vardenix-scan-bench-" + std::to_string(GetCurrentProcessId());
    const std::string root = std::string(1, kLetter) + ":";
    if (!CreateDirectoryA(folder.c_str(), nullptr) || !DefineWineDrive(kLetter, DRIVE_REMOVABLE, folder)) {
        std::fprintf(stderr, "cannot attach drive %c: at %s (this runs under Wine)\n", kLetter, folder.c_str());
        return 1;
    }
    WaitFor([&] { return GetDriveTypeA((root + "\\").c_str()) == DRIVE_REMOVABLE; }, 5000);

    int status = 0;
    double start = Seconds();
    const int expected = MakeTree(root, files, folders, suspicious, nullptr);
    std::printf("tree: %d files in %d folders, %d suspicious, made in %.1f s\n", files, folders, expected,
                Seconds() - start);

    const HWND host = CreateHost();
    UsbScanPage page;
    if (expected < 0 || !host || !page.CreateModeless(host)) {
        std::fprintf(stderr, "cannot make the tree or the page\n");
        status = 1;
    }

    if (status == 0) {
        BareWalk(root);  // the first walk reads the tree into the caches
        std::vector<double> bare, walk, scan;
        for (int round = 0; round < rounds && status == 0; ++round) {
            start = Seconds();
            const long long entries = BareWalk(root);
            bare.push_back(Seconds() - start);

            ScanFlag scanning{1};
            int listed = 0;
            start = Seconds();
            WalkForSuspiciousFiles(root, scanning, [&](const std::string&, ListedAs) { ++listed; });
            walk.push_back(Seconds() - start);

            scan.push_back(PageScan(page));
            if (listed != expected || page.RowCount() != expected) {
                std::fprintf(stderr, "round %d: walk listed %d, page %d, expected %d\n", round + 1, listed,
                             page.RowCount(), expected);
                status = 1;
            }
            std::printf("round %d: bare walk %.3f s (%lld entries), walk with rule %.3f s, page scan %.3f s\n",
                        round + 1, bare.back(), entries, walk.back(), scan.back());
        }
        const double b = Median(bare), w = Median(walk), s = Median(scan);
        std::printf("median: bare walk %.3f s, walk with rule %.3f s (%.2fx), page scan %.3f s (%.2fx)\n", b, w, w / b,
                    s, s / b);
        start = Seconds();
        const int classified = ClassifyingWalk(root);
        const double naive = Seconds() - start;
        start = Seconds();
        BareWalk(root);
        const double bareAgain = Seconds() - start;
        std::printf("for comparison: classifying every file %.3f s (%d listed) against a bare walk of %.3f s (%.2fx)\n",
                    naive, classified, bareAgain, naive / bareAgain);
    }

    if (status == 0) {
        // Stop: after a while into the scan, how long until the worker has ended.
        for (int delayMs : {50, 200, 500}) {
            Click(page, IDC_SCAN_START);
            const double begun = Seconds();
            PumpUntil([&] { return Seconds() - begun >= delayMs / 1000.0; });
            const int rowsAtStop = page.RowCount();
            start = Seconds();
            Click(page, IDC_THREAT_LIST_OR_STOP);
            PumpUntil([&] { return PageIdle(page); });
            std::printf("stop after %d ms: idle again in %.1f ms (%d rows at the stop, %d listed, label \"%s\")\n",
                        delayMs, (Seconds() - start) * 1000.0, rowsAtStop, page.RowCount(),
                        Narrow(page.ItemText(IDC_SCAN_COUNTER), CP_UTF8).c_str());
        }
    }
    RemoveTree(folder);

    if (status == 0) {
        // 10,000 rows: every file of this tree is listed.
        CreateDirectoryA(folder.c_str(), nullptr);
        const int rows = MakeTree(root, 10000, 100, 10000, "x.vbs");
        BareWalk(root);
        start = Seconds();
        BareWalk(root);
        const double bareRows = Seconds() - start;
        const double scanRows = PageScan(page);
        std::printf("10000 rows: page scan %.3f s for %d rows (bare walk of that tree %.3f s), %.1f us a row\n",
                    scanRows, page.RowCount(), bareRows, (scanRows - bareRows) * 1e6 / std::max(1, rows));
        if (page.RowCount() != rows)
            status = 1;
        RemoveTree(folder);
    }

    page.Destroy();
    if (host)
        DestroyWindow(host);
    DefineWineDrive(kLetter, DRIVE_NO_ROOT_DIR, std::string());
    return status;
}
