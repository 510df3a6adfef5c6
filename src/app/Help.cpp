#include "app/Help.h"

#include "framework/MessageBox.h"
#include "quarantine/QuarantineStore.h"
#include "res/resource.h"

#include <shellapi.h>

#include <string>

void OpenHelpFile(HWND owner)
{
    char folder[MAX_PATH] = {};
    if (!GetProgramFolder(folder, MAX_PATH)) {
        // A cut-short module path names no folder; a bare file name would be
        // looked for in whatever the current folder is.
        ShowMessage(owner, IDS_HELP_NOT_FOUND, MB_OK);
        return;
    }
    const std::string path = std::string(folder) + "Tollmark.chm";
    // The path goes to the shell whole, so a folder with spaces is fine.
    const HINSTANCE result = ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        ShowMessage(owner, IDS_HELP_NOT_FOUND, MB_OK);
}
