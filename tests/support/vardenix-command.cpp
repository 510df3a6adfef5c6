// Sends a command to the running Vardenix main window from a script, as a
// click on a page button or a tray menu item would:
//   vardenix-command.exe ID [show|post]
// With "show" the window is restored first; with "post" the command is posted
// and the call returns at once (a tray command that shows message boxes).
//   vardenix-command.exe page ID
// restores the window and shows the page that holds control ID in the page
// area, for a page no button shows (the immunity page: 1030).
//   vardenix-command.exe ID syscommand   posts the system command ID (16: the about box)
//   vardenix-command.exe ID about        presses button ID (1: OK) of the about box
// Exit code 1 when no window is found.
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
    if (argc > 2 && std::strcmp(argv[1], "page") == 0) {
        ShowWindow(main, SW_RESTORE);
        SetForegroundWindow(main);
        const int control = std::atoi(argv[2]);
        // The pages are the window's child dialogs; the page buttons are not.
        for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char name[16] = {};
            GetClassNameA(child, name, sizeof name);
            if (std::strcmp(name, "#32770") != 0)
                continue;
            if (GetDlgItem(child, control))
                SetWindowPos(child, HWND_TOP, 0, 90, 750, 450, SWP_SHOWWINDOW);
            else
                ShowWindow(child, SW_HIDE);
        }
        return 0;
    }
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
    const WPARAM command = MAKEWPARAM(std::atoi(argv[1]), BN_CLICKED);
    if (argc > 2 && std::strcmp(argv[2], "post") == 0)
        PostMessageW(main, WM_COMMAND, command, 0);
    else
        SendMessageW(main, WM_COMMAND, command, 0);
    return 0;
}
