#pragma once
// Panel, timer and image.

#include <functional>

#include "framework/Controls.h"

enum class TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

// Draws a 3-D frame of the given width and shrinks rect to the inside.
void Frame3D(TCanvas& canvas, RECT& rect, TColor topLeft, TColor bottomRight, int width);

class TCustomPanel : public TWinControl {
    VIDUDO_CLASS(TCustomPanel, TWinControl)
public:
    explicit TCustomPanel(TComponent* owner);
    TPanelBevel BevelOuter = TPanelBevel::bvRaised;
    TPanelBevel BevelInner = TPanelBevel::bvNone;
    int BevelWidth = 1;
    int BorderWidth = 0;
    TBorderStyle BorderStyle = TBorderStyle::bsNone;
    TAlignment Alignment = TAlignment::taCenter;

protected:
    bool HasOwnPaint() const override { return true; }
    void Paint(TCanvas& canvas) override;
    void WndProc(TMessage& message) override;
};

class TPanel : public TCustomPanel {
    VIDUDO_CLASS(TPanel, TCustomPanel)
public:
    using TCustomPanel::TCustomPanel;
};

// Calls OnTimer every Interval milliseconds while Enabled, on the thread that created it.
class TTimer : public TComponent {
    VIDUDO_CLASS(TTimer, TComponent)
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned value);
    TNotifyEvent OnTimer;

private:
    void UpdateTimer();
    bool enabled_ = true;
    unsigned interval_ = 1000;
    UINT_PTR id_;
    bool running_ = false;
};

// Shows a picture, optionally stretched to the control.
class TImage : public TWinControl {
    VIDUDO_CLASS(TImage, TWinControl)
public:
    explicit TImage(TComponent* owner);
    TPicture& Picture() { return picture_; }
    bool Stretch = false;
    bool Center = false;

protected:
    bool HasOwnPaint() const override { return true; }
    void Paint(TCanvas& canvas) override;
    TPicture picture_;
};
