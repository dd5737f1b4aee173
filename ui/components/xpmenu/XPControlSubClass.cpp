#include "ui/components/xpmenu/XPControlSubClass.h"

#include "framework/Buttons.h"
#include "framework/ExceptionBoundary.h"
#include "framework/ExtCtrls.h"
#include "framework/ScopedWin.h"
#include "framework/StdCtrls.h"
#include "ui/components/xpmenu/XPMenu.h"

namespace {

// The procedure put into a control's WindowProc; its type marks the control as subclassed.
struct TSubClassProc {
    TControlSubClass* sub;
    void operator()(TMessage& message) const
    {
        // Restoring the control's WindowProc destroys this object: use only the local copy.
        TControlSubClass* self = sub;
        self->ControlWindowProc(message);
    }
};

constexpr UINT kRecreateHint = 184;  // 0xB8

bool IsAny(const TControl* c, std::initializer_list<std::string_view> names)
{
    for (auto n : names)
        if (c->InheritsFrom(n))
            return true;
    return false;
}

bool IsComboBox(const TControl* c) { return IsAny(c, {"TCustomComboBox", "TComboBox"}); }
bool IsEdit(const TControl* c) { return IsAny(c, {"TCustomEdit", "TEdit"}); }
bool IsCheckBox(const TControl* c) { return IsAny(c, {"TCustomCheckBox", "TCheckBox"}); }
bool IsRadioButton(const TControl* c) { return c->InheritsFrom("TRadioButton"); }
bool IsButton(const TControl* c) { return c->InheritsFrom("TButton"); }
bool IsPanel(const TControl* c) { return IsAny(c, {"TCustomPanel", "TPanel"}); }
bool IsGroupBox(const TControl* c) { return IsAny(c, {"TCustomGroupBox", "TGroupBox"}); }

// Depth bookkeeping that also runs when the saved procedure throws.
struct TDepthGuard {
    int& depth;
    std::function<void()> atZero;
    ~TDepthGuard()
    {
        if (--depth == 0 && atZero)
            atZero();
    }
};

}  // namespace

bool IsSubClassProc(const TWndMethod& proc) { return proc.target<TSubClassProc>() != nullptr; }

TControlSubClass::TControlSubClass(TXPMenu* owner) : TComponent(owner), XPMenu(owner) {}

TControlSubClass::~TControlSubClass()
{
    // Freed by its owner while still in front of the control: leave no dangling procedure.
    Restore();
}

bool TControlSubClass::Install()
{
    if (!Control || IsSubClassProc(Control->WindowProc))
        return false;
    OrgWindowProc = Control->WindowProc;
    Control->WindowProc = TSubClassProc{this};
    return true;
}

bool TControlSubClass::Installed() const
{
    if (!Control)
        return false;
    const auto* proc = Control->WindowProc.target<TSubClassProc>();
    return proc && proc->sub == this;
}

bool TControlSubClass::Restore()
{
    if (!Installed())
        return false;
    Control->WindowProc = OrgWindowProc;
    return true;
}

void TControlSubClass::Release(bool restoreLook)
{
    if (released_)
        return;
    released_ = true;
    const bool restored = Restore();
    if (!restored && Control && OrgWindowProc) {
        // Another subclasser saved our procedure and still calls it: we must stay alive and
        // pass every message on, so this object leaves its owner and lives on.
        passThrough_ = true;
    }
    if (restored && restoreLook && IsEdit(Control)) {
        if (auto* wc = dynamic_cast<TWinControl*>(Control); wc && wc->Ctl3D() != OrgCtl3D)
            wc->SetCtl3D(OrgCtl3D);
    }
    XPMenu = nullptr;
    Control = nullptr;  // the control may go before this object's deferred deletion
    if (Owner())
        Owner()->RemoveComponent(this);
    if (depth_ == 0 && !passThrough_)
        delete this;
}

