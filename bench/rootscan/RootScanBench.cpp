// The USB protection page's insertion scan of a drive root, against a bare
// enumeration of the same root, for two roots of the same size: one of which
// a share are shortcuts (half of them a worm's decoys, each naming a payload
// in a hidden folder, half a portable program's launchers) beside a few .inf
// files and hidden programs for the root scan's own rows, and a clean one
// without shortcuts (ordinary documents and pictures, some hidden):
//   rootscan_bench [entries, default 1000] [shortcuts, default 200] [rounds, default 21]
// The roots are removable drives of the Wine prefix (or of a real Windows,
// when run there with the letters R: and S: free). Figures are the medians
// of the rounds. Under Wine the two delete buttons' state changes, which the
// scan makes whatever the root holds, cost from 0.2 to 2 ms a scan, varying
// from run to run; they are measured apart, and the ratio given without them
// too.
#include "BenchClock.h"
#include "support/ShortcutWriter.h"
#include "support/TestDrive.h"
#include "res/resource.h"
#include "usb/UsbProtectionPage.h"

#include <commctrl.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Touch(const std::string& path, const std::string& content, DWORD attributes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

// What any program pays to look at every entry of the root once.
int BareEnumeration(const std::string& root)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((std::wstring(root.begin(), root.end()) + L"*.*").c_str(), &entry);
    int count = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do
        ++count;
    while (FindNextFileW(search, &entry));
    FindClose(search);
    return count;
}

// Fills `drive` with `entries` root entries, `shortcuts` of them shortcuts,
// and threats of the root scan's own when `threats`; the number of rows the
// scan is to list.
int MakeRoot(const TestDrive& drive, int entries, int shortcuts, bool threats)
{
    const char letter = drive.Letter();
    const int decoys = shortcuts / 2;
    int rows = 0;
    int made = 0;
    if (shortcuts > 0) {
        CreateDirectoryA((drive / "_").c_str(), nullptr);
        SetFileAttributesA((drive / "_").c_str(), FILE_ATTRIBUTE_HIDDEN);
        CreateDirectoryA((drive / "Apps").c_str(), nullptr);
        made += 2;
    }
    for (int k = 0; k < shortcuts; ++k) {
        char name[64];
        ShortcutSpec layout;
        if (k < decoys) {
            // Each decoy lists itself and its payload.
            std::snprintf(name, sizeof name, "_\\p%04d.dat", k);
            Touch(drive / name, "payload", FILE_ATTRIBUTE_NORMAL);
            layout.idListTarget = L"C:\\windows\\system32\\cmd.exe";
            layout.arguments = L"/c start .\\" + std::wstring(name, name + std::strlen(name)) + L" & explorer Folder";
            std::snprintf(name, sizeof name, "Folder %04d.lnk", k);
            rows += 2;
        } else {
            std::snprintf(name, sizeof name, "Apps\\app%04d.exe", k);
            Touch(drive / name, "MZ", FILE_ATTRIBUTE_NORMAL);
            layout.idListTarget = std::wstring(1, static_cast<wchar_t>(letter)) + L":\\" +
                                std::wstring(name, name + std::strlen(name));
            std::snprintf(name, sizeof name, "App %04d.lnk", k);
        }
        Touch(drive / name, ShortcutBytes(layout), FILE_ATTRIBUTE_NORMAL);
        ++made;
    }
    // The root scan's own rows: a few .inf files and hidden programs.
    for (int k = 0; made < entries; ++k, ++made) {
        char name[64];
        DWORD attributes = k % 7 == 0 ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL;
        if (threats && k % 100 == 0) {
            std::snprintf(name, sizeof name, "setup%05d.inf", k);
            ++rows;
        } else if (threats && k % 100 == 1) {
            std::snprintf(name, sizeof name, "hidden%05d.exe", k);
            attributes = FILE_ATTRIBUTE_HIDDEN;
            ++rows;
        } else {
            std::snprintf(name, sizeof name, k % 2 ? "photo%05d.jpg" : "notes%05d.txt", k);
        }
        Touch(drive / name, std::string(), attributes);
    }
    return rows;
}

struct Figures {
    double bare, scan, buttons;
    int rows, expected;
};

// What the scan pays Wine for disabling its two delete buttons and enabling
// them again, as it does on every scan whatever the root holds.
double ButtonStates(const UsbProtectionPage& page)
{
    const double start = Seconds();
    for (bool enable : {false, true}) {
        EnableWindow(page.Item(IDC_FIRST_BUTTON), enable);
        EnableWindow(page.Item(IDC_USB_DELETE_ALL), enable);
    }
    return Seconds() - start;
}

Figures Measure(UsbProtectionPage& page, const TestDrive& drive, int expected, int rounds)
{
    const std::string root = drive.Root() + "\\";
    const char letters[2] = {drive.Letter(), '\0'};
    std::vector<double> bare, scan, buttons;
    int rows = 0;
    for (int round = 0; round < rounds; ++round) {
        buttons.push_back(ButtonStates(page));

        double start = Seconds();
        BareEnumeration(root);
        bare.push_back(Seconds() - start);

        page.ClearThreats();
        start = Seconds();
        page.ScanDriveRoots(letters, 1);
        scan.push_back(Seconds() - start);
        rows = page.RowCount();
    }
    return {Median(bare), Median(scan), Median(buttons), rows, expected};
}

void Report(const char* what, const Figures& figures)
{
    std::printf("%s: rows %d of %d\n", what, figures.rows, figures.expected);
    std::printf("  bare enumeration  %8.4f s\n", figures.bare);
    std::printf("  insertion scan    %8.4f s  (rows into the list included)\n", figures.scan);
    std::printf("  ratio             %8.2f\n", figures.scan / figures.bare);
    std::printf("  of it the button states %6.4f s: without them %.2f\n", figures.buttons,
                (figures.scan - figures.buttons) / figures.bare);
}

}  // namespace

int main(int argc, char** argv)
{
    const int entries = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int shortcuts = argc > 2 ? std::atoi(argv[2]) : 200;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 21;
    if (entries <= 0 || shortcuts < 0 || shortcuts + 2 > entries || rounds <= 0) {
        std::fprintf(stderr, "usage: rootscan_bench [entries] [shortcuts <= entries - 2] [rounds > 0]\n");
        return 2;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    TestDrive withShortcuts('R', DRIVE_REMOVABLE);
    TestDrive without('S', DRIVE_REMOVABLE);
    const int expectedWith = MakeRoot(withShortcuts, entries, shortcuts, true);
    const int expectedWithout = MakeRoot(without, entries, 0, false);

    HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 800, 600, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    UsbProtectionPage page;
    if (!page.CreateModeless(host)) {
        std::fprintf(stderr, "the page did not open (are the resources linked?)\n");
        return 1;
    }

    const Figures with = Measure(page, withShortcuts, expectedWith, rounds);
    const Figures plain = Measure(page, without, expectedWithout, rounds);
    std::printf("root entries %d, %d of them shortcuts (%d decoys), %d rounds\n", entries, shortcuts, shortcuts / 2,
                rounds);
    Report("root with shortcuts", with);
    Report("clean root without shortcuts", plain);
    DestroyWindow(host);
    return with.rows == with.expected && plain.rows == plain.expected ? 0 : 1;
}
