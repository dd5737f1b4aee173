#pragma once
// Colours as the components store them: RGB words, or system colours (high byte 0xFF, low
// byte the COLOR_ index) that follow the desktop scheme. Helpers resolve them first.

#include <windows.h>

#include <cstdint>

#include "ui/components/xpmenu/XPColor.h"

#if __has_include("framework/Graphics.h")
#include "framework/Graphics.h"
#else
// Until the graphics layer is in: the same colour words (system colours 0x80000000 | index).
using TColor = int32_t;
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE), clBtnShadow = SystemColor(COLOR_BTNSHADOW),
    clHighlight = SystemColor(COLOR_HIGHLIGHT), clMenuText = SystemColor(COLOR_MENUTEXT),
    clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION), clWindow = SystemColor(COLOR_WINDOW),
    clBtnText = SystemColor(COLOR_BTNTEXT);
constexpr TColor clBlack = 0x000000, clGray = 0x808080, clSilver = 0xC0C0C0, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
COLORREF ColorToRGB(TColor colour);
#endif



// Lighten maps its result to the nearest colour the device shows (dc may be null: no mapping).
TRgb Lighten(TColor colour, int percent, HDC dc = nullptr);
TRgb Darken(TColor colour, int amount);
TRgb GrayColor(TColor colour, int level);

// In place, over a bitmap not selected into any DC; a pixel equal to the one before it reuses
// that pixel's result.
void GrayBitmap(HBITMAP bitmap, int level);
void DimBitmap(HBITMAP bitmap, int percent);

// True when the device shows more than 15 bits per pixel.
bool IsDeepColour(HDC dc);
