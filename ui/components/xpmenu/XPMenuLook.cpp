#include "ui/components/xpmenu/XPMenuLook.h"

bool GetSystemMenuFont(LOGFONTW& font)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        return false;
    font = metrics.lfMenuFont;
    return true;
}

TXPMenuColors ComputeMenuColors(TXPMenuLook& look, HDC dc)
{
    TXPMenuColors c{};
    c.Deep = IsDeepColour(dc);
    c.Background = ColorToRGB(look.Color);
    c.IconColumn = ColorToRGB(look.IconBackColor);
    c.SelectBorder = ColorToRGB(look.SelectBorderColor);
    c.SelectText = ColorToRGB(look.SelectFontColor);
    c.MenuBar = ColorToRGB(look.MenuBarColor);
    c.Disabled = ColorToRGB(look.DisabledColor);
    c.Checked = ColorToRGB(look.CheckedColor);
    c.Separator = ColorToRGB(look.SeparatorColor);
    if (c.Deep) {
        c.SelectFill = Lighten(look.SelectColor, 68, dc);
        c.CheckFill = Lighten(look.SelectColor, 80, dc);
        c.CheckFillSelected = Lighten(look.SelectColor, 50, dc);
        c.FrameBorder = Darken(clBtnFace, 90);
        c.FrameShadow = Darken(clBtnFace, 76);
    } else {
        c.SelectFill = ColorToRGB(look.SelectColor);
        c.CheckFill = clWhite;
        c.CheckFillSelected = clSilver;
        c.FrameBorder = c.FrameShadow = ColorToRGB(clBtnShadow);
    }
    if (!look.UseSystemColors)
        return c;

    GetSystemMenuFont(look.Font);
    look.FontColor = clMenuText;
    c.SelectText = ColorToRGB(clMenuText);
    c.SelectBorder = ColorToRGB(clHighlight);
    c.MenuBar = ColorToRGB(clBtnFace);
    c.Checked = ColorToRGB(clHighlight);
    if (c.Deep) {
        c.Background = Lighten(clBtnFace, 86, dc);
        c.IconColumn = Lighten(clBtnFace, 16, dc);
        c.SelectFill = Lighten(clHighlight, 68, dc);
        c.Disabled = Lighten(clBtnShadow, 10, dc);
        c.Separator = Lighten(clBtnShadow, 25, dc);
        c.CheckFill = Lighten(clHighlight, 80, dc);
        c.CheckFillSelected = Lighten(clHighlight, 50, dc);
    } else {
        c.Background = clWhite;
        c.IconColumn = ColorToRGB(clBtnFace);
        c.SelectFill = clWhite;
        c.Disabled = ColorToRGB(clBtnShadow);
        c.Separator = ColorToRGB(clBtnShadow);
        c.CheckFill = c.CheckFillSelected = clWhite;
    }
    return c;
}
