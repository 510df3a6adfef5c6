#pragma once

#include "support/ScratchDir.h"
#include "support/UnixHost.h"

#include <windows.h>

#include <string>

// A drive letter of the Wine prefix pointing at a folder of the test's own,
// with the drive type Wine reports for it (DRIVE_REMOVABLE for a USB flash
// drive, DRIVE_FIXED, DRIVE_CDROM, DRIVE_REMOTE). The drive is attached on
// construction and detached, its folder removed, on destruction. Wine's mount
// manager broadcasts the arrival and removal events itself, as Windows does.
class TestDrive {
public:
    TestDrive(char letter, UINT type);
    ~TestDrive();
    TestDrive(const TestDrive&) = delete;
    TestDrive& operator=(const TestDrive&) = delete;

    // Detaches the letter but keeps the folder and its files; Attach brings it back.
    void Detach();
    void Attach();

    char Letter() const { return letter_; }
    // "X:" and "X:\" + relative.
    std::string Root() const { return std::string(1, letter_) + ":"; }
    std::string operator/(const std::string& relative) const { return Root() + "\\" + relative; }
    // The folder that holds the drive's files, by a path outside the drive.
    const std::string& Folder() const { return folder_.Path(); }

private:
    char letter_;
    UINT type_;
    bool attached_ = false;
    ScratchDir folder_;
};

// Defines (type != DRIVE_NO_ROOT_DIR) or removes a drive letter through Wine's
// mount manager; false when the manager refuses.
bool DefineWineDrive(char letter, UINT type, const std::string& windowsFolder);

// Sends WM_DEVICECHANGE (DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE) for
// the volume of `letter` to every top-level window of the desktop.
void BroadcastVolumeChange(char letter, bool arrival);

// Waits until `condition` holds or `milliseconds` pass, pumping this thread's
// messages meanwhile; returns the last answer.
template <typename Condition>
bool WaitFor(Condition condition, DWORD milliseconds = 10000)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start > milliseconds)
            return condition();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // Wakes at once for a message a worker sends, else looks again in 10 ms.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
