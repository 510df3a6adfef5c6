#pragma once

#include "framework/Dialog.h"

// A page of the main window: a child dialog on which Enter and Escape do
// nothing. Pages with behaviour of their own derive from Dialog directly and
// override OnOK and OnCancel the same way.
class ChildPage : public Dialog {
public:
    explicit ChildPage(UINT templateId) : Dialog(templateId) {}

protected:
    void OnOK() override {}
    void OnCancel() override {}
};
