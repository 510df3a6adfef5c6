#pragma once

#include "framework/Dialog.h"
#include "res/resource.h"

// "О программе": the icon, the translation credit and the support address.
// A plain modal dialog: OK and Esc close it.
class AboutDialog : public Dialog {
public:
    AboutDialog() : Dialog(IDD_ABOUT) {}
};
