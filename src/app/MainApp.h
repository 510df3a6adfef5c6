#pragma once

#include "app/StatusPopup.h"
#include "app/UpdateDialog.h"

#include <windows.h>

// The program's entry: single instance, skin library, settings, the start-up
// question, the popup and the update dialog, then the main window's modal run,
// inside which the whole program lives.
class MainApp {
public:
    MainApp() = default;
    MainApp(const MainApp&) = delete;
    MainApp& operator=(const MainApp&) = delete;

    // The start-up sequence and the main window's run; always false, so no
    // message loop of its own follows.
    bool InitInstance();
    // Unloads the skin library (calling its ExitSkin when it has one).
    int ExitInstance();

    // Refreshes `lastcheck` with today's day of the month (or `today` when
    // given); true when it wrote the value.
    static bool UpdateLastCheck(HKEY settings);
    static bool UpdateLastCheck(HKEY settings, int today);

private:
    bool BringFirstInstanceForward() const;
    void LoadSkinLibrary(const char* programFolder);

    HMODULE skinLibrary_ = nullptr;
    StatusPopup popup_;
    // The update check's dialog: created hidden and kept for the run.
    UpdateDialog updateDialog_;
};
