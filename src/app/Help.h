#pragma once

#include <windows.h>

// Opens "Tollmark.chm" from the program folder with the shell; tells the user
// when it cannot be opened.
void OpenHelpFile(HWND owner);
