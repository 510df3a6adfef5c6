// This program runs with Wine's Windows version set to Windows 98 for its
// executable name (see scripts/wine-session.sh), so the 95/98/Me rules apply.
#include "support/TestDrive.h"
#include "usb/DriveDiscovery.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
std::string UsbLetters()
{
    char buffer[kDriveListSize] = {};
    const int count = GetUsbDriveLetters(buffer);
    return std::string(buffer, buffer + count);
}
}  // namespace

TEST(Win9xDriveDiscovery, FixedDrivesCountByWhetherTheyWereThereAtStartUp)
{
    ASSERT_EQ(GetOsFamily(), 2) << "the program must run as Windows 98";

    TestDrive early('M', DRIVE_FIXED);
    TestDrive stick('E', DRIVE_REMOVABLE);

    // Before the table is recorded it is empty, and every fixed drive counts.
    EXPECT_EQ(UsbLetters(), "CEM");

    RecordFixedDrives();
    EXPECT_EQ(UsbLetters(), "E") << "fixed drives present at start-up are never USB";

    TestDrive late('K', DRIVE_FIXED);
    EXPECT_EQ(UsbLetters(), "EK") << "a fixed drive that appears later always is";

    early.Detach();
    late.Detach();
    EXPECT_EQ(UsbLetters(), "E");
    early.Attach();
    EXPECT_EQ(UsbLetters(), "E");
}
