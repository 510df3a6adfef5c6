#pragma once

#include "framework/Dpi.h"

#include <windows.h>

// The bold "Arial" of the count and status labels above the threat lists,
// 20 by 10 pixels at 96 DPI and as much larger as the page's DPI. The page
// that sets it on its label owns it and deletes it.
inline HFONT CreateCounterFont(int dpi)
{
    return CreateFontW(ScaleToDpi(20, dpi), ScaleToDpi(10, dpi), 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, L"Arial");
}
