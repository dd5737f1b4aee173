#include "framework/ExtCtrls.h"

#include <map>

#include "framework/ExceptionBoundary.h"

void Frame3D(TCanvas& canvas, RECT& rect, TColor topLeft, TColor bottomRight, int width)
{
    rect.bottom--;
    rect.right--;
    for (int i = 0; i < width; ++i) {
        canvas.Pen().SetColor(topLeft);
        canvas.MoveTo(rect.left, rect.bottom);
        canvas.LineTo(rect.left, rect.top);
        canvas.LineTo(rect.right, rect.top);
        canvas.Pen().SetColor(bottomRight);
        canvas.LineTo(rect.right, rect.bottom);
        canvas.LineTo(rect.left - 1, rect.bottom);
        InflateRect(&rect, -1, -1);
    }
    rect.bottom++;
    rect.right++;
}

// ---- TCustomPanel

TCustomPanel::TCustomPanel(TComponent* owner) : TWinControl(owner)
{
    width_ = 185;
    height_ = 41;
}

void TCustomPanel::Paint(TCanvas& canvas)
{
    RECT r = ClientRect();
    auto bevel = [&](TPanelBevel b) {
        if (b == TPanelBevel::bvNone)
            return;
        const bool lowered = b == TPanelBevel::bvLowered;
        Frame3D(canvas, r, lowered ? clBtnShadow : clBtnHighlight, lowered ? clBtnHighlight : clBtnShadow, BevelWidth);
    };
    if (BorderStyle == TBorderStyle::bsSingle)
        Frame3D(canvas, r, clWindowFrame, clWindowFrame, 1);
    bevel(BevelOuter);
    Frame3D(canvas, r, color_, color_, BorderWidth);
    bevel(BevelInner);
    const std::string text = Text();
    if (text.empty())
        return;
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;
    format |= Alignment == TAlignment::taCenter ? DT_CENTER : Alignment == TAlignment::taRightJustify ? DT_RIGHT : DT_LEFT;
    if (!enabled_)
        canvas.Font().SetColor(clGrayText);
    canvas.DrawText(text, r, format);
}

void TCustomPanel::WndProc(TMessage& m)
{
    if (m.Msg == CM_TEXTCHANGED || m.Msg == CM_ENABLEDCHANGED)
        Invalidate();
    TWinControl::WndProc(m);
}

// ---- TTimer

namespace {

std::map<UINT_PTR, TTimer*>& Timers()
{
    static std::map<UINT_PTR, TTimer*> timers;
    return timers;
}

UINT_PTR nextTimerId = 1;

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    GuardedCall([&] {
        auto it = Timers().find(id);
        if (it != Timers().end() && it->second->OnTimer)
            it->second->OnTimer(it->second);
    });
}

HWND TimerWindow()
{
    static HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    return window;
}

}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner), id_(nextTimerId++)
{
    Timers()[id_] = this;
    UpdateTimer();
}

TTimer::~TTimer()
{
    if (running_)
        KillTimer(TimerWindow(), id_);
    Timers().erase(id_);
}

void TTimer::SetEnabled(bool value)
{
    if (value == enabled_)
        return;
    enabled_ = value;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned value)
{
    if (value == interval_)
        return;
    interval_ = value;
    UpdateTimer();
}

void TTimer::UpdateTimer()
{
    if (running_)
        KillTimer(TimerWindow(), id_);
    running_ = false;
    if (enabled_ && interval_ > 0)
        running_ = SetTimer(TimerWindow(), id_, interval_, TimerProc) != 0;
}

// ---- TImage

TImage::TImage(TComponent* owner) : TWinControl(owner)
{
    width_ = 105;
    height_ = 105;
    picture_.OnChange = [this] { Invalidate(); };
}

void TImage::Paint(TCanvas& canvas)
{
    TGraphic* g = picture_.Graphic();
    if (!g || g->Width() <= 0 || g->Height() <= 0)
        return;
    RECT r = ClientRect();
    auto* b = dynamic_cast<TBitmap*>(g);
    if (Stretch && b) {
        HDC src = b->Canvas().Handle();
        StretchBlt(canvas.Handle(), 0, 0, r.right, r.bottom, src, 0, 0, b->Width(), b->Height(), SRCCOPY);
        return;
    }
    const int x = Center ? (r.right - g->Width()) / 2 : 0;
    const int y = Center ? (r.bottom - g->Height()) / 2 : 0;
    g->Draw(canvas, x, y);
}
