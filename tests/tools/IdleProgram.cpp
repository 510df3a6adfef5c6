// A program that only waits, for the process monitor's and safe removal's
// tests: they copy it under other programs' names and end it themselves. It
// ends on its own after a while, should a test not get to that.
#include <windows.h>
#include <sddl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (lstrcmpA(commandLine, "--refuse-queries") == 0) {
        // As malware may hide its file: nobody may query the process (so its
        // path cannot be read), but anyone may end it and wait for its end.
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;0x00100001;;;WD)", SDDL_REVISION_1,
                                                                 &descriptor, nullptr)) {
            SetKernelObjectSecurity(GetCurrentProcess(), DACL_SECURITY_INFORMATION, descriptor);
            LocalFree(descriptor);
        }
    } else if (commandLine && *commandLine) {
        // Like an editor with a document, it holds open the file its command line names.
        CreateFileA(commandLine, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                    nullptr);
    }
    Sleep(10 * 60 * 1000);
    return 0;
}
