// Tollupd.exe, the updater: started by vardenix.exe as
//   Tollupd.exe Tollmark <installed version> <update description address>
// while vardenix.exe ends. It says whether a newer version exists and, when
// the user wants it, downloads and checks the installer and runs it. Whatever
// happens, vardenix.exe runs again when the updater ends: protection never
// silently stops after a check.
#include "framework/MessageBox.h"
#include "framework/Text.h"
#include "updater/UpdateKey.h"
#include "updater/UpdaterProgram.h"
#include "updater/UpdaterResource.h"
#include "updater/UpdaterWindow.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

namespace {

// vardenix.exe ends right after starting the updater; its files are in use,
// and a start of it would only find the old instance, until it has ended. A
// program still running after this long was not ended for the update.
constexpr DWORD kProgramEndWait = 10000;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The shell, which runs the installer, wants COM on the calling thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    const std::wstring folder = ProgramFolder();
    std::unique_ptr<InstallerFile> installer;
    {
        UpdaterWindow window(CommandLineArguments(), kUpdatePublicKey);
        window.RunModal(nullptr);
        installer = window.TakeInstaller();
    }

    WaitForProgramToEnd(kProgramEndWait);
    if (installer) {
        if (!RunInstallerAndWait(*installer))
            ShowMessage(nullptr, LoadText(IDS_ERROR_RUN), MB_OK | MB_ICONERROR);
        installer.reset();
    }
    // The installer may have started the program itself.
    if (!IsProgramRunning())
        StartProgram(folder);

    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}
