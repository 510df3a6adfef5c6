#include "app/Help.h"

#include "framework/MessageBox.h"
#include "res/resource.h"

#include <shellapi.h>

#include <cstring>
#include <string>

void OpenHelpFile(HWND owner)
{
    char module[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string path(module, length < MAX_PATH ? length : 0);
    const size_t folderEnd = path.rfind('\\');
    if (folderEnd == std::string::npos) {
        // A cut-short module path names no folder; a bare file name would be
        // looked for in whatever the current folder is.
        ShowMessage(owner, IDS_HELP_NOT_FOUND, MB_OK);
        return;
    }
    path.erase(folderEnd + 1);
    path += "Tollmark.chm";
    // The path goes to the shell whole, so a folder with spaces is fine.
    const HINSTANCE result = ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(result) <= 32)
        ShowMessage(owner, IDS_HELP_NOT_FOUND, MB_OK);
}
