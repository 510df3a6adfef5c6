#pragma once

#include "framework/Dialog.h"

// The update dialog (template 156): created hidden at start-up and kept for
// the run. "Обновить" (1060) starts the updater and, when it started, ends
// the program; "Отмена" and Esc close the dialog, Enter does nothing.
class UpdateDialog : public Dialog {
public:
    UpdateDialog();

protected:
    bool OnCommand(WORD id, WORD code, HWND control) override;
    void OnOK() override {}
};
