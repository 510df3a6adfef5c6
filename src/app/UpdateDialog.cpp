#include "app/UpdateDialog.h"

#include "app/MainWindow.h"
#include "app/UpdateCheck.h"
#include "res/resource.h"

UpdateDialog::UpdateDialog() : Dialog(IDD_UPDATE_DIALOG)
{
}

bool UpdateDialog::OnCommand(WORD id, WORD, HWND)
{
    if (id != IDC_UPDATE_NOW)
        return false;
    const bool started = StartUpdater(Handle());
    Destroy();
    // Ending the main window's run destroys it, which takes the tray icon
    // away, and the program ends.
    MainWindow* main = MainWindow::Instance();
    if (started && main)
        main->EndModal(IDCANCEL);
    return true;
}
