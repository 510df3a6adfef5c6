// A program that only waits, for the process monitor's tests: they copy it
// under system programs' names and end it themselves. It ends on its own
// after a while, should a test not get to that.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    Sleep(10 * 60 * 1000);
    return 0;
}
