#pragma once

#include "controls/ImageButton.h"
#include "framework/Text.h"
#include "res/resource.h"

// Takes over a command button of a page: its bitmap (white shown as
// transparent) above its text, no border, the hand cursor and, unless
// `tooltipId` is 0, its tooltip.
inline void AttachPageButton(ImageButton& button, HWND page, int id, int bitmapId, UINT tooltipId = 0)
{
    button.Attach(page, id);
    button.SetBitmaps(bitmapId, RGB(255, 255, 255));
    button.SetAlignment(ImageButton::ImageAbove);
    button.DrawBorder(false);
    button.SetCursor(IDCUR_HAND);
    if (tooltipId != 0)
        button.SetTooltip(LoadText(tooltipId));
}
