// A library that safe removal's tests load from a USB drive into the
// system's rundll32.exe, as a worm's autorun entry does ("rundll32.exe
// E:\x.dll,Entry"): its entry point only waits. It ends on its own after a
// while, should a test not get to that.
#include <windows.h>

extern "C" __declspec(dllexport) void CALLBACK Idle(HWND, HINSTANCE, LPSTR, int)
{
    Sleep(10 * 60 * 1000);
}
