#include "ui/components/xpmenu/XPControlPaint.h"

#include <algorithm>

#include "framework/ScopedWin.h"
#include "framework/SysUtils.h"
#include "ui/components/xpmenu/XPGdi.h"
#include "ui/components/xpmenu/XPMenuPaint.h"

namespace {

RECT Inset(RECT r, int l, int t, int rr, int b) { return RECT{r.left + l, r.top + t, r.right - rr, r.bottom - b}; }

void BottomLine(HDC dc, int left, int right, int y, TColor colour)
{
    TSelectPen pen(dc, colour);
    Line(dc, left, y, right, y);
}

// Box of a check box or radio button: size high, vertically centred in the client less
// margin at top and bottom, at the far side when the caption is left of it.
RECT MarkBox(const TControlPaintState& s, int width, int height, int margin)
{
    RECT r = Inset(s.Client, 0, margin, 0, margin);
    int top = r.top + (r.bottom - r.top - height) / 2;
    bool right = s.CaptionLeft != s.RightToLeft;
    int left = right ? s.Client.right - width : s.Client.left;
    return RECT{left, top, left + width, top + height};
}

// The 3-D frame of a bevel, width pixels deep, shrinking r.
void Frame3D(HDC dc, RECT& r, TColor topLeft, TColor bottomRight, int width)
{
    RECT f{r.left, r.top, r.right - 1, r.bottom - 1};
    for (int i = 0; i < width; ++i) {
        {
            TSelectPen pen(dc, topLeft);
            PolyLine(dc, {{f.left, f.bottom}, {f.left, f.top}, {f.right, f.top}});
        }
        TSelectPen pen(dc, bottomRight);
        PolyLine(dc, {{f.right, f.top}, {f.right, f.bottom}, {f.left - 1, f.bottom}});
        InflateRect(&f, -1, -1);
    }
    InflateRect(&r, -width, -width);
}

void DrawBevel(HDC dc, RECT& r, TBevelKind kind, TRgb dark, TRgb light, int width)
{
    if (kind == bvNone)
        return;
    if (kind == bvLowered)
        Frame3D(dc, r, dark, light, width);
    else
        Frame3D(dc, r, light, dark, width);
}

}  // namespace

void DrawCheckMarkStrokes(HDC dc, int x, int y, TColor colour)
{
    TSelectPen pen(dc, colour);
    for (int i = 0; i < 3; ++i)
        PolyLine(dc, {{x + 2, y - i - 5}, {x + 4, y - i - 3}, {x + 9, y - i - 8}});
}

namespace {

// Face, outline, rings and edges of a push button; plainArc is the plain style's corner.
void PaintButtonFace(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s,
                     int plainArc)
{
    const RECT r = s.Client;
    const int arc = xp.BtnRoundArc;
    TRgb F, E;
    if (s.Hot || s.SpaceDown) {
        F = Lighten(clBtnFace, 60, dc);
        E = Lighten(c.SelectBorder, 60, dc);
    } else {
        F = c.IconColumn;
        E = ColorToRGB(clBtnShadow);
        if (s.Focused)
            E = Lighten(c.SelectBorder, 60, dc);
    }
    FillSolid(dc, r, s.ParentColor);
    {
        TSelectPen pen(dc, Lighten(E, 30, dc));
        TSelectBrush brush(dc, F);
        if (s.TrueXP) {
            FillSolid(dc, r, s.ParentColor);
            TSelectBrush surface(dc, xp.BtnSurfaceNormalColor);
            RoundBox(dc, r, arc);
        } else {
            RoundBox(dc, r, plainArc);
        }
    }
    if (s.TrueXP) {
        if (s.Enabled)
            RoundOutline(dc, r, arc, xp.BtnOutLineBorderColor);
        BottomLine(dc, r.left + arc, r.right - arc, r.bottom - 2, xp.BtnSurfaceBottomLineColor);
    }

    if (s.Enabled && s.TrueXP) {
        RECT ring1 = Inset(r, 1, 1, 1, 1), ring2 = Inset(r, 2, 2, 2, 3);
        if (s.Focused && !s.Hot && !s.Pressed()) {
            RoundOutline(dc, ring1, arc / 2, xp.BtnInnerBorderFocusColor);
            RoundOutline(dc, ring2, arc / 2, ColorToRGB(xp.BtnInnerBorderFocusColor) + 0x020202);
        } else if (s.Hot && !s.Pressed()) {
            RoundOutline(dc, ring1, arc / 2, xp.BtnInnerBorderMoveColor);
            RoundOutline(dc, ring2, arc / 2, ColorToRGB(xp.BtnInnerBorderMoveColor) + 0x020200);
        } else if (s.Pressed()) {
            TSelectPen pen(dc, xp.BtnOutLineBorderColor);
            TSelectBrush brush(dc, xp.BtnSurfaceDownColor);
            RoundBox(dc, r, arc);
            BottomLine(dc, r.left + arc, r.right - arc, r.bottom - 2, xp.BtnSurfaceDownBottomLineColor);
        }
    } else if (s.Enabled) {
        TSelectPen pen(dc, Darken(E, 50));
        if ((s.ButtonDown && s.Hot) || s.SpaceDown)
            PolyLine(dc, {{r.left, r.bottom - 2}, {r.left, r.top + 1}, {r.left + 1, r.top}, {r.right - 1, r.top}});
        else
            PolyLine(dc, {{r.right - 1, r.top + 1}, {r.right - 1, r.bottom - 2}, {r.right - 2, r.bottom - 1},
                          {r.left, r.bottom - 1}});
    }

}

}  // namespace

