#pragma once

#include <windows.h>

// The program's bitmaps come drawn at 100, 150 and 200 %: bitmap `id` is the
// picture at 96 DPI, id + kBitmapAt150 and id + kBitmapAt200 the same picture
// drawn larger.
constexpr int kBitmapAt150 = 1000;
constexpr int kBitmapAt200 = 2000;

// Bitmap `id` for a window at `dpi`: the drawing whose scale is nearest (the
// larger of two as near), resampled smoothly to the size the 100 % drawing
// has at `dpi`; a drawing that is missing gives way to the next nearest, at
// last the 100 % one. Pixels of the `transparent` colour stay exactly that
// colour and are never blended into the picture's edge. A bitmap the caller
// deletes, or null when bitmap `id` does not exist.
HBITMAP LoadBitmapForDpi(HINSTANCE instance, int id, int dpi, COLORREF transparent);
