#include "support/TestDrive.h"

#include <gtest/gtest.h>
#include <dbt.h>
#include <winioctl.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace {

// Wine's own mount manager extension, the one its configuration tool uses to
// define drives: a drive letter, its type and the Unix folder it points at.
constexpr DWORD kMountMgrControlType = 'm';
constexpr DWORD kIoctlDefineUnixDrive =
    CTL_CODE(kMountMgrControlType, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct MountMgrUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDev;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};

}  // namespace

bool DefineWineDrive(char letter, UINT type, const std::string& windowsFolder)
{
    std::string unixPath;
    if (type != DRIVE_NO_ROOT_DIR) {
        unixPath = UnixPathOf(windowsFolder);
        if (unixPath.empty())
            return false;
    }
    std::vector<char> buffer(sizeof(MountMgrUnixDrive) + unixPath.size() + 1, 0);
    auto* request = reinterpret_cast<MountMgrUnixDrive*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->type = type;
    request->letter = static_cast<WCHAR>(std::tolower(static_cast<unsigned char>(letter)));
    if (type != DRIVE_NO_ROOT_DIR) {
        request->mountPointOffset = sizeof(MountMgrUnixDrive);
        std::memcpy(buffer.data() + sizeof(MountMgrUnixDrive), unixPath.c_str(), unixPath.size() + 1);
    }

    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(manager, kIoctlDefineUnixDrive, buffer.data(),
                                    static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}

void BroadcastVolumeChange(char letter, bool arrival)
{
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = 1u << (std::toupper(static_cast<unsigned char>(letter)) - 'A');
    volume.dbcv_flags = DBTF_MEDIA;
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(HWND_BROADCAST, WM_DEVICECHANGE, arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                        reinterpret_cast<LPARAM>(&volume), SMTO_ABORTIFHUNG, 5000, &answer);
}

TestDrive::TestDrive(char letter, UINT type) : letter_(letter), type_(type)
{
    Attach();
}

TestDrive::~TestDrive()
{
    Detach();
}

void TestDrive::Attach()
{
    if (attached_)
        return;
    attached_ = DefineWineDrive(letter_, type_, folder_.Path());
    EXPECT_TRUE(attached_) << "cannot attach drive " << letter_;
    EXPECT_TRUE(WaitFor([&] { return GetDriveTypeA((Root() + "\\").c_str()) == type_; }, 5000))
        << "drive " << letter_ << " does not report its type";
}

void TestDrive::Detach()
{
    if (!attached_)
        return;
    EXPECT_TRUE(DefineWineDrive(letter_, DRIVE_NO_ROOT_DIR, std::string())) << "cannot detach drive " << letter_;
    attached_ = false;
}
