#pragma once

#include "system/OwnedHandle.h"

#include <windows.h>

#include <string>

// Explorer is the desktop and the taskbar as well as the folder windows: a
// program that ends it for a moment owes the user a new one, started as the
// user it ran as, not as whoever this program runs as (an administrator's
// elevated copy would hand its rights to everything the user starts from
// the desktop).
class ShellRestart {
public:
    // Remembers the Explorer of `process` (open with at least
    // PROCESS_QUERY_LIMITED_INFORMATION), whose executable is `path`, before
    // it is ended: its executable and its user's token. The first Explorer
    // remembered is the one started again.
    void Remember(HANDLE process, const std::wstring& path);
    bool Remembered() const { return !path_.empty(); }

    // Starts the remembered Explorer again, in the Windows folder, unless an
    // Explorer of that executable runs in this session and the taskbar is
    // there (Windows may have started the shell again by itself). True when
    // one runs afterwards.
    bool StartAgain();

private:
    bool Start();

    std::wstring path_;
    OwnedHandle token_;
};