void TControlSubClass::ControlWindowProc(TMessage& message)
{
    ++depth_;
    TDepthGuard guard{depth_, [this] {
                          if (released_ && !passThrough_)
                              delete this;
                      }};
    if (OrgWindowProc)
        OrgWindowProc(message);
    if (released_ || !XPMenu || !Control)
        return;
    if (!XPMenu->Active()) {
        // The saved procedure's result stands; only the subclass goes.
        GuardedCall([&] { Release(true); });
        return;
    }
    GuardedCall([&] { HandleActiveMessage(message); });
}

void TControlSubClass::HandleActiveMessage(TMessage& m)
{
    lastMessage_ = m.Msg;
    switch (m.Msg) {
    case WM_DESTROY:
        if (!recreating_)
            Release(false);
        return;
    case WM_SETFOCUS:
        focused_ = true;
        PaintControl();
        return;
    case WM_KILLFOCUS:
        focused_ = false;
        PaintControl();
        return;
    case WM_PAINT:
        recreating_ = false;
        PaintControl();
        return;
    case kRecreateHint:
    case CM_INVALIDATE:
    case CM_CTL3DCHANGED:
    case CM_PARENTCTL3DCHANGED:
        recreating_ = true;
        return;
    case BM_GETCHECK:
    case BM_SETCHECK:
        mouseInside_ = false;
        PaintControl();
        return;
    case BM_SETSTATE:
        PaintControl();
        return;
    case WM_KEYDOWN:
        if (m.WParam == VK_SPACE) {
            spaceDown_ = true;
            if (!spacePainted_) {
                spacePainted_ = true;
                PaintControl();
            }
        }
        return;
    case WM_KEYUP:
        if (m.WParam == VK_SPACE) {
            spaceDown_ = spacePainted_ = false;
            PaintControl();
        }
        return;
    case WM_LBUTTONDOWN:
        buttonDown_ = true;
        PaintControl();
        return;
    case WM_LBUTTONUP:
        buttonDown_ = false;
        PaintControl();
        return;
    case WM_LBUTTONDBLCLK:
        if (IsButton(Control) || Control->InheritsFrom("TCheckBox"))
            Control->Perform(WM_LBUTTONDOWN, m.WParam, m.LParam);
        return;
    case CM_FOCUSCHANGED:
    case CM_PARENTCOLORCHANGED:
    case CM_ENABLEDCHANGED:
    case CM_TEXTCHANGED:
        PaintControl();
        return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
        if (Control->Enabled()) {
            mouseInside_ = m.Msg == CM_MOUSEENTER;
            PaintControl();
        }
        return;
    case CM_EXIT:
        mouseInside_ = false;
        PaintControl();
        return;
    default:
        return;
    }
}

LRESULT TControlSubClass::AskSaved(UINT msg)
{
    TMessage q{msg, 0, 0, 0};
    if (OrgWindowProc)
        OrgWindowProc(q);
    return q.Result;
}

