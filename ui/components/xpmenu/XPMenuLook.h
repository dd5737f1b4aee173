#pragma once
// What the flat menu drawing reads: the component's colour properties and font, and the
// working colours derived from them at the start of every item paint.

#include <windows.h>

#include "ui/components/xpmenu/XPColorWin.h"

struct TXPMenuLook {
    TColor Color = clBtnFace;
    TColor IconBackColor = clBtnFace;
    TColor MenuBarColor = clBtnFace;
    TColor SelectColor = clHighlight;
    TColor SelectBorderColor = clHighlight;
    TColor SelectFontColor = clMenuText;
    TColor DisabledColor = clInactiveCaption;
    TColor SeparatorColor = clBtnFace;
    TColor CheckedColor = clHighlight;
    int IconWidth = 24;
    int DimLevel = 30;
    int GrayLevel = 10;
    bool DrawSelect = true;
    bool UseSystemColors = true;
    bool Gradient = false;
    bool FlatMenu = false;
    LOGFONTW Font{};
    TColor FontColor = clMenuText;
};

struct TXPMenuColors {
    TRgb Background, IconColumn, SelectFill, SelectBorder, SelectText, CheckFill, CheckFillSelected,
        Checked, MenuBar, Disabled, Separator, FrameBorder, FrameShadow;
    bool Deep;
};

// The system's menu font; false (font untouched) when the system can't say.
bool GetSystemMenuFont(LOGFONTW& font);

// With UseSystemColors the look's font is reset to the system menu font in clMenuText.
TXPMenuColors ComputeMenuColors(TXPMenuLook& look, HDC dc);
