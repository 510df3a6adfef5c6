#include "support/TestDrive.h"
#include "usb/DriveDiscovery.h"

#include <gtest/gtest.h>

TEST(Probe, DefineDrive)
{
    TestDrive e('E', DRIVE_REMOVABLE);
    printf("type %u mask %lx\n", GetDriveTypeA("E:"), GetLogicalDrives());
    MakeFile(e / "AUTORUN.INF", "x");
    printf("exists %d\n", PathExists(e.Folder() + "\\AUTORUN.INF"));
    char letters[20] = {};
    printf("count %d %s\n", GetUsbDriveLetters(letters), letters);
    e.Detach();
    printf("after type %u mask %lx\n", GetDriveTypeA("E:"), GetLogicalDrives());
    TestDrive f('F', DRIVE_CDROM);
    printf("F type %u\n", GetDriveTypeA("F:"));
    TestDrive g('G', DRIVE_REMOTE);
    printf("G type %u\n", GetDriveTypeA("G:"));
    TestDrive a('A', DRIVE_REMOVABLE);
    printf("A type %u\n", GetDriveTypeA("A:"));
    printf("os %d\n", GetOsFamily());
}
