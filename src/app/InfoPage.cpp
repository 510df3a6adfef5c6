#include "app/InfoPage.h"

#include "app/Help.h"
#include "framework/Text.h"
#include "res/resource.h"

namespace {
constexpr COLORREF kWhite = RGB(255, 255, 255);
}

InfoPage::InfoPage() : ChildPage(IDD_INFO_PAGE) {}

bool InfoPage::OnInitDialog()
{
    help_.Attach(Handle(), IDC_INFO_HELP);
    help_.SetIcons(IDI_HELP_BOOK);
    help_.SetAlignment(ImageButton::ImageLeft);
    help_.SetTooltip(LoadText(IDS_TIP_READING));
    help_.DrawBorder(false);
    help_.SetCursor(IDCUR_HAND);

    // The protection state is a picture with a caption; clicking it does nothing.
    status_.Attach(Handle(), IDC_FIRST_BUTTON);
    status_.SetBitmaps(IDB_STATUS, kWhite);
    status_.SetAlignment(ImageButton::ImageAbove);
    status_.SetTooltip(LoadText(IDS_PROTECTION_ACTIVE));
    status_.DrawBorder(false);
    SetItemText(IDC_FIRST_BUTTON, LoadText(IDS_ACTIVE));

    // The addresses are the statics' own texts; the support address opens
    // the mail program.
    homePage_.Attach(Handle(), IDC_INFO_HOME_PAGE);
    homePage_.SetUnderline(HyperLink::UnderlineAlways);
    email_.SetUrl("mailto:" + Narrow(ItemText(IDC_INFO_EMAIL)));
    email_.Attach(Handle(), IDC_INFO_EMAIL);
    email_.SetUnderline(HyperLink::UnderlineAlways);

    SetItemText(IDC_INFO_TEXT, LoadText(IDS_INFO_TEXT));

    picture_.Attach(Handle(), IDC_INFO_PICTURE);
    picture_.SetBitmaps(IDB_INFO_PICTURE, kWhite);
    picture_.DrawBorder(false);
    return true;
}

bool InfoPage::OnCommand(WORD id, WORD, HWND)
{
    if (id != IDC_INFO_HELP)
        return false;
    OpenHelpFile(Handle());
    return true;
}
