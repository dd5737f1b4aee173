#include "ui/components/xpmenu/XPColorWin.h"

#include <algorithm>
#include <vector>

#include "framework/ScopedWin.h"

TRgb Lighten(TColor colour, int percent, HDC dc)
{
    TRgb rgb = LightenRgb(ColorToRGB(colour), percent);
    if (!dc)
        return rgb;
    COLORREF nearest = GetNearestColor(dc, rgb);
    return nearest == CLR_INVALID ? rgb : nearest;
}

TRgb Darken(TColor colour, int amount) { return DarkenRgb(ColorToRGB(colour), amount); }

TRgb GrayColor(TColor colour, int level) { return GrayRgb(ColorToRGB(colour), level); }

bool IsDeepColour(HDC dc)
{
    return GetDeviceCaps(dc, BITSPIXEL) * GetDeviceCaps(dc, PLANES) > 15;
}

namespace {

// DIB words are 0x00RRGGBB; the helpers work on 0x00BBGGRR.
TRgb Swap(uint32_t px) { return MakeRgb((px >> 16) & 0xFF, (px >> 8) & 0xFF, px & 0xFF); }

template <class F>
void MapBitmap(HBITMAP bitmap, F&& f)
{
    BITMAP info{};
    if (!bitmap || !GetObjectW(bitmap, sizeof info, &info) || info.bmWidth <= 0 || info.bmHeight <= 0)
        return;
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = info.bmWidth;
    bi.bmiHeader.biHeight = -info.bmHeight;  // top-down: row by row, left to right
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> px(static_cast<size_t>(info.bmWidth) * info.bmHeight);
    ScopedGetDC dc(nullptr);
    if (GetDIBits(dc, bitmap, 0, info.bmHeight, px.data(), &bi, DIB_RGB_COLORS)) {
        uint32_t lastIn = 0, lastOut = 0;
        bool have = false;
        for (auto& p : px) {
            uint32_t in = p & 0xFFFFFF;
            if (!have || in != lastIn) {
                lastIn = in;
                lastOut = Swap(f(Swap(in)));
                have = true;
            }
            p = lastOut;
        }
        SetDIBits(dc, bitmap, 0, info.bmHeight, px.data(), &bi, DIB_RGB_COLORS);
    }
}

}  // namespace

void GrayBitmap(HBITMAP bitmap, int level)
{
    MapBitmap(bitmap, [level](TRgb c) { return GrayRgb(c, level); });
}

void DimBitmap(HBITMAP bitmap, int percent)
{
    int p = std::min(percent, 100);
    MapBitmap(bitmap, [p](TRgb c) { return LightenRgb(c, p); });
}
