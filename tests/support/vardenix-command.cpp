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
//   vardenix-command.exe ID message      presses button ID (1: OK) of the program's message box
//   vardenix-command.exe press ID        clicks button ID of the page shown (posted)
//   vardenix-command.exe hover ID [X Y]  moves the mouse onto control ID of the page shown: its
//                                        centre, or X and Y per cent of its width and height
//   vardenix-command.exe scroll ID DX    scrolls list ID of the page shown DX pixels to the right
// Exit code 1 when no window is found.
#include <windows.h>
#include <commctrl.h>

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
    if (argc > 2 && (std::strcmp(argv[1], "press") == 0 || std::strcmp(argv[1], "hover") == 0 ||
                     std::strcmp(argv[1], "scroll") == 0)) {
        const int control = std::atoi(argv[2]);
        for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const HWND item = GetDlgItem(child, control);
            if (!item || !IsWindowVisible(child))
                continue;
            if (argv[1][0] == 's') {
                const int dx = argc > 3 ? std::atoi(argv[3]) : 0;
                return SendMessageW(item, LVM_SCROLL, static_cast<WPARAM>(dx), 0) ? 0 : 1;
            }
            if (argv[1][0] == 'p')
                return PostMessageW(child, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                                    reinterpret_cast<LPARAM>(item)) ? 0 : 1;
            RECT box;
            GetWindowRect(item, &box);
            const int x = argc > 4 ? std::atoi(argv[3]) : 50, y = argc > 4 ? std::atoi(argv[4]) : 50;
            return SetCursorPos(box.left + (box.right - box.left) * x / 100, box.top + (box.bottom - box.top) * y / 100)
                       ? 0
                       : 1;
        }
        return 1;
    }
    if (argc > 2 && std::strcmp(argv[1], "page") == 0) {
        ShowWindow(main, SW_RESTORE);
        SetForegroundWindow(main);
        const int control = std::atoi(argv[2]);
        // The pages are the window's child dialogs; the page buttons are not.
        // The page shown gives the page area, which scales with the DPI.
        const auto isPage = [](HWND child) {
            char name[16] = {};
            GetClassNameA(child, name, sizeof name);
            return std::strcmp(name, "#32770") == 0;
        };
        RECT area = {0, 90, 750, 540};
        for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (isPage(child) && IsWindowVisible(child)) {
                GetWindowRect(child, &area);
                MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&area), 2);
            }
        }
        for (HWND child = GetWindow(main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            if (!isPage(child))
                continue;
            if (GetDlgItem(child, control))
                SetWindowPos(child, HWND_TOP, area.left, area.top, area.right - area.left, area.bottom - area.top,
                             SWP_SHOWWINDOW);
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
    if (argc > 2 && (std::strcmp(argv[2], "about") == 0 || std::strcmp(argv[2], "message") == 0)) {
        const HWND box = FindWindowW(L"#32770", argv[2][0] == 'a' ? L"О программе" : L"Vardenix");
        return box && PostMessageW(box, WM_COMMAND, id, 0) ? 0 : 1;
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
