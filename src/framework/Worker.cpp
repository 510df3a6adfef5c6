#include "framework/Worker.h"

#include <process.h>

#include <memory>

namespace {

struct ThreadStart {
    WorkerProc proc = nullptr;
    void* argument = nullptr;
    std::function<void()> work;
};

// _beginthreadex rather than CreateThread, so that the C runtime's per-thread
// data is set up and released also with older static runtimes.
unsigned __stdcall ThreadEntry(void* data)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(data));
    if (start->proc)
        return static_cast<unsigned>(start->proc(start->argument));
    start->work();
    return 0;
}

bool Start(std::unique_ptr<ThreadStart> start)
{
    const uintptr_t thread = _beginthreadex(nullptr, 0, ThreadEntry, start.get(), 0, nullptr);
    if (thread == 0)
        return false;
    start.release();
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

} // namespace

bool StartWorker(std::function<void()> work)
{
    if (!work)
        return false;
    auto start = std::make_unique<ThreadStart>();
    start->work = std::move(work);
    return Start(std::move(start));
}

bool StartWorkerThread(WorkerProc proc, void* argument)
{
    if (!proc)
        return false;
    auto start = std::make_unique<ThreadStart>();
    start->proc = proc;
    start->argument = argument;
    return Start(std::move(start));
}

bool PostToWindow(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return window != nullptr && PostMessageW(window, msg, wParam, lParam) != FALSE;
}
