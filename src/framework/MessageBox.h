#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Every message box of the program goes through ShowMessage, with the caption
// "Vardenix". A test installs a hook that answers instead of the user.

struct MessageBoxCall {
    HWND owner = nullptr;
    std::wstring text;
    std::wstring caption;
    UINT type = MB_OK;
};

using MessageBoxHook = std::function<int(const MessageBoxCall&)>;

// Installs `hook` (an empty one restores MessageBoxW). The hook is called on
// whichever thread shows the message, workers included.
void SetMessageBoxHook(MessageBoxHook hook);

int ShowMessage(HWND owner, const std::wstring& text, UINT type = MB_OK);
// The text is string-table entry `stringId` of the executable.
int ShowMessage(HWND owner, UINT stringId, UINT type = MB_OK);
