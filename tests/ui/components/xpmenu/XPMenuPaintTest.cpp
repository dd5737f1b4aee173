#include "ui/components/xpmenu/XPMenuPaint.h"

#include <cmath>

#include "XPPaintFixture.h"
#include "ui/components/xpmenu/XPGdi.h"

namespace {

class XPMenuPaint : public XPPaintFixture {
protected:
    // Width and height the item measures to from 0 x 0.
    SIZE Measure(const TMenuItemView& item, bool mainMenuTopLevel = false)
    {
        HDC dc = GetDC(form_);
        int w = 0, h = 0;
        MeasureMenuItemView(dc, look_, item, mainMenuTopLevel, true, w, h);
        ReleaseDC(form_, dc);
        return SIZE{w, h};
    }
    int TextWidth(const std::string& text)
    {
        HDC dc = GetDC(form_);
        TSelectFont f(dc, look_.Font);
        int w = TextSize(dc, text).cx;
        ReleaseDC(form_, dc);
        return w;
    }
    int TextHeight()
    {
        HDC dc = GetDC(form_);
        TSelectFont f(dc, look_.Font);
        int h = TextSize(dc, "W").cy;
        ReleaseDC(form_, dc);
        return h;
    }
    void SetUp() override
    {
        XPPaintFixture::SetUp();
        GetSystemMenuFont(look_.Font);
    }
    TXPMenuLook look_;
};

TEST_F(XPMenuPaint, MeasuringRules)
{
    TMenuItemView sep;
    sep.Caption = "-";
    EXPECT_EQ(4, Measure(sep).cy) << "a separator is 4 high";
    look_.Font.lfHeight = -40;
    EXPECT_EQ(4, Measure(sep).cy) << "whatever the font";
    GetSystemMenuFont(look_.Font);

    TMenuItemView plain, amp;
    plain.Caption = "File";
    amp.Caption = "&File";
    const int iw = look_.IconWidth;
    EXPECT_EQ(TextWidth("File") + 5 + iw, Measure(plain).cx) << "text + 5 + the icon column";
    EXPECT_EQ(TextWidth("&File") + 5 - TextWidth("&") + iw, Measure(amp).cx) << "an & does not count";

    TMenuItemView shortcut = plain;
    shortcut.ShortCut = "Ctrl+O";
    EXPECT_EQ(TextWidth("FileCtrl+OWWW") + 5 + iw, Measure(shortcut).cx);
    TMenuItemView blankShortcut = plain;
    blankShortcut.ShortCut = "  ";
    EXPECT_EQ(Measure(plain).cx, Measure(blankShortcut).cx) << "a blank shortcut adds nothing";

    EXPECT_EQ(TextWidth("File") + 5 + 8, Measure(plain, true).cx) << "menu bar item: no icon column, 8 more on NT";

    const int th = TextHeight();
    EXPECT_EQ(th + static_cast<int>(std::nearbyint(th * 0.75)), Measure(plain).cy);

    // The height only grows.
    HDC dc = GetDC(form_);
    int w = 500, h = 60;
    MeasureMenuItemView(dc, look_, plain, false, true, w, h);
    ReleaseDC(form_, dc);
    EXPECT_EQ(500, w);
    EXPECT_EQ(60, h);
}

TEST_F(XPMenuPaint, HighlightIsSelectionOnly)
{
    const struct { UINT state; bool top; bool lit; } cases[] = {
        {0, false, false},
        {ODS_SELECTED, false, true},
        {ODS_CHECKED, false, false},
        {ODS_GRAYED | ODS_DISABLED, false, false},
        {ODS_FOCUS | ODS_DEFAULT, false, false},
        {ODS_HOTLIGHT, false, false},
        {ODS_HOTLIGHT, true, true},
        {ODS_INACTIVE, true, false},
        {ODS_SELECTED, true, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.lit, IsMenuItemHighlighted(c.state, c.top)) << "state " << c.state << " top " << c.top;
}

TEST_F(XPMenuPaint, DrawnItemColours)
{
    HDC dc = GetDC(form_);
    TXPMenuColors c = ComputeMenuColors(look_, dc);
    RECT r{0, 0, 200, 22};
    TMenuItemView item;
    item.Caption = "Open";
    DrawMenuItemView(dc, r, 0, look_, item, form_);
    EXPECT_EQ(HexColour(c.IconColumn), HexColour(GetPixel(dc, 5, 10))) << "icon column";
    EXPECT_EQ(HexColour(c.Background), HexColour(GetPixel(dc, 190, 10))) << "background";

    DrawMenuItemView(dc, r, ODS_SELECTED, look_, item, form_);
    EXPECT_EQ(HexColour(c.SelectFill), HexColour(GetPixel(dc, 190, 10))) << "selection fill";
    EXPECT_EQ(HexColour(c.SelectBorder), HexColour(GetPixel(dc, 0, 10))) << "selection border";
    EXPECT_EQ(HexColour(c.SelectBorder), HexColour(GetPixel(dc, 100, 1))) << "border 1 below the top";

    DrawMenuItemView(dc, r, ODS_CHECKED, look_, item, form_);
    EXPECT_EQ(HexColour(c.Background), HexColour(GetPixel(dc, 190, 10))) << "checked alone is no highlight";

    TMenuItemView checked = item;
    checked.Checked = true;
    DrawMenuItemView(dc, r, 0, look_, checked, form_);
    EXPECT_EQ(HexColour(c.Checked), HexColour(GetPixel(dc, 12 - 5, 11))) << "check box outline";
    EXPECT_EQ(HexColour(c.CheckFill), HexColour(GetPixel(dc, 9, 8))) << "check fill";

    TMenuItemView sep;
    sep.Caption = "-";
    RECT sr{0, 30, 200, 34};
    DrawMenuItemView(dc, sr, 0, look_, sep, form_);
    EXPECT_EQ(HexColour(c.Separator), HexColour(GetPixel(dc, 100, 32))) << "separator line at the rounded middle";

    TMenuItemView top;
    top.Caption = "File";
    top.TopLevel = true;
    RECT tr{0, 50, 60, 70};
    DrawMenuItemView(dc, tr, ODS_HOTLIGHT, look_, top, form_);
    EXPECT_EQ(HexColour(c.SelectBorder), HexColour(GetPixel(dc, 0, 60))) << "top-level frame";
    EXPECT_EQ(HexColour(Darken(c.MenuBar, 100)), HexColour(GetPixel(dc, 60 - 7, 68))) << "top-level shadow";
    ReleaseDC(form_, dc);
}

}  // namespace

namespace {

// A popup menu shown with TrackPopupMenu, its items owner-drawn by the flat drawing; a
// timer inside the menu's modal loop reads the rendered colours back.
struct PopupProbe {
    TXPMenuLook look;
    HMENU menu = nullptr;
    int step = 0;
    bool done = false;
    COLORREF background = CLR_INVALID, icon = CLR_INVALID, selected = CLR_INVALID, border = CLR_INVALID;
    TXPMenuColors colours{};
};
PopupProbe* g_probe = nullptr;

LRESULT CALLBACK PopupOwnerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_MEASUREITEM) {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        TMenuItemView v;
        v.Caption = "Item";
        HDC dc = GetDC(wnd);
        int w = 0, h = 0;
        MeasureMenuItemView(dc, g_probe->look, v, false, true, w, h);
        ReleaseDC(wnd, dc);
        mis->itemWidth = w + 60;
        mis->itemHeight = h;
        return TRUE;
    }
    if (msg == WM_DRAWITEM) {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        TMenuItemView v;
        v.Caption = "Item";
        DrawMenuItemView(dis->hDC, dis->rcItem, dis->itemState, g_probe->look, v, wnd);
        return TRUE;
    }
    return DefWindowProcW(wnd, msg, wp, lp);
}

