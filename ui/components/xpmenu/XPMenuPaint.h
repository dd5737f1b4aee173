#pragma once
// Measuring and drawing of one flat menu item from plain facts about it, so the component
// layer only has to gather those facts from its menu items.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ui/components/xpmenu/XPMenuLook.h"

struct TMenuItemView {
    std::string Caption;   // GBK; "-" is a separator
    std::string ShortCut;  // GBK shortcut text, may be empty
    bool Enabled = true;
    bool Checked = false;
    bool RadioItem = false;
    bool Default = false;
    bool TopLevel = false;       // a direct item of a main menu
    bool RightToLeft = false;
    HBITMAP Bitmap = nullptr;    // the item's own bitmap, not owned
    HIMAGELIST Images = nullptr; // the menu's image list, not owned
    int ImageIndex = -1;
};

// Size of the item's image: the list image, else the bitmap, else 0 x 0.
SIZE MenuImageSize(const TMenuItemView& item);

// Grows width and height to what the item needs. mainMenuTopLevel: a top-level item of the
// form's own menu bar; nt: the platform is Windows NT.
void MeasureMenuItemView(HDC dc, TXPMenuLook& look, const TMenuItemView& item, bool mainMenuTopLevel,
                         bool nt, int& width, int& height);

// The item counts as highlighted when selected, or hot for a top-level item.
bool IsMenuItemHighlighted(UINT odsState, bool topLevel);

// Draws the item into rect. ownerWindow: the form whose menu bar gets no flat frame.
void DrawMenuItemView(HDC dc, RECT rect, UINT odsState, TXPMenuLook& look, const TMenuItemView& item,
                      HWND ownerWindow);

// The caption drawing shared with the control painters: a default enabled text first gets
// four shadow passes, then the text in colour at r.
void DrawShadowedText(HDC dc, std::string_view gbk, RECT r, UINT flags, TRgb colour, bool shadow);

enum TImageLook { ilNormal, ilHot, ilDimmed, ilDisabled };
// Draws a copy of bitmap transparently (its bottom-left pixel is the transparent colour) at
// (x, y); hot moves it up-left by 1 over a shadow in shadowColour.
void DrawMenuImage(HDC dc, HBITMAP bitmap, int x, int y, TImageLook look, TRgb shadowColour,
                   int dimLevel, int grayLevel);
