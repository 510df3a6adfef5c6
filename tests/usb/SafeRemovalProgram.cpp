// Safe removal run from wherever this program lies (a test copies it onto a
// USB drive), questions answered OK, volume requests faked; once done, it
// writes the requests, then the texts of its messages (UTF-8), into the file
// its command line names.
#include "framework/Text.h"
#include "support/FakeVolumeControl.h"
#include "support/MessageRecorder.h"
#include "usb/SafeRemoval.h"

#include <fstream>

int main(int argc, char** argv)
{
    FakeVolumeControl fake;
    MessageRecorder messages(IDOK);
    SafeRemoveUsbDrives(nullptr);
    std::ofstream report(argc > 1 ? argv[1] : "report.txt", std::ios::binary);
    for (const std::string& call : fake.calls)
        report << call << '\n';
    for (const std::wstring& text : messages.Texts())
        report << Narrow(text, CP_UTF8) << '\n';
    return 0;
}