void CALLBACK PopupTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    PopupProbe& p = *g_probe;
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (!popup || !IsWindowVisible(popup))
        return;
    RECT item{};
    GetMenuItemRect(nullptr, p.menu, 0, &item);
    MapWindowPoints(nullptr, popup, reinterpret_cast<POINT*>(&item), 2);
    HDC dc = GetDC(popup);
    const int midY = (item.top + item.bottom) / 2;
    if (p.step == 0) {
        p.colours = ComputeMenuColors(p.look, dc);
        p.background = GetPixel(dc, item.right - 4, midY);
        p.icon = GetPixel(dc, item.left + 3, midY);
        ++p.step;
        PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);  // selects the first item
    } else if (p.step < 20) {
        COLORREF now = GetPixel(dc, item.right - 4, midY);
        if (now != p.background || ++p.step == 20) {
            p.selected = now;
            p.border = GetPixel(dc, item.left, midY);
            p.step = 20;
        }
    } else {
        p.done = true;
        KillTimer(nullptr, id);
        EndMenu();
    }
    ReleaseDC(popup, dc);
}

TEST_F(XPMenuPaint, RenderedPopupMenuColours)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = PopupOwnerProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"XPMenuPopupOwner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, wc.lpszClassName, L"owner", WS_POPUP | WS_VISIBLE, 500, 100, 100, 100, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, owner) << "GetLastError=" << GetLastError();
    SetForegroundWindow(owner);

    PopupProbe probe;
    GetSystemMenuFont(probe.look.Font);
    g_probe = &probe;
    probe.menu = CreatePopupMenu();
    AppendMenuW(probe.menu, MF_OWNERDRAW, 1, nullptr);
    AppendMenuW(probe.menu, MF_OWNERDRAW, 2, nullptr);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, PopupTimer);
    TrackPopupMenu(probe.menu, TPM_LEFTALIGN | TPM_TOPALIGN, 520, 120, 0, owner, nullptr);
    KillTimer(nullptr, timer);
    DestroyMenu(probe.menu);
    DestroyWindow(owner);
    g_probe = nullptr;

    ASSERT_TRUE(probe.done) << "the menu never showed";
    EXPECT_EQ(HexColour(probe.colours.Background), HexColour(probe.background)) << "item background";
    EXPECT_EQ(HexColour(probe.colours.IconColumn), HexColour(probe.icon)) << "icon column";
    EXPECT_EQ(HexColour(probe.colours.SelectFill), HexColour(probe.selected)) << "selected item fill";
    EXPECT_EQ(HexColour(probe.colours.SelectBorder), HexColour(probe.border)) << "selected item border";
}

}  // namespace
