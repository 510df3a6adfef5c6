#include "controls/ScaledBitmap.h"

#include "framework/Dpi.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace {

struct Pixel {
    float r = 0, g = 0, b = 0, a = 0;  // colour premultiplied by coverage
};

BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = -height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}

// For each of `to` samples, the `from` samples it is made of and their
// weights: a tent one source pixel wide when enlarging (linear
// interpolation), one target pixel wide when shrinking (every covered pixel
// counts), so that no pixel is simply repeated or dropped.
std::vector<std::vector<std::pair<int, float>>> Weights(int from, int to)
{
    const double scale = static_cast<double>(to) / from;
    const double radius = scale < 1 ? 1 / scale : 1;
    std::vector<std::vector<std::pair<int, float>>> weights(static_cast<size_t>(to));
    for (int k = 0; k < to; ++k) {
        const double centre = (k + 0.5) / scale - 0.5;
        float sum = 0;
        for (int i = static_cast<int>(std::floor(centre - radius)); i <= static_cast<int>(std::ceil(centre + radius));
             ++i) {
            const float weight = static_cast<float>(1 - std::abs(i - centre) / radius);
            if (weight <= 0)
                continue;
            weights[static_cast<size_t>(k)].emplace_back(std::clamp(i, 0, from - 1), weight);
            sum += weight;
        }
        for (auto& taken : weights[static_cast<size_t>(k)])
            taken.second /= sum;
    }
    return weights;
}

// `source` (width x height, 0x00RRGGBB) at `toWidth` x `toHeight`; the
// `key` pixels count as empty and the result's mostly empty pixels become
// the key again.
std::vector<DWORD> Resample(const std::vector<DWORD>& source, int width, int height, int toWidth, int toHeight,
                            DWORD key)
{
    std::vector<Pixel> input(source.size());
    for (size_t i = 0; i < source.size(); ++i) {
        const DWORD value = source[i] & 0x00FFFFFF;
        if (value != key)
            input[i] = {static_cast<float>((value >> 16) & 0xFF), static_cast<float>((value >> 8) & 0xFF),
                        static_cast<float>(value & 0xFF), 1};
    }
    const auto across = Weights(width, toWidth);
    const auto down = Weights(height, toHeight);

    std::vector<Pixel> rows(static_cast<size_t>(toWidth) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < toWidth; ++x) {
            Pixel& out = rows[static_cast<size_t>(y) * toWidth + x];
            for (const auto& [i, weight] : across[static_cast<size_t>(x)]) {
                const Pixel& in = input[static_cast<size_t>(y) * width + i];
                out.r += in.r * weight;
                out.g += in.g * weight;
                out.b += in.b * weight;
                out.a += in.a * weight;
            }
        }

    std::vector<DWORD> result(static_cast<size_t>(toWidth) * static_cast<size_t>(toHeight));
    for (int y = 0; y < toHeight; ++y)
        for (int x = 0; x < toWidth; ++x) {
            Pixel sum;
            for (const auto& [i, weight] : down[static_cast<size_t>(y)]) {
                const Pixel& in = rows[static_cast<size_t>(i) * toWidth + x];
                sum.r += in.r * weight;
                sum.g += in.g * weight;
                sum.b += in.b * weight;
                sum.a += in.a * weight;
            }
            DWORD& out = result[static_cast<size_t>(y) * toWidth + x];
            if (sum.a < 0.5f) {
                out = key;
                continue;
            }
            const auto channel = [&](float value) {
                return static_cast<DWORD>(std::clamp(std::lround(value / sum.a), 0L, 255L));
            };
            out = (channel(sum.r) << 16) | (channel(sum.g) << 8) | channel(sum.b);
            // An opaque pixel may not turn into the transparent colour.
            if (out == key)
                out ^= 1;
        }
    return result;
}

HBITMAP Resized(HBITMAP bitmap, int width, int height, int toWidth, int toHeight, COLORREF transparent)
{
    BITMAPINFO format = TopDown32(width, height);
    std::vector<DWORD> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    const HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &format, DIB_RGB_COLORS);
    HBITMAP resized = nullptr;
    if (rows == height) {
        const DWORD key = (static_cast<DWORD>(GetRValue(transparent)) << 16) |
                          (static_cast<DWORD>(GetGValue(transparent)) << 8) | GetBValue(transparent);
        const std::vector<DWORD> result = Resample(pixels, width, height, toWidth, toHeight, key);
        BITMAPINFO target = TopDown32(toWidth, toHeight);
        void* bits = nullptr;
        resized = CreateDIBSection(screen, &target, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (resized) {
            std::copy(result.begin(), result.end(), static_cast<DWORD*>(bits));
            GdiFlush();
        }
    }
    ReleaseDC(nullptr, screen);
    return resized;
}

}  // namespace

HBITMAP LoadBitmapForDpi(HINSTANCE instance, int id, int dpi, COLORREF transparent)
{
    const int percent = MulDiv(dpi, 100, kDesignDpi);
    int scales[] = {100, 150, 200};
    // Nearest first; of two as near the larger, since shrinking keeps more
    // of a drawing than enlarging.
    std::stable_sort(std::begin(scales), std::end(scales), [percent](int a, int b) {
        const int da = std::abs(a - percent), db = std::abs(b - percent);
        return da != db ? da < db : a > b;
    });
    for (int scale : scales) {
        const int offset = scale == 150 ? kBitmapAt150 : scale == 200 ? kBitmapAt200 : 0;
        const auto bitmap = static_cast<HBITMAP>(
            LoadImageW(instance, MAKEINTRESOURCEW(id + offset), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (!bitmap)
            continue;
        BITMAP info = {};
        GetObjectW(bitmap, sizeof(info), &info);
        const int width = std::max(1, MulDiv(info.bmWidth, dpi * 100, kDesignDpi * scale));
        const int height = std::max(1, MulDiv(info.bmHeight, dpi * 100, kDesignDpi * scale));
        if (width == info.bmWidth && height == info.bmHeight)
            return bitmap;
        const HBITMAP resized = Resized(bitmap, info.bmWidth, info.bmHeight, width, height, transparent);
        DeleteObject(bitmap);
        return resized;
    }
    return nullptr;
}
