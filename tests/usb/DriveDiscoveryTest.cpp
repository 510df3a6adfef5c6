#include "support/FakeVolumeControl.h"
#include "support/TestDrive.h"
#include "usb/DriveDiscovery.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The letters a discovery call wrote, checking that it wrote nothing past them.
std::string UsbLetters()
{
    char buffer[kDriveListSize + 4];
    std::memset(buffer, 0, sizeof buffer);
    const int count = GetUsbDriveLetters(buffer);
    EXPECT_GE(count, 0);
    EXPECT_LE(count, kDriveListSize);
    for (int k = count; k < static_cast<int>(sizeof buffer); ++k)
        EXPECT_EQ(buffer[k], 0) << "byte " << k << " written past the letters";
    return std::string(buffer, buffer + (count > 0 ? count : 0));
}

}  // namespace

TEST(DriveDiscovery, NtFamilyIsReported)
{
    EXPECT_EQ(GetOsFamily(), 1);
}

TEST(DriveDiscovery, NoUsbDriveLeavesTheBufferZero)
{
    // The prefix's only fixed drive is C: (Z: is a network drive), and Wine
    // reports bus type 1 for it.
    EXPECT_EQ(UsbLetters(), "");
}

TEST(DriveDiscovery, RemovableDrivesAreUsbExceptA)
{
    TestDrive a('A', DRIVE_REMOVABLE);
    TestDrive b('B', DRIVE_REMOVABLE);
    TestDrive e('E', DRIVE_REMOVABLE);
    EXPECT_EQ(UsbLetters(), "BE");
}

TEST(DriveDiscovery, CdRomAndNetworkDrivesAreNeverUsb)
{
    TestDrive cd('F', DRIVE_CDROM);
    TestDrive net('G', DRIVE_REMOTE);
    TestDrive usb('H', DRIVE_REMOVABLE);
    FakeVolumeControl fake;
    fake.busTypes = {{'F', 7}, {'G', 7}};
    EXPECT_EQ(UsbLetters(), "H");
    // Only fixed drives are asked for their bus.
    for (char letter : fake.queried)
        EXPECT_EQ(letter, 'C');
}

TEST(DriveDiscovery, LettersComeInLetterOrderWhateverTheOrderOfAttaching)
{
    TestDrive k('K', DRIVE_REMOVABLE);
    TestDrive h('H', DRIVE_REMOVABLE);
    TestDrive j('J', DRIVE_REMOVABLE);
    EXPECT_EQ(UsbLetters(), "HJK");
    j.Detach();
    EXPECT_EQ(UsbLetters(), "HK");
    j.Attach();
    EXPECT_EQ(UsbLetters(), "HJK");
}

TEST(DriveDiscovery, FixedDriveCountsByItsBusOnTheNtFamily)
{
    TestDrive usbDisk('M', DRIVE_FIXED);
    TestDrive sataDisk('N', DRIVE_FIXED);
    TestDrive lockedDisk('P', DRIVE_FIXED);
    FakeVolumeControl fake;
    fake.busTypes = {{'M', 7}, {'N', 1}, {'C', 11}};  // P: does not open

    EXPECT_EQ(UsbLetters(), "M");
    EXPECT_EQ(fake.queried, (std::vector<char>{'C', 'M', 'N', 'P'}));
    for (size_t k = 0; k < fake.queried.size(); ++k) {
        EXPECT_EQ(fake.sizes[k], 551u);
        EXPECT_EQ(fake.sizeFields[k], 551u) << "the descriptor's size field is set before the query";
    }
}

TEST(DriveDiscovery, TheSystemVolumeQueryAnswersForARealVolume)
{
    // Under Wine every volume reports bus type 1, so a fixed drive is not USB,
    // but the query itself must go through: C: opens and answers.
    BYTE descriptor[551] = {};
    const DWORD size = sizeof descriptor;
    std::memcpy(descriptor + 4, &size, sizeof size);
    ASSERT_TRUE(GetVolumeControl().QueryDeviceDescriptor('C', descriptor, sizeof descriptor));
    DWORD busType = 0;
    std::memcpy(&busType, descriptor + 28, sizeof busType);
    EXPECT_NE(busType, 7u);
    EXPECT_FALSE(GetVolumeControl().QueryDeviceDescriptor('Q', descriptor, sizeof descriptor))
        << "a letter with no drive does not open";
}

TEST(DriveDiscovery, NeverMoreThanTwentyLetters)
{
    // Every free letter but A: as a removable drive: 22 qualify.
    std::vector<std::unique_ptr<TestDrive>> drives;
    for (char letter = 'B'; letter <= 'Y'; ++letter) {
        if (letter != 'C')
            drives.push_back(std::make_unique<TestDrive>(letter, DRIVE_REMOVABLE));
    }
    ASSERT_EQ(drives.size(), 23u);
    EXPECT_EQ(UsbLetters(), "BDEFGHIJKLMNOPQRSTUV");
}
