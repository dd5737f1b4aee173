#pragma once
// The colour helpers on the framework's colours (RGB words or system colours), which they
// resolve to RGB first.

#include <windows.h>

#include <cstdint>

#include "framework/Graphics.h"
#include "ui/components/xpmenu/XPColor.h"

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