void PaintXPButton(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s)
{
    PaintButtonFace(dc, c, xp, s, xp.BtnRoundArc);
    const RECT r = s.Client;
    ScopedSelectObject font(dc, s.Font);
    SIZE ts = TextSize(dc, s.Caption);
    int wh = TextSize(dc, "W").cy;
    RECT t{r.left + (r.right - r.left - ts.cx) / 2, r.top + (r.bottom - r.top - wh) / 2, r.right, r.bottom};
    UINT flags = DT_SINGLELINE | DT_NOCLIP | (s.RightToLeft ? DT_RTLREADING : 0);
    TRgb colour = s.Enabled ? ColorToRGB(s.FontColor) : c.Disabled;
    DrawShadowedText(dc, s.Caption, t, flags, colour, s.Default && s.Enabled);
}


void PaintXPBitBtn(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s,
                   int dimLevel, int grayLevel)
{
    PaintButtonFace(dc, c, xp, s, 4);
    const RECT r = s.Client;
    ScopedSelectObject font(dc, s.Font);
    SIZE ts = s.Caption.empty() ? SIZE{0, 0} : TextSize(dc, s.Caption);
    int wh = TextSize(dc, "W").cy;
    BITMAP bm{};
    SIZE gs{0, 0};
    ScopedBitmap frame;
    if (s.Glyph && GetObjectW(s.Glyph, sizeof bm, &bm) && bm.bmWidth > 0) {
        gs = SIZE{bm.bmWidth / std::max(1, s.NumGlyphs), bm.bmHeight};
        // The first frame of the glyph strip.
        frame.Reset(static_cast<HBITMAP>(CopyImage(s.Glyph, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
        if (frame && gs.cx != bm.bmWidth) {
            HBITMAP first = CreateCompatibleBitmap(dc, gs.cx, gs.cy);
            {
                ScopedMemDC src(dc), dst(dc);
                ScopedSelectObject fromStrip(src, frame), toFirst(dst, first);
                BitBlt(dst, 0, 0, gs.cx, gs.cy, src, 0, 0, SRCCOPY);
            }
            frame.Reset(first);
        }
    }
    const int spacing = Trim(s.Caption).empty() || !frame ? 0 : s.Spacing;
    const bool horizontal = s.Layout == glGlyphLeft || s.Layout == glGlyphRight;
    const int totalW = horizontal ? gs.cx + spacing + ts.cx : std::max(gs.cx, ts.cx);
    const int totalH = horizontal ? std::max<int>(gs.cy, wh) : gs.cy + spacing + wh;
    const int x0 = r.left + (r.right - r.left - totalW) / 2, y0 = r.top + (r.bottom - r.top - totalH) / 2;
    POINT g{}, t{};
    switch (s.Layout) {
    case glGlyphLeft:
        g = {x0, y0 + (totalH - gs.cy) / 2};
        t = {x0 + gs.cx + spacing, y0 + (totalH - wh) / 2};
        break;
    case glGlyphRight:
        t = {x0, y0 + (totalH - wh) / 2};
        g = {x0 + ts.cx + spacing, y0 + (totalH - gs.cy) / 2};
        break;
    case glGlyphTop:
        g = {x0 + (totalW - gs.cx) / 2, y0};
        t = {x0 + (totalW - ts.cx) / 2, y0 + gs.cy + spacing};
        break;
    case glGlyphBottom:
        t = {x0 + (totalW - ts.cx) / 2, y0};
        g = {x0 + (totalW - gs.cx) / 2, y0 + wh + spacing};
        break;
    }
    if (frame) {
        TImageLook look = !s.Enabled ? ilDisabled : (s.Hot && !s.Focused) ? ilHot : ilNormal;
        DrawMenuImage(dc, frame, g.x, g.y, look, Darken(c.SelectFill, 50), dimLevel, grayLevel);
    }
    UINT flags = DT_SINGLELINE | DT_NOCLIP | (s.RightToLeft ? DT_RTLREADING : 0);
    TRgb colour = s.Enabled ? ColorToRGB(s.FontColor) : c.Disabled;
    DrawShadowedText(dc, s.Caption, RECT{t.x, t.y, r.right, r.bottom}, flags, colour, s.Default && s.Enabled);
}

void PaintXPCheckBox(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s)
{
    const int h = GetSystemMetrics(SM_CXHTHUMB);
    RECT area = MarkBox(s, h + (s.TrueXP ? 1 : 0), h, 3);
    FillSolid(dc, area, s.ControlColor);
    RECT box = Inset(area, 2, 2, 2, 2);
    const bool grayed = s.CheckState == BST_INDETERMINATE;
    TRgb fill, pen;
    if (s.TrueXP) {
        fill = ColorToRGB(s.Pressed() ? xp.BtnSurfaceDownColor : xp.BtnSurfaceNormalColor);
        pen = ColorToRGB(s.Enabled || s.Pressed() ? xp.BtnOutLineBorderColor : xp.ControlDisabledBorderColor);
    } else {
        fill = grayed ? clSilver
               : s.Pressed() ? c.CheckFillSelected
               : (s.Hot || s.Focused) ? c.SelectFill
                                      : ColorToRGB(clWindow);
        pen = (s.Hot || s.Focused) ? c.SelectBorder : ColorToRGB(clBtnShadow);
    }
    {
        TSelectPen p(dc, pen);
        TSelectBrush b(dc, fill);
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
    }
    if (s.TrueXP && s.Hot)
        FrameSolid(dc, Inset(box, 1, 1, 1, 1), xp.BtnInnerBorderMoveColor);

    TRgb mark = c.Disabled;
    if (s.TrueXP)
        mark = ColorToRGB(xp.RdoChkControlChkColor);
    else if (s.Pressed())
        mark = ColorToRGB(clWindow);
    else if (grayed)
        mark = clGray;
    else if (s.CheckState == BST_CHECKED && s.Enabled)
        mark = ColorToRGB(clHighlight);
    if (grayed)
        FillSolid(dc, Inset(box, 2, 3, 3, 3), mark);
    else if (s.CheckState == BST_CHECKED)
        DrawCheckMarkStrokes(dc, box.left, box.bottom, mark);
}

void PaintXPRadioButton(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s)
{
    const int h = GetSystemMetrics(SM_CXHTHUMB) - 1 + (s.TrueXP ? 2 : 0);
    RECT area = MarkBox(s, h, h, 4);
    FillSolid(dc, area, s.ControlColor);
    TRgb fill, pen;
    if (s.TrueXP) {
        fill = ColorToRGB(s.Pressed() ? xp.BtnSurfaceDownColor : xp.BtnSurfaceNormalColor);
        pen = ColorToRGB(s.Enabled || s.Pressed() ? xp.BtnOutLineBorderColor : xp.ControlDisabledBorderColor);
    } else {
        fill = (s.Hot || s.Focused) ? c.SelectFill : ColorToRGB(clWindow);
        pen = s.Hot ? c.SelectBorder : ColorToRGB(clBtnShadow);
    }
    {
        TSelectPen p(dc, pen);
        TSelectBrush b(dc, fill);
        Ellipse(dc, area.left, area.top, area.right, area.bottom);
    }
    if (s.TrueXP && s.Hot) {
        TSelectPen p(dc, xp.BtnInnerBorderMoveColor);
        TSelectBrush b(dc, TSelectBrush::kHollow);
        Ellipse(dc, area.left + 1, area.top + 1, area.right - 1, area.bottom - 1);
    }
    if (s.CheckState != BST_CHECKED)
        return;
    TRgb dot = s.TrueXP ? ColorToRGB(xp.RdoChkControlChkColor) : ColorToRGB(clHighlight);
    if (!s.Enabled)
        dot = c.Disabled;
    const int in = s.TrueXP ? 4 : 2;
    TSelectPen p(dc, dot);
    TSelectBrush b(dc, dot);
    Ellipse(dc, area.left + in, area.top + in, area.right - in, area.bottom - in);
}

void PaintXPComboBox(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s)
{
    TRgb E = s.Hot ? c.SelectBorder : ColorToRGB(s.ControlColor);
    TRgb fill = s.Hot ? c.SelectFill : ColorToRGB(clBtnFace);
    if (s.Focused && !s.Hot) {
        E = Lighten(c.SelectBorder, 60, dc);
        fill = c.CheckFill;
    }
    if (s.DroppedDown) {
        E = c.SelectBorder;
        fill = c.CheckFillSelected;
    }
    TRgb arrow = (!s.Enabled || s.DroppedDown) ? clWhite : clBlack;

    const RECT r = s.Client;
    FrameSolid(dc, r, s.ParentColor);
    {
        TSelectPen pen(dc, s.ParentColor);
        Line(dc, r.left, r.top, r.right, r.top);
    }
    RECT inner = Inset(r, 1, 1, 1, 1);
    if (!s.TrueXP && (s.Hot || s.Focused))
        inner = r;
    FrameSolid(dc, inner, s.ControlColor);
    FrameSolid(dc, r, s.TrueXP && s.Enabled ? ColorToRGB(xp.BtnOutLineBorderColor) : E);

    const int bw = GetSystemMetrics(SM_CXHTHUMB) + 1;
    RECT btn = s.RightToLeft ? RECT{r.left + 1, r.top + 1, r.left + 1 + bw, r.bottom - 1}
                             : RECT{r.right - 1 - bw, r.top + 1, r.right - 1, r.bottom - 1};
    if (s.TrueXP) {
        FillSolid(dc, btn, xp.BtnSurfaceNormalColor);
        TColor face = s.DroppedDown ? xp.ComboboxDroppedColor
                      : s.Pressed() ? xp.BtnSurfaceDownColor
                      : s.Hot       ? xp.ComboboxSurfaceMoveColor
                                    : xp.BtnInnerBorderFocusColor;
        FillSolid(dc, Inset(btn, 1, 1, 1, 1), face);
        int x = (btn.left + btn.right) / 2 - 4, y = (btn.top + btn.bottom) / 2 - 2;
        TSelectPen pen(dc, xp.ComboBoxChkColor, 2);
        PolyLine(dc, {{x, y}, {x + 4, y + 4}, {x + 8, y}});
        return;
    }
    FillSolid(dc, btn, fill);
    RECT strip = s.RightToLeft ? RECT{btn.right, btn.top, btn.right + 5, btn.bottom}
                               : RECT{btn.left - 5, btn.top, btn.left, btn.bottom};
    FillSolid(dc, strip, s.ControlColor);
    {
        TSelectPen pen(dc, E);
        int x = s.RightToLeft ? btn.right : btn.left - 1;
        Line(dc, x, btn.top, x, btn.bottom);
    }
    TSelectPen pen(dc, arrow);
    int x = s.RightToLeft ? r.left + 5 : r.right - 10;
    for (int i = 0; i < 3; ++i)
        Line(dc, x + i, r.top + 10 + i, x + 5 - i, r.top + 10 + i);
}

void PaintXPEdit(HDC dc, const TXPMenuColors& c, const TControlPaintState& s)
{
    TRgb border;
    if (s.Hot || s.Focused)
        border = s.SingleBorder ? Lighten(c.SelectBorder, 60, dc) : Lighten(c.SelectBorder, 80, dc);
    else
        border = s.SingleBorder ? Darken(s.ParentColor, 60) : ColorToRGB(s.ParentColor);
    FrameSolid(dc, s.Client, border);
}

void PaintXPPanel(HDC dc, const TControlPaintState& s)
{
    TRgb dark = Darken(s.ControlColor, 60), light = Lighten(s.ControlColor, 60, dc);
    RECT r = s.Client;
    DrawBevel(dc, r, s.BevelOuter, dark, light, s.BevelWidth);
    InflateRect(&r, -s.BorderWidth, -s.BorderWidth);
    DrawBevel(dc, r, s.BevelInner, dark, light, s.BevelWidth);
}

void PaintXPGroupBox(HDC dc, const TControlPaintState& s)
{
    ScopedSelectObject font(dc, s.Font);
    int th = TextSize(dc, s.Caption.empty() ? std::string(" ") : s.Caption).cy;
    RECT f{s.Client.left + 1, s.Client.top + th / 2, s.Client.right - 1, s.Client.bottom - 1};
    TRgb dark = Darken(s.ControlColor, 60);
    TRgb light = s.Ctl3D ? Lighten(s.ControlColor, 60, dc) : dark;
    {
        TSelectPen pen(dc, light);
        PolyLine(dc, {{f.left, f.bottom - 1}, {f.left, f.top}, {f.right - 1, f.top}});
    }
    {
        TSelectPen pen(dc, dark);
        PolyLine(dc, {{f.right - 1, f.top}, {f.right - 1, f.bottom - 1}, {f.left - 1, f.bottom - 1}});
    }
    if (s.Caption.empty())
        return;
    SIZE ts = TextSize(dc, s.Caption);
    RECT t = s.RightToLeft ? RECT{s.Client.right - 9 - ts.cx, s.Client.top, s.Client.right - 9, s.Client.top + ts.cy}
                           : RECT{s.Client.left + 9, s.Client.top, s.Client.left + 9 + ts.cx, s.Client.top + ts.cy};
    FillSolid(dc, t, s.ControlColor);
    SetBkMode(dc, TRANSPARENT);
    DrawGbkText(dc, s.Caption, t, DT_SINGLELINE | DT_NOCLIP | (s.RightToLeft ? DT_RTLREADING : 0));
}
