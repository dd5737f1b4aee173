#pragma once
// Small RAII helpers over GDI for the flat painters: every object selected into a DC is
// deselected and deleted in reverse order when the helper goes out of scope.

#include <windows.h>

#include <string>
#include <string_view>

#include "framework/ScopedWin.h"
#include "ui/components/xpmenu/XPColorWin.h"

class TSelectPen {
public:
    TSelectPen(HDC dc, TColor colour, int width = 1);
private:
    ScopedPen pen_;
    ScopedSelectObject select_;
};

// kHollow (clNone) selects the hollow brush.
class TSelectBrush {
public:
    TSelectBrush(HDC dc, TColor colour);
    static constexpr TColor kHollow = clNone;
private:
    ScopedBrush brush_;  // DeleteObject ignores the stock hollow brush
    ScopedSelectObject select_;
};

class TSelectFont {
public:
    TSelectFont(HDC dc, const LOGFONTW& font);
private:
    ScopedFont font_;
    ScopedSelectObject select_;
};

void FillSolid(HDC dc, const RECT& r, TColor colour);
void FrameSolid(HDC dc, const RECT& r, TColor colour);
void Line(HDC dc, int x1, int y1, int x2, int y2);
// An open polyline through the points in the current pen.
void PolyLine(HDC dc, std::initializer_list<POINT> points);
// Rounded rectangle in the current pen and brush.
void RoundBox(HDC dc, const RECT& r, int arc);
// Rounded outline only, in the given colour.
void RoundOutline(HDC dc, const RECT& r, int arc, TColor colour);

SIZE TextSize(HDC dc, std::string_view gbk);
// DrawTextW of a GBK text; flags as for DrawTextW.
void DrawGbkText(HDC dc, std::string_view gbk, RECT r, UINT flags);