void TControlSubClass::PaintControl()
{
    auto* wc = dynamic_cast<TWinControl*>(Control);
    if (!wc || !XPMenu || Control->Tag() < 0 || !wc->HandleAllocated())
        return;
    // Reading the control's state can send it messages that overwrite the last one.
    const bool onPaint = lastMessage_ == WM_PAINT;
    focused_ = wc->Focused();
    const bool trueXP = XPMenu->ControlUseTrueXPStyle() && Control->Tag() != 1234567890;
    const TXPControlColors& xp = XPMenu->XPColors;

    // Changes that repaint or recreate the window come before a DC is taken.
    if (IsEdit(Control)) {
        if (wc->Ctl3D()) {
            recreating_ = true;
            wc->SetCtl3D(false);
        }
        // Only a real change: setting the colour repaints, and the repaint comes back here.
        if (trueXP && Control->Color() != xp.BtnSurfaceNormalColor)
            Control->SetColor(xp.BtnSurfaceNormalColor);
        if (!wc->HandleAllocated() || released_)
            return;
    }

    HWND h = wc->Handle();
    TControlPaintState s;
    GetClientRect(h, &s.Client);
    s.TrueXP = trueXP;
    s.Enabled = Control->Enabled();
    s.Focused = focused_;
    s.Hot = mouseInside_;
    s.ButtonDown = buttonDown_;
    s.SpaceDown = spaceDown_;
    s.RightToLeft = Control->BiDiMode == TBiDiMode::bdRightToLeft;
    s.ControlColor = Control->Color();
    s.ParentColor = Control->Parent() ? Control->Parent()->Color() : clBtnFace;
    s.Font = Control->Font().Handle();
    s.FontColor = Control->Font().Color();
    s.Caption = Control->Caption();
    const LONG style = GetWindowLongW(h, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(h, GWL_EXSTYLE);
    if (auto* button = dynamic_cast<TButton*>(Control))
        s.Default = button->Default();
    else
        s.Default = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    if (auto* box = dynamic_cast<TCustomCheckBox*>(Control))
        s.CaptionLeft = box->Alignment == TAlignment::taLeftJustify;
    else if (auto* radio = dynamic_cast<TRadioButton*>(Control))
        s.CaptionLeft = radio->Alignment == TAlignment::taLeftJustify;
    else
        s.CaptionLeft = (style & BS_LEFTTEXT) != 0;
    if (auto* edit = dynamic_cast<TCustomEdit*>(Control))
        s.SingleBorder = edit->BorderStyle() == TBorderStyle::bsSingle;
    else
        s.SingleBorder = (style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE);
    s.Ctl3D = wc->Ctl3D();
    FillPanelState(s);

    ScopedGetDC dc(h);
    TXPMenuLook look = XPMenu->Look();
    const TXPMenuColors c = ComputeMenuColors(look, dc);
    if (IsComboBox(Control)) {
        s.DroppedDown = AskSaved(CB_GETDROPPEDSTATE) != 0;
        PaintXPComboBox(dc, c, xp, s);
    }
    if (IsEdit(Control))
        PaintXPEdit(dc, c, s);
    if (IsCheckBox(Control) || IsRadioButton(Control)) {
        s.CheckState = static_cast<int>(AskSaved(BM_GETCHECK));
        if (IsCheckBox(Control))
            PaintXPCheckBox(dc, c, xp, s);
        if (IsRadioButton(Control))
            PaintXPRadioButton(dc, c, xp, s);
    }
    if (auto* bit = dynamic_cast<TBitBtn*>(Control)) {
        s.Glyph = bit->Glyph().Empty() ? nullptr : bit->Glyph().Handle();
        s.NumGlyphs = bit->NumGlyphs;
        s.Layout = static_cast<TXPGlyphLayout>(static_cast<int>(bit->Layout));
        s.Spacing = bit->Spacing;
        PaintXPBitBtn(dc, c, xp, s, XPMenu->DimLevel, XPMenu->GrayLevel);
    } else if (IsButton(Control)) {
        PaintXPButton(dc, c, xp, s);
    }
    if (IsPanel(Control) && onPaint)
        PaintXPPanel(dc, s);
    if (IsGroupBox(Control) && onPaint)
        PaintXPGroupBox(dc, s);
}

void TControlSubClass::FillPanelState(TControlPaintState& s)
{
    auto* panel = dynamic_cast<TCustomPanel*>(Control);
    if (!panel)
        return;
    auto kind = [](TPanelBevel b) {
        switch (b) {
        case TPanelBevel::bvNone: return bvNone;
        case TPanelBevel::bvLowered: return bvLowered;
        case TPanelBevel::bvRaised: return bvRaised;
        case TPanelBevel::bvSpace: return bvSpace;
        }
        return bvNone;
    };
    s.BevelOuter = kind(panel->BevelOuter);
    s.BevelInner = kind(panel->BevelInner);
    s.BevelWidth = panel->BevelWidth;
    s.BorderWidth = panel->BorderWidth;
}
