#include "ui/components/xpmenu/XPControlPaint.h"

#include <functional>
#include <vector>

#include "XPPaintFixture.h"
#include "ui/components/xpmenu/XPGdi.h"

namespace {

struct Probe {
    int x, y;
    COLORREF colour;
    const char* what;
};

class XPControlPaint : public XPPaintFixture {
protected:
    // Paints with painter on the control's DC and checks each probe there.
    void Check(HWND wnd, const TControlPaintState& s,
               const std::function<void(HDC, const TXPMenuColors&, const TControlPaintState&)>& painter,
               const std::vector<Probe>& probes, const char* label)
    {
        HDC dc = GetDC(wnd);
        TXPMenuLook look;
        TXPMenuColors c = ComputeMenuColors(look, dc);
        TControlPaintState st = s;
        GetClientRect(wnd, &st.Client);
        painter(dc, c, st);
        for (const auto& p : probes)
            EXPECT_EQ(HexColour(p.colour), HexColour(GetPixel(dc, p.x, p.y)))
                << label << ": " << p.what << " at (" << p.x << ", " << p.y << ")";
        ReleaseDC(wnd, dc);
    }
    TXPControlColors xp_;
};

TEST_F(XPControlPaint, TrueXPButtonInEachState)
{
    HWND b = Child(L"BUTTON", BS_PUSHBUTTON, 10, 10, 100, 30);
    HDC dc = GetDC(b);
    const COLORREF shadowPen = Lighten(clBtnShadow, 30, dc);
    ReleaseDC(b, dc);
    auto paint = [this](HDC dc, const TXPMenuColors& c, const TControlPaintState& s) { PaintXPButton(dc, c, xp_, s); };

    struct Case {
        const char* label;
        bool enabled, focused, hot, down;
        std::vector<Probe> probes;
    } cases[] = {
        {"idle", true, false, false, false,
         {{50, 15, 0xF7FBFF, "surface"}, {0, 15, 0x733C00, "outline"}, {50, 28, 0xDEE7E7, "bottom line"},
          {1, 15, 0xF7FBFF, "no inner ring"}}},
        {"focus", true, true, false, false,
         {{1, 15, 0xE7AE8C, "first focus ring"}, {2, 15, 0xE9B08E, "second focus ring"}, {50, 15, 0xF7FBFF, "surface"}}},
        {"hover", true, false, true, false,
         {{1, 15, 0x31B2FF, "first hot ring"}, {2, 15, 0x33B4FF, "second hot ring"}, {0, 15, 0x733C00, "outline"}}},
        {"pressed", true, false, true, true,
         {{50, 15, 0xDEE7E7, "down surface"}, {0, 15, 0x733C00, "outline"}, {50, 28, 0xE7EBEF, "down bottom line"},
          {1, 15, 0xDEE7E7, "no hot ring while pressed"}}},
        {"disabled", false, false, false, false,
         {{0, 15, shadowPen, "outline kept in the shadow pen"}, {50, 15, 0xF7FBFF, "surface"}}},
    };
    for (const auto& c : cases) {
        TControlPaintState s;
        s.Enabled = c.enabled;
        s.Focused = c.focused;
        s.Hot = c.hot;
        s.ButtonDown = c.down;
        Check(b, s, paint, c.probes, c.label);
    }
}

TEST_F(XPControlPaint, PlainButton)
{
    HWND b = Child(L"BUTTON", BS_PUSHBUTTON, 10, 10, 100, 30);
    HDC dc = GetDC(b);
    TXPMenuLook look;
    TXPMenuColors c = ComputeMenuColors(look, dc);
    const COLORREF idleEdge = Darken(clBtnShadow, 50);
    const COLORREF hotFace = Lighten(clBtnFace, 60, dc);
    const COLORREF hotEdge = Darken(Lighten(c.SelectBorder, 60, dc), 50);
    ReleaseDC(b, dc);
    auto paint = [this](HDC dc, const TXPMenuColors& c, const TControlPaintState& s) { PaintXPButton(dc, c, xp_, s); };
    TControlPaintState s;
    s.TrueXP = false;
    Check(b, s, paint, {{50, 15, c.IconColumn, "face"}, {99, 15, idleEdge, "bottom-right edge"}}, "plain idle");
    s.Hot = true;
    s.ButtonDown = true;
    Check(b, s, paint, {{50, 15, hotFace, "hot face"}, {0, 15, hotEdge, "top-left edge when pressed"}}, "plain pressed");
}

TEST_F(XPControlPaint, CheckBoxAndRadioButton)
{
    const int h = GetSystemMetrics(SM_CXHTHUMB);
    HWND box = Child(L"BUTTON", BS_CHECKBOX, 10, 60, 120, 24, L"box");
    // Box area: (0, top) with top centring h in the client less 3 at top and bottom.
    const int top = 3 + (24 - 6 - h) / 2;
    auto check = [this](HDC dc, const TXPMenuColors& c, const TControlPaintState& s) { PaintXPCheckBox(dc, c, xp_, s); };
    TControlPaintState s;
    s.CheckState = BST_CHECKED;
    const int bx = 2, bottom = top + h - 2;
    Check(box, s, check,
          {{bx, top + 5, 0x733C00, "outline"}, {bx + 3, bottom - 4, 0x00A200, "check mark"},
           {bx + 8, top + 3, 0xF7FBFF, "surface"}},
          "true-XP checked");
    s.Hot = true;
    Check(box, s, check, {{bx + 1, top + 5, 0x31B2FF, "hot inner box"}}, "true-XP hot");
    s.Hot = false;
    s.Enabled = false;
    Check(box, s, check, {{bx, top + 5, 0xB5C7C6, "disabled outline"}}, "true-XP disabled");

    HWND radio = Child(L"BUTTON", BS_RADIOBUTTON, 10, 90, 120, 24, L"radio");
    const int d = h - 1 + 2;
    const int rtop = 4 + (24 - 8 - d) / 2;
    auto paintRadio = [this](HDC dc, const TXPMenuColors& c, const TControlPaintState& s) {
        PaintXPRadioButton(dc, c, xp_, s);
    };
    TControlPaintState r;
    r.CheckState = BST_CHECKED;
    Check(radio, r, paintRadio,
          {{d / 2, rtop + d / 2, 0x00A200, "dot"}, {d / 2, rtop, 0x733C00, "circle"}, {d / 2, rtop + 2, 0xF7FBFF, "ring"}},
          "true-XP radio");
    r.TrueXP = false;
    r.CheckState = BST_UNCHECKED;
    Check(radio, r, paintRadio, {{(h - 1) / 2, 4 + (24 - 8 - (h - 1)) / 2 + (h - 1) / 2, GetSysColor(COLOR_WINDOW), "plain"}},
          "plain radio");
}

TEST_F(XPControlPaint, EditComboPanelAndGroupBox)
{
    HWND edit = Child(L"EDIT", WS_BORDER, 150, 10, 100, 22);
    HDC dc = GetDC(edit);
    TXPMenuLook look;
    TXPMenuColors c = ComputeMenuColors(look, dc);
    const COLORREF focusBorder = Lighten(c.SelectBorder, 60, dc);
    const COLORREF idleBorder = Darken(clBtnFace, 60);
    ReleaseDC(edit, dc);
    auto paintEdit = [](HDC dc, const TXPMenuColors& c, const TControlPaintState& s) { PaintXPEdit(dc, c, s); };
    TControlPaintState s;
    Check(edit, s, paintEdit, {{0, 5, idleBorder, "idle border"}}, "edit idle");
    s.Focused = true;
    Check(edit, s, paintEdit, {{0, 5, focusBorder, "focused border"}}, "edit focused");

    HWND combo = Child(L"COMBOBOX", CBS_DROPDOWNLIST, 150, 50, 120, 200);
    RECT cr;
    GetClientRect(combo, &cr);
    const int bw = GetSystemMetrics(SM_CXHTHUMB) + 1;
    auto paintCombo = [this](HDC dc, const TXPMenuColors& c, const TControlPaintState& s) { PaintXPComboBox(dc, c, xp_, s); };
    TControlPaintState cs;
    cs.ControlColor = clWindow;
    Check(combo, cs, paintCombo,
          {{0, cr.bottom / 2, 0x733C00, "true-XP frame"}, {cr.right - 1 - bw, cr.bottom / 2, 0xF7FBFF, "button rim"},
           {cr.right - 1 - bw + 2, 3, 0xE7AE8C, "button face"}},
          "combo idle");
    cs.Hot = true;
    Check(combo, cs, paintCombo, {{cr.right - 1 - bw + 2, 3, 0xFFE7D6, "hot button face"}}, "combo hot");
    cs.DroppedDown = true;
    Check(combo, cs, paintCombo, {{cr.right - 1 - bw + 2, 3, 0xF7A28C, "dropped button face"}}, "combo dropped");

    HWND panel = Child(L"STATIC", 0, 150, 100, 100, 60);
    const COLORREF dark = Darken(clBtnFace, 60), light = Lighten(clBtnFace, 60, GetDC(panel));
    auto paintPanel = [](HDC dc, const TXPMenuColors&, const TControlPaintState& s) { PaintXPPanel(dc, s); };
    TControlPaintState ps;
    ps.BevelOuter = bvRaised;
    ps.BevelInner = bvLowered;
    ps.BorderWidth = 2;
    Check(panel, ps, paintPanel,
          {{0, 30, light, "raised outer: light left"}, {99, 30, dark, "raised outer: dark right"},
           {3, 30, dark, "lowered inner: dark left"}, {96, 30, light, "lowered inner: light right"}},
          "panel");

    HWND group = Child(L"BUTTON", BS_GROUPBOX, 150, 170, 120, 80, L"组");
    auto paintGroup = [](HDC dc, const TXPMenuColors&, const TControlPaintState& s) { PaintXPGroupBox(dc, s); };
    TControlPaintState gs;
    gs.Font = reinterpret_cast<HFONT>(SendMessageW(group, WM_GETFONT, 0, 0));
    Check(group, gs, paintGroup, {{1, 50, light, "3-D left"}, {118, 50, dark, "3-D right"}}, "group box 3-D");
    gs.Ctl3D = false;
    Check(group, gs, paintGroup, {{1, 50, dark, "flat left"}}, "group box flat");
}

}  // namespace

