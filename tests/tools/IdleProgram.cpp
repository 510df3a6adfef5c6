// A program that only waits, for the process monitor's and safe removal's
// tests: they copy it under other programs' names and end it themselves. It
// ends on its own after a while, should a test not get to that.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    // Like an editor with a document, it holds open the file its command line names.
    if (commandLine && *commandLine)
        CreateFileA(commandLine, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                    nullptr);
    Sleep(10 * 60 * 1000);
    return 0;
}
