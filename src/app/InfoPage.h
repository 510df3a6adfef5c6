#pragma once

#include "framework/ChildPage.h"
#include "controls/HyperLink.h"
#include "controls/ImageButton.h"

// The first page of the main window: the help button, the protection state,
// the version, the maker's home page and support address as links, and a
// short description of the program.
class InfoPage : public ChildPage {
public:
    InfoPage();

    const ImageButton& HelpButton() const { return help_; }
    const ImageButton& StatusButton() const { return status_; }
    const ImageButton& Picture() const { return picture_; }
    HyperLink& HomePageLink() { return homePage_; }
    HyperLink& EmailLink() { return email_; }

protected:
    bool OnInitDialog() override;
    bool OnCommand(WORD id, WORD code, HWND control) override;

private:
    ImageButton help_;
    ImageButton status_;
    HyperLink homePage_;
    HyperLink email_;
    ImageButton picture_;
};