namespace {

TEST_F(XPControlPaint, BitButtonDrawsTheFirstGlyphFrameCentred)
{
    HWND b = Child(L"BUTTON", BS_PUSHBUTTON, 10, 10, 100, 30);
    HDC dc = GetDC(b);
    // Two 8 x 8 frames: red, then blue; a white bottom-left pixel is the transparent colour.
    HBITMAP strip = CreateCompatibleBitmap(dc, 16, 8);
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, strip);
    FillSolid(mem, RECT{0, 0, 8, 8}, 0x0000FF);
    FillSolid(mem, RECT{8, 0, 16, 8}, 0xFF0000);
    SetPixel(mem, 0, 7, 0xFFFFFF);
    SelectObject(mem, old);
    DeleteDC(mem);

    TXPMenuLook look;
    TXPMenuColors c = ComputeMenuColors(look, dc);
    TControlPaintState s;
    GetClientRect(b, &s.Client);
    s.Glyph = strip;
    s.NumGlyphs = 2;
    PaintXPBitBtn(dc, c, xp_, s, 30, 10);
    EXPECT_EQ(HexColour(0x0000FF), HexColour(GetPixel(dc, 50, 15))) << "first frame, centred";
    EXPECT_EQ(HexColour(0xF7FBFF), HexColour(GetPixel(dc, 46, 18))) << "transparent corner shows the surface";
    EXPECT_EQ(HexColour(0xF7FBFF), HexColour(GetPixel(dc, 56, 15))) << "no second frame";
    ReleaseDC(b, dc);
    DeleteObject(strip);
}

}  // namespace
