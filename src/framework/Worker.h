#pragma once

#include <windows.h>

#include <functional>

// Long operations run on detached worker threads; the thread handle is closed
// at once and nobody joins them. A worker touches windows only through
// messages (PostToWindow, SendMessageW), never by calling into controls.
//
// The user-interface thread must never wait for a worker that sends it
// messages: the worker would wait for the UI thread and the UI thread for it.

using WorkerProc = DWORD(WINAPI*)(void* argument);

bool StartWorker(std::function<void()> work);
bool StartWorkerThread(WorkerProc proc, void* argument);

// PostMessageW that refuses a null window: PostMessage(nullptr, ...) would put
// the message on the calling worker's own queue, where nobody reads it and it
// silently vanishes.
bool PostToWindow(HWND window, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
