#pragma once
// The flat painters of the standard controls, over the control's own painting. They draw
// from plain facts (state flags, colours, the client rectangle) gathered by the subclass.

#include <windows.h>

#include <string>

#include "ui/components/xpmenu/XPMenuLook.h"

// The true-XP colour set.
struct TXPControlColors {
    int BtnRoundArc = 5;
    TColor BtnOutLineBorderColor = 0x733C00;
    TColor BtnInnerBorderMoveColor = 0x31B2FF;
    TColor BtnInnerBorderFocusColor = 0xE7AE8C;
    TColor BtnSurfaceDownColor = 0xDEE7E7;
    TColor BtnSurfaceNormalColor = 0xF7FBFF;
    TColor BtnSurfaceBottomLineColor = 0xDEE7E7;
    TColor BtnSurfaceDownBottomLineColor = 0xE7EBEF;
    TColor RdoChkControlChkColor = 0x00A200;
    TColor ComboBoxChkColor = 0x8C694A;
    TColor ComboboxSurfaceMoveColor = 0xFFE7D6;
    TColor ComboboxDroppedColor = 0xF7A28C;
    TColor ControlDisabledBorderColor = 0xB5C7C6;
};

enum TBevelKind { bvNone, bvLowered, bvRaised, bvSpace };
enum TXPGlyphLayout { glGlyphLeft, glGlyphRight, glGlyphTop, glGlyphBottom };

struct TControlPaintState {
    RECT Client{};
    bool TrueXP = true;        // ControlUseTrueXPStyle and the Tag allows it
    bool Enabled = true;
    bool Focused = false;
    bool Hot = false;          // mouse inside
    bool ButtonDown = false;   // left button
    bool SpaceDown = false;
    bool RightToLeft = false;
    TColor ControlColor = clBtnFace;
    TColor ParentColor = clBtnFace;
    HFONT Font = nullptr;      // the control's font, not owned
    TColor FontColor = clBlack;
    std::string Caption;       // GBK
    bool Default = false;      // default push button
    int CheckState = BST_UNCHECKED;
    bool CaptionLeft = false;  // check box or radio button with its caption left of the box
    bool DroppedDown = false;
    bool SingleBorder = true;
    bool Ctl3D = true;
    TBevelKind BevelOuter = bvRaised, BevelInner = bvNone;
    int BevelWidth = 1, BorderWidth = 0;
    HBITMAP Glyph = nullptr;   // bit button glyph strip, not owned
    int NumGlyphs = 1;
    TXPGlyphLayout Layout = glGlyphLeft;
    int Spacing = 4;
    bool Pressed() const { return ButtonDown || SpaceDown; }
};

void PaintXPButton(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s);
// A button with a glyph; its plain outline has a fixed 4 x 4 corner.
void PaintXPBitBtn(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s,
                   int dimLevel, int grayLevel);
void PaintXPCheckBox(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s);
void PaintXPRadioButton(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s);
void PaintXPComboBox(HDC dc, const TXPMenuColors& c, const TXPControlColors& xp, const TControlPaintState& s);
// The frame of an edit; its surface colour is the subclass's business.
void PaintXPEdit(HDC dc, const TXPMenuColors& c, const TControlPaintState& s);
void PaintXPPanel(HDC dc, const TControlPaintState& s);
void PaintXPGroupBox(HDC dc, const TControlPaintState& s);

// Three parallel strokes of a check mark with (x, y) its left-bottom corner.
void DrawCheckMarkStrokes(HDC dc, int x, int y, TColor colour);
