// Sends a command to the running Vardenix main window from a script, as a
// click on a page button or a tray menu item would:
//   vardenix-command.exe ID [show]
// With "show" the window is restored first. Exit code 1 when no window is found.
//   vardenix-command.exe ID syscommand   posts the system command ID (16: the about box)
//   vardenix-command.exe ID about        presses button ID (1: OK) of the about box
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
    const WPARAM id = static_cast<WPARAM>(std::atoi(argv[1]));
    if (argc > 2 && std::strcmp(argv[2], "syscommand") == 0) {
        // Posted: the about box runs modally inside the handling.
        PostMessageW(main, WM_SYSCOMMAND, id, 0);
        return 0;
    }
    if (argc > 2 && std::strcmp(argv[2], "about") == 0) {
        const HWND about = FindWindowW(L"#32770", L"О программе");
        return about && PostMessageW(about, WM_COMMAND, id, 0) ? 0 : 1;
    }
    if (argc > 2 && std::strcmp(argv[2], "show") == 0) {
        ShowWindow(main, SW_RESTORE);
        SetForegroundWindow(main);
    }
    SendMessageW(main, WM_COMMAND, MAKEWPARAM(std::atoi(argv[1]), BN_CLICKED), 0);
    return 0;
}
