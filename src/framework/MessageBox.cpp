#include "framework/MessageBox.h"

#include "framework/Text.h"

#include <memory>
#include <mutex>

namespace {

std::mutex hookMutex;
// Held by shared pointer so that a call in progress on a worker keeps its hook
// alive while a test replaces or removes it.
std::shared_ptr<MessageBoxHook> currentHook;

} // namespace

void SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> lock(hookMutex);
    currentHook = hook ? std::make_shared<MessageBoxHook>(std::move(hook)) : nullptr;
}

int ShowMessage(HWND owner, const std::wstring& text, UINT type)
{
    std::shared_ptr<MessageBoxHook> hook;
    {
        std::lock_guard<std::mutex> lock(hookMutex);
        hook = currentHook;
    }
    MessageBoxCall call;
    call.owner = owner;
    call.text = text;
    call.caption = L"Vardenix";
    call.type = type;
    if (hook)
        return (*hook)(call);
    return MessageBoxW(owner, call.text.c_str(), call.caption.c_str(), type);
}

int ShowMessage(HWND owner, UINT stringId, UINT type)
{
    return ShowMessage(owner, LoadText(stringId), type);
}
