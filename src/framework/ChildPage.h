#pragma once

#include "framework/Dialog.h"

#include <string>

// A page of the main window: a child dialog on which Enter and Escape do
// nothing. A page with a list names the list's control, and the list's rows
// can then be read as shown.
class ChildPage : public Dialog {
public:
    explicit ChildPage(UINT templateId, int listId = 0) : Dialog(templateId), listId_(listId) {}

    HWND List() const { return Item(listId_); }
    int RowCount() const;
    // The whole text of a row's column, as shown.
    std::wstring RowText(int row, int column) const;

protected:
    void OnOK() override {}
    void OnCancel() override {}

private:
    int listId_;
};
