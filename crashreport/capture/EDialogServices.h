#pragma once
// What every crash-reporter dialog shares: the current options, fonts, the own-look caption
// and colours, placement on the work area, the shown check, auto-close and keep-in-front
// timers, text measuring and GBK texts of dialog items. Plain Win32: the dialogs must work
// while the application's own windows are broken.

#include <windows.h>

#include <string>
#include <string_view>

#include "crashreport/capture/EDialogLayout.h"
#include "crashreport/capture/EDialogState.h"

class TVurazaModuleOptions;

// The running module's options (the defaults while none are installed).
TVurazaModuleOptions& DialogOptions();
// Message text by slot, for the dialogs.
std::string DialogText(int slot);

constexpr UINT_PTR ShownCheckTimer = 1;
constexpr UINT_PTR AutoCloseTimer = 2;
constexpr UINT_PTR KeepInFrontTimer = 3;

// DialogFlags bits.
enum : uint16_t {
    dfSendChecked = 0x1, dfScreenshotChecked = 0x2, dfCopyBox = 0x4, dfDetails = 0x8, dfLarge = 0x10,
    dfTopMost = 0x20, dfOwnLook = 0x40, dfSendBox = 0x80, dfScreenshotBox = 0x100, dfHelpButton = 0x200,
};
bool DialogFlag(uint16_t bit);
bool OwnLook();

struct TDialogFonts {
    HFONT caption = nullptr, message = nullptr, messageBold = nullptr, messageUnderlined = nullptr,
          messageBoldUnderlined = nullptr, monospace = nullptr, list = nullptr;
    int pointSize = 8;
    HFONT Get(TDialogFont font) const;
};
// Faces by the ANSI code page's character set (ANSI_CHARSET or another).
TDialogFontFaces DialogFontFacesForCodePage(UINT codePage);
void CreateDialogFonts(HWND window, TDialogFonts& fonts);
void FreeDialogFonts(TDialogFonts& fonts);

// Measures in a window's DC with the dialog fonts.
class TWindowMeasurer : public TTextMeasurer {
public:
    TWindowMeasurer(HWND window, const TDialogFonts& fonts) : window_(window), fonts_(fonts) {}
    int TextWidth(TDialogFont font, std::string_view text) const override;
    int LineHeight(TDialogFont font) const override;

private:
    HWND window_;
    const TDialogFonts& fonts_;
};

// Caption metric the dialog uses: small with the own look, else the normal one.
int CaptionMetric();
void PrepareDialogWindow(HWND window, bool forceSmallCaption);
// The caption part of it alone: the small caption, or the normal one without the tool-window style.
void UseDialogCaption(HWND window, bool small);
// Paints the whole non-client area in the own look; false (nothing done) without it.
bool PaintOwnCaption(HWND window, UINT message, WPARAM wParam, std::string_view caption, bool innerFrame,
                     HFONT captionFont);
// Own-look colours of WM_CTLCOLORDLG/STATIC/BTN; null lets the system choose.
HBRUSH OwnLookColor(UINT message, HDC dc, HBRUSH background);

RECT MonitorWorkArea(HWND window);
bool MonitorsBounds(RECT& rect);
void CenterInWorkArea(HWND window, const RECT& area);
void CenterOnActiveMonitor(HWND window, int width, int height);
// The work area the dialogs open in, taken before they are shown.
RECT& DialogWorkArea();
void TakeDialogWorkArea();

void StartAutoClose(HWND window);
void ResetAutoClose();
void StopAutoClose(HWND window);
void StartKeepInFront(HWND window);
void StopKeepInFront(HWND window);
// Timers 2 and 3; true when the tick was one of theirs.
bool HandleServiceTimer(HWND window, UINT_PTR id);
// Timer 1's question: has the dialog still not painted? A visible dialog whose first paint is
// merely late (the display hasn't exposed it yet) is painted now instead of closed unseen, and
// one the modal loop hasn't shown yet is shown first.
bool DialogNeverPainted(HWND window);
// User input that resets the auto-close counter.
bool IsUserInput(UINT message);

int TextWidth(HWND window, HFONT font, std::string_view text);
std::string DialogItemText(HWND window, int id);
void SetDialogItemText(HWND window, int id, std::string_view text);
void SetWindowTextGbk(HWND window, std::string_view text);
void GrowWindowBottom(HWND window, int pixels);
bool EscapePressed();
inline HWND DialogParentWindow() { return nullptr; }
// The module holding the reporter's dialog resources.
HINSTANCE ReporterModule();
void MoveControl(HWND dialog, int id, const TLayoutRect& r);
void ShowControl(HWND dialog, int id, bool show);
