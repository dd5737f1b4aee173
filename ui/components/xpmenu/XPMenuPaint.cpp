#include "ui/components/xpmenu/XPMenuPaint.h"

#include <algorithm>
#include <cmath>

#include "framework/ScopedWin.h"
#include "framework/SysUtils.h"
#include "ui/components/xpmenu/XPGdi.h"

namespace {

// A DC-independent copy of the item's image, or null.
HBITMAP CopyItemImage(HDC dc, const TMenuItemView& item)
{
    if (item.Images && item.ImageIndex != -1) {
        int w = 0, h = 0;
        if (!ImageList_GetIconSize(item.Images, &w, &h) || w <= 0 || h <= 0)
            return nullptr;
        HBITMAP bmp = CreateCompatibleBitmap(dc, w, h);
        ScopedMemDC mem(dc);
        ScopedSelectObject select(mem, bmp);
        RECT all{0, 0, w, h};
        FillSolid(mem, all, GetPixel(dc, 2, 2) == CLR_INVALID ? 0 : GetPixel(dc, 2, 2));
        ImageList_Draw(item.Images, item.ImageIndex, mem, 0, 0, ILD_TRANSPARENT);
        return bmp;
    }
    BITMAP info{};
    if (item.Bitmap && GetObjectW(item.Bitmap, sizeof info, &info) && info.bmWidth > 0)
        return static_cast<HBITMAP>(CopyImage(item.Bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    return nullptr;
}

SIZE BitmapSize(HBITMAP bmp)
{
    BITMAP info{};
    if (!bmp || !GetObjectW(bmp, sizeof info, &info))
        return SIZE{0, 0};
    return SIZE{info.bmWidth, info.bmHeight};
}

int RoundHalfEven(double v) { return static_cast<int>(std::nearbyint(v)); }

void DrawTopLevelSelection(HDC dc, const RECT& r, const TXPMenuColors& c, bool shallowOrRtl)
{
    const int L = r.left, T = r.top, Rt = r.right, B = r.bottom;
    const TRgb M = c.MenuBar;
    int x = shallowOrRtl ? Rt - 3 : Rt - 8;
    {
        TSelectPen pen(dc, c.SelectBorder);
        PolyLine(dc, {{L, B - 1}, {L, T}, {x, T}, {x, B}});
    }
    if (shallowOrRtl) {
        FillSolid(dc, RECT{Rt - 2, T + 2, Rt, B}, Darken(M, 70));
        FillSolid(dc, RECT{Rt - 2, T, Rt, T + 2}, M);
        return;
    }
    FillSolid(dc, RECT{Rt - 7, T, Rt, B}, Darken(M, 10));
    FillSolid(dc, RECT{Rt - 7, T + 3, Rt - 2, B}, Darken(M, 30));
    FillSolid(dc, RECT{Rt - 7, T + 5, Rt - 3, B}, Darken(M, 60));
    FillSolid(dc, RECT{Rt - 7, T + 6, Rt - 5, B}, Darken(M, 100));
    {
        TSelectPen pen(dc, M);
        PolyLine(dc, {{Rt - 5, T + 1}, {Rt - 1, T + 1}, {Rt - 1, T + 6}});
        PolyLine(dc, {{Rt - 3, T + 2}, {Rt - 2, T + 2}, {Rt - 2, T + 3}, {Rt - 3, T + 3}});
    }
    {
        TSelectPen pen(dc, Darken(M, 10));
        PolyLine(dc, {{Rt - 6, T + 3}, {Rt - 3, T + 3}, {Rt - 3, T + 6}, {Rt - 4, T + 6}, {Rt - 4, T + 3}});
    }
    {
        TSelectPen pen(dc, Darken(M, 30));
        PolyLine(dc, {{Rt - 5, T + 5}, {Rt - 4, T + 5}, {Rt - 4, T + 9}});
    }
    TSelectPen pen(dc, Darken(M, 40));
    Line(dc, Rt - 6, T + 5, Rt - 6, T + 7);
}

void DrawCheck(HDC dc, const RECT& box, const TMenuItemView& item, bool hasImage, bool highlighted,
               const TXPMenuColors& c)
{
    TRgb penColour = !item.Enabled ? c.Disabled
                     : (item.RadioItem || hasImage) ? c.SelectBorder
                                                    : c.Checked;
    TSelectPen pen(dc, penColour);
    TSelectBrush brush(dc, highlighted ? c.CheckFillSelected : c.CheckFill);
    if (item.RadioItem) {
        if (hasImage)
            RoundBox(dc, box, 6);
        else
            Ellipse(dc, box.left, box.top, box.right, box.bottom);
        return;
    }
    Rectangle(dc, box.left, box.top, box.right, box.bottom);
    if (hasImage)
        return;
    const int L = box.left, T = box.top, R = box.right, B = box.bottom;
    TSelectPen tick(dc, item.Enabled ? clBlack : c.Disabled);
    Line(dc, L + 1, T + 5, L + 4, B - 2);
    Line(dc, L + 2, T + 5, L + 4, B - 3);
    Line(dc, L + 2, T + 4, L + 5, B - 3);
    Line(dc, L + 4, B - 3, R + 2, T - 1);
    Line(dc, L + 4, B - 2, R - 2, T + 3);
}

void DrawFlatFrame(HDC dc, HWND ownerWindow, const TXPMenuColors& c, int iconWidth, bool rtl)
{
    HWND wnd = WindowFromDC(dc);
    if (!wnd || wnd == ownerWindow)
        return;
    RECT wr{};
    GetWindowRect(wnd, &wr);
    ScopedGetDC screen(nullptr);
    RECT outer{wr.left, wr.top, wr.right - 2, wr.bottom - 2};
    FrameSolid(screen, outer, c.FrameBorder);
    RECT inner = outer;
    InflateRect(&inner, -1, -1);
    FrameSolid(screen, inner, c.Background);
    RECT icon = inner;
    if (rtl)
        icon.left = icon.right - 1;
    else
        icon.right = icon.left + 1;
    FillSolid(screen, icon, c.IconColumn);
    FillSolid(screen, RECT{wr.right - 2, wr.top + 2, wr.right, wr.bottom}, c.FrameShadow);
    FillSolid(screen, RECT{wr.left + 2, wr.bottom - 2, wr.right, wr.bottom}, c.FrameShadow);
    FillSolid(screen, RECT{wr.right - 2, wr.top, wr.right, wr.top + 2}, clBtnFace);
    FillSolid(screen, RECT{wr.left, wr.bottom - 2, wr.left + 2, wr.bottom}, clBtnFace);
}

}  // namespace

SIZE MenuImageSize(const TMenuItemView& item)
{
    if (item.Images && item.ImageIndex != -1) {
        int w = 0, h = 0;
        if (ImageList_GetIconSize(item.Images, &w, &h))
            return SIZE{w, h};
    }
    SIZE s = BitmapSize(item.Bitmap);
    return s.cx > 0 ? s : SIZE{0, 0};
}

void MeasureMenuItemView(HDC dc, TXPMenuLook& look, const TMenuItemView& item, bool mainMenuTopLevel,
                         bool nt, int& width, int& height)
{
    const bool separator = item.Caption == "-";
    std::string text = separator ? std::string() : item.Caption;
    if (!Trim(item.ShortCut).empty())
        text += item.ShortCut + "WWW";

    TSelectFont font(dc, look.Font);
    int w = TextSize(dc, text).cx + 5;
    if (text.find('&') != std::string::npos)
        w -= TextSize(dc, "&").cx;

    SIZE image = MenuImageSize(item);
    if (!mainMenuTopLevel)
        image.cx = std::max<LONG>(image.cx, look.IconWidth);
    if (image.cx > 0)
        w += image.cx;
    if (mainMenuTopLevel && nt)
        w += 8;
    width = std::max(width, w);

    if (separator) {
        height = 4;
        return;
    }
    int th = TextSize(dc, text).cy;
    int h = std::max<int>(th + RoundHalfEven(th * 0.75), image.cy + 6);
    height = std::max(height, h);
}

bool IsMenuItemHighlighted(UINT odsState, bool topLevel)
{
    return (odsState & ODS_SELECTED) || (topLevel && (odsState & ODS_HOTLIGHT));
}

void DrawShadowedText(HDC dc, std::string_view gbk, RECT r, UINT flags, TRgb colour, bool shadow)
{
    SetBkMode(dc, TRANSPARENT);
    if (shadow) {
        static const struct { int dx, dy, amount; } passes[] = {{1, 0, 30}, {1, 2, 30}, {0, 1, 40}, {1, 1, 60}};
        for (const auto& p : passes) {
            RECT m = r;
            OffsetRect(&m, p.dx, p.dy);
            COLORREF under = GetPixel(dc, m.left, m.top);
            SetTextColor(dc, Darken(under == CLR_INVALID ? 0 : under, p.amount));
            DrawGbkText(dc, gbk, m, flags);
        }
    }
    SetTextColor(dc, colour);
    DrawGbkText(dc, gbk, r, flags);
}

void DrawMenuImage(HDC dc, HBITMAP bitmap, int x, int y, TImageLook look, TRgb shadowColour,
                   int dimLevel, int grayLevel)
{
    SIZE s = BitmapSize(bitmap);
    if (s.cx <= 0 || s.cy <= 0)
        return;
    ScopedBitmap work(static_cast<HBITMAP>(CopyImage(bitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    if (!work)
        return;
    if (look == ilDimmed)
        DimBitmap(work, dimLevel);
    if (look == ilDisabled) {
        GrayBitmap(work, grayLevel);
        DimBitmap(work, 40);
    }
    ScopedMemDC mem(dc);
    ScopedSelectObject select(mem, work);
    COLORREF transparent = GetPixel(mem, 0, s.cy - 1);
    if (look == ilHot) {
        // Silhouette: every pixel that differs from the transparent one, in the shadow colour.
        ScopedBitmap mask(CreateBitmap(s.cx, s.cy, 1, 1, nullptr));
        ScopedMemDC maskDc(dc);
        ScopedSelectObject selectMask(maskDc, mask);
        SetBkColor(mem, transparent);
        BitBlt(maskDc, 0, 0, s.cx, s.cy, mem, 0, 0, SRCCOPY);
        COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
        COLORREF oldBk = SetBkColor(dc, RGB(255, 255, 255));
        {
            TSelectBrush brush(dc, shadowColour);
            BitBlt(dc, x + 1, y + 1, s.cx, s.cy, maskDc, 0, 0, 0x00B8074A);
        }
        SetTextColor(dc, oldText);
        SetBkColor(dc, oldBk);
        --x;
        --y;
    }
    TransparentBlt(dc, x, y, s.cx, s.cy, mem, 0, 0, s.cx, s.cy, transparent);
}

void DrawMenuItemView(HDC dc, RECT rect, UINT odsState, TXPMenuLook& look, const TMenuItemView& item,
                      HWND ownerWindow)
{
    const TXPMenuColors c = ComputeMenuColors(look, dc);
    const bool separator = item.Caption == "-";
    const bool top = item.TopLevel;
    const bool rtl = item.RightToLeft;
    const bool highlighted = IsMenuItemHighlighted(odsState, top);
    const int iw = look.IconWidth;
    TSelectFont font(dc, look.Font);
    RECT R = rect;
    R.bottom += 1;
    const std::string text = " " + item.Caption;

    ScopedBitmap image(CopyItemImage(dc, item));
    SIZE is = BitmapSize(image);
    const bool hasImage = image.Get() != nullptr;

    RECT icon = R;
    if (rtl)
        icon.left = R.right - iw;
    else
        icon.right = R.left + iw;
    RECT box;
    if (hasImage) {
        box = RECT{icon.left + 1, icon.top + 2, icon.right - 3, icon.bottom - 2};
    } else {
        int cx = (icon.left + icon.right) / 2, cy = (icon.top + icon.bottom) / 2;
        box = RECT{cx - 5, cy - 5, cx + 5, cy + 5};
    }
    if (is.cx > iw) {
        if (rtl)
            box.left = box.right - is.cx;
        else
            box.right = box.left + is.cx;
    }
    if (top)
        box.top -= 1;

    RECT tr = R;
    if (!rtl) {
        tr.left = R.left + (top ? 4 : iw);
        if (is.cx > iw)
            tr.left = std::max<LONG>(tr.left, R.left + is.cx + 4);
    } else {
        tr.left = R.left;
        tr.right = R.right - (top ? 4 : iw);
        if (is.cx > iw)
            tr.right = std::min<LONG>(tr.right, R.right - is.cx - 8);
    }
    if (top) {
        if (!hasImage)
            tr = R;
        else if (rtl)
            tr.right += 5;
        else
            tr.left -= 5;
    }

    // Background.
    if (top) {
        FillSolid(dc, R, c.MenuBar);
    } else if (c.Deep && look.Gradient) {
        RECT g = R;
        InflateRect(&g, 1, 0);
        int width = g.right - g.left, s = 0;
        for (int i = 0; i < width; ++i) {
            int x = rtl ? g.right - 1 - i : g.left + i;
            FillSolid(dc, RECT{x, g.top, x + 1, g.bottom}, Lighten(c.IconColumn, s, dc));
            s = std::min(s + (i < iw + 5 ? 3 : 1), 96);
        }
    } else {
        FillSolid(dc, R, c.Background);
        FillSolid(dc, icon, c.IconColumn);
    }

    TRgb fontColour = item.Enabled ? ColorToRGB(look.FontColor) : ColorToRGB(look.DisabledColor);

    if (highlighted && look.DrawSelect) {
        if (top) {
            FillSolid(dc, R, c.SelectFill);
            DrawTopLevelSelection(dc, R, c, rtl || !c.Deep);
        } else if (item.Enabled) {
            RECT h = R;
            h.top += 1;
            h.bottom -= 1;
            if (look.FlatMenu)
                h.right -= 1;
            FillSolid(dc, h, c.SelectFill);
            FrameSolid(dc, h, c.SelectBorder);
        }
    }

    if (item.Checked)
        DrawCheck(dc, box, item, hasImage, highlighted, c);

    if (hasImage) {
        int x, y = icon.top + 3;
        if (top)
            x = rtl ? R.right - is.cx - 5 : R.left + 1;
        else if (is.cx < iw)
            x = icon.left + (iw - is.cx) / 2;
        else
            x = rtl ? icon.right - is.cx - 2 : icon.left + 2;
        TImageLook il = ilNormal;
        if (!item.Enabled)
            il = ilDisabled;
        else if (!item.Checked && highlighted && !top)
            il = ilHot;
        else if (!item.Checked && !highlighted && c.Deep)
            il = ilDimmed;
        DrawMenuImage(dc, image, x, y, il, Darken(c.SelectFill, 50), look.DimLevel, look.GrayLevel);
    }

    if (separator) {
        int y = tr.top + RoundHalfEven((tr.bottom - tr.top) / 2.0);
        TSelectPen pen(dc, c.Separator);
        if (rtl)
            Line(dc, tr.right - 7, y, tr.left, y);
        else
            Line(dc, tr.left + 7, y, tr.right, y);
    } else {
        TRgb colour = highlighted ? c.SelectText : (!item.Enabled ? ColorToRGB(look.DisabledColor) : fontColour);
        if (highlighted && top && look.UseSystemColors)
            colour = IsLightForTopLevelText(c.IconColumn) ? fontColour : Lighten(c.IconColumn, 90, dc);
        int wh = TextSize(dc, "W").cy;
        RECT t = tr;
        t.top = tr.top + (tr.bottom - tr.top - wh) / 2;
        UINT flags = DT_SINGLELINE | DT_NOCLIP;
        if (rtl) {
            t.right -= 3;
            flags |= DT_RIGHT | DT_RTLREADING;
        } else {
            t.left += 3;
        }
        DrawShadowedText(dc, text, t, flags, colour, item.Default && item.Enabled);
        if (!Trim(item.ShortCut).empty()) {
            RECT s = t;
            UINT sf = DT_SINGLELINE | DT_NOCLIP;
            if (rtl) {
                s.left = tr.left + 10;
                sf |= DT_LEFT;
            } else {
                s.right = tr.right - 10;
                sf |= DT_RIGHT;
            }
            TRgb sc = c.Deep ? Darken(colour, -40) : colour;
            DrawShadowedText(dc, item.ShortCut + " ", s, sf, sc, false);
        }
    }

    if (look.FlatMenu && !top)
        DrawFlatFrame(dc, ownerWindow, c, iw, rtl);
}
