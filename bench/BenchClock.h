#pragma once

// The benchmarks' timing: a monotonic clock in seconds, the median of the
// rounds, which one slow round (a page fault, another process) does not move,
// and the message loop a benchmark waits in for a page.

#include <windows.h>

#include <algorithm>
#include <vector>

inline double Seconds()
{
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A message loop as the program's own: it wakes at once for a message sent by
// a page's worker (the tests' WaitFor sleeps between looks, which a sent
// message would wait out).
template <typename Condition>
void PumpUntil(Condition condition)
{
    while (!condition()) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}
