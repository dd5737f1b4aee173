#include "ui/components/xpmenu/XPGdi.h"

#include <vector>

#include "framework/CodePage.h"

TSelectPen::TSelectPen(HDC dc, TColor colour, int width)
    : pen_(CreatePen(PS_SOLID, width, ColorToRGB(colour))), select_(dc, pen_)
{
}

TSelectBrush::TSelectBrush(HDC dc, TColor colour)
    : brush_(colour == kHollow ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                               : CreateSolidBrush(ColorToRGB(colour))),
      select_(dc, brush_)
{
}

TSelectFont::TSelectFont(HDC dc, const LOGFONTW& font) : font_(CreateFontIndirectW(&font)), select_(dc, font_) {}

void FillSolid(HDC dc, const RECT& r, TColor colour)
{
    ScopedBrush b(CreateSolidBrush(ColorToRGB(colour)));
    FillRect(dc, &r, b);
}

void FrameSolid(HDC dc, const RECT& r, TColor colour)
{
    ScopedBrush b(CreateSolidBrush(ColorToRGB(colour)));
    FrameRect(dc, &r, b);
}

void Line(HDC dc, int x1, int y1, int x2, int y2)
{
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void PolyLine(HDC dc, std::initializer_list<POINT> points)
{
    std::vector<POINT> p(points);
    Polyline(dc, p.data(), static_cast<int>(p.size()));
}

void RoundBox(HDC dc, const RECT& r, int arc) { RoundRect(dc, r.left, r.top, r.right, r.bottom, arc, arc); }

void RoundOutline(HDC dc, const RECT& r, int arc, TColor colour)
{
    TSelectPen pen(dc, colour);
    TSelectBrush brush(dc, TSelectBrush::kHollow);
    RoundBox(dc, r, arc);
}

SIZE TextSize(HDC dc, std::string_view gbk)
{
    std::wstring w = GbkToWide(gbk);
    SIZE s{};
    GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &s);
    return s;
}

void DrawGbkText(HDC dc, std::string_view gbk, RECT r, UINT flags)
{
    std::wstring w = GbkToWide(gbk);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r, flags);
}
