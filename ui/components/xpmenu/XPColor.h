#pragma once
// Colour arithmetic of the flat look, on plain RGB words (0x00BBGGRR). Needs no Win32; the
// mapping of system colours and of results to a device's palette lives in XPColorWin.h.

#include <cstdint>

using TRgb = uint32_t;

constexpr int RValue(TRgb c) { return static_cast<int>(c & 0xFF); }
constexpr int GValue(TRgb c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BValue(TRgb c) { return static_cast<int>((c >> 16) & 0xFF); }
constexpr TRgb MakeRgb(int r, int g, int b)
{
    return static_cast<TRgb>(r) | (static_cast<TRgb>(g) << 8) | (static_cast<TRgb>(b) << 16);
}

// Each channel moves p percent (at most 100) of its way to 255, rounded half to even.
TRgb LightenRgb(TRgb colour, int percent);
// R - n, G - n + 2, B - n, each clamped to 0..255; a negative n lightens.
TRgb DarkenRgb(TRgb colour, int amount);
// The gray of the channel average plus level, at most 240.
TRgb GrayRgb(TRgb colour, int level);
// True when text over colour keeps the font colour on a highlighted top-level item.
bool IsLightForTopLevelText(TRgb colour);
