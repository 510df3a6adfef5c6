// Sends a command to the running Vardenix main window from a script, as a
// click on a page button or a tray menu item would:
//   vardenix-command.exe ID [show]
// With "show" the window is restored first. Exit code 1 when no window is found.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    HWND main = nullptr;
    for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window; window = GetWindow(window, GW_HWNDNEXT)) {
        if (GetPropA(window, "vardenix")) {
            main = window;
            break;
        }
    }
    if (!main)
        return 1;
    if (argc > 2 && std::strcmp(argv[2], "show") == 0) {
        ShowWindow(main, SW_RESTORE);
        SetForegroundWindow(main);
    }
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(std::atoi(argv[1]), BN_CLICKED), 0);
    return 0;
}
