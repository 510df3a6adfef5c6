// The USB protection page's root scan of one drive root holding many entries,
// some of them threats, against a bare enumeration of the same root:
//   rootscan_bench [entries, default 10000] [threats, default 100] [rounds, default 5]
// The root is a removable drive of the Wine prefix (or of a real Windows, when
// run there with a free letter R:). Figures are the medians of the rounds.
#include "BenchClock.h"
#include "support/TestDrive.h"
#include "usb/UsbProtectionPage.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Touch(const std::string& path, DWORD attributes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

// What any program pays to look at every entry of the root once.
int BareEnumeration(const std::string& root)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((root + "*.*").c_str(), &entry);
    int count = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do
        ++count;
    while (FindNextFileA(search, &entry));
    FindClose(search);
    return count;
}

}  // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int threats = argc > 2 ? std::atoi(argv[2]) : 100;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    if (entries <= 0 || threats < 0 || threats > entries || rounds <= 0) {
        std::fprintf(stderr, "usage: rootscan_bench [entries] [threats <= entries] [rounds > 0]\n");
        return 2;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    TestDrive drive('R', DRIVE_REMOVABLE);
    // Half the threats are .inf files, half hidden programs; the rest are
    // ordinary documents and pictures, some of them hidden too.
    for (int k = 0; k < entries; ++k) {
        char name[64];
        if (k < threats / 2)
            std::snprintf(name, sizeof name, "setup%05d.inf", k);
        else if (k < threats)
            std::snprintf(name, sizeof name, "hidden%05d.exe", k);
        else
            std::snprintf(name, sizeof name, k % 2 ? "photo%05d.jpg" : "notes%05d.txt", k);
        const bool hidden = (k >= threats / 2 && k < threats) || k % 7 == 0;
        Touch(drive / name, hidden ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL);
    }

    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    UsbProtectionPage page;
    if (!page.CreateModeless(host)) {
        std::fprintf(stderr, "the page did not open (are the resources linked?)\n");
        return 1;
    }

    const std::string root = drive.Root() + "\\";
    std::vector<double> bare, scan;
    int listed = 0, seen = 0;
    for (int round = 0; round < rounds; ++round) {
        double start = Seconds();
        seen = BareEnumeration(root);
        bare.push_back(Seconds() - start);

        page.ClearThreats();
        start = Seconds();
        page.ScanDriveRoots("R", 1);
        scan.push_back(Seconds() - start);
        listed = page.RowCount();
    }

    const double bareTime = Median(bare), scanTime = Median(scan);
    std::printf("root entries %d (enumerated %d), threats listed %d of %d\n", entries, seen, listed, threats);
    std::printf("bare enumeration  %8.4f s\n", bareTime);
    std::printf("root scan         %8.4f s  (rows into the list included)\n", scanTime);
    std::printf("ratio             %8.2f\n", scanTime / bareTime);
    DestroyWindow(host);
    return listed == threats ? 0 : 1;
}
