#pragma once
// TControlSubClass: one decorated control. It sits in front of the control's WindowProc, lets
// the saved procedure do the work, then repaints the control flat when its state changes.

#include "framework/Classes.h"
#include "framework/Controls.h"
#include "framework/Messages.h"
#include "ui/components/xpmenu/XPControlPaint.h"

class TXPMenu;

class TControlSubClass : public TComponent {
    VIDUDO_CLASS(TControlSubClass, TComponent)
public:
    explicit TControlSubClass(TXPMenu* owner);
    ~TControlSubClass() override;

    TControl* Control = nullptr;
    TWndMethod OrgWindowProc;
    TXPMenu* XPMenu = nullptr;
    bool OrgCtl3D = true;

    // Saves the control's WindowProc and installs this object's; false when the control
    // already runs a subclass procedure.
    bool Install();
    // True while this object's procedure is the control's current WindowProc.
    bool Installed() const;
    // Puts the saved procedure back when it is still ours to replace; true when it was.
    bool Restore();
    // Leaves the control and frees this object, at once or at the end of the message
    // being handled.
    // restoreLook gives an edit its saved Ctl3D back.
    void Release(bool restoreLook);

    void ControlWindowProc(TMessage& message);
    void PaintControl();

private:
    void HandleActiveMessage(TMessage& message);
    // The saved procedure's answer to a query, bypassing this object's own handling.
    LRESULT AskSaved(UINT msg);
    void FillPanelState(TControlPaintState& s);

    bool mouseInside_ = false;
    bool recreating_ = false;
    bool buttonDown_ = false;
    bool spaceDown_ = false;
    bool spacePainted_ = false;
    bool focused_ = false;
    UINT lastMessage_ = 0;
    int depth_ = 0;           // nesting of ControlWindowProc on the stack
    bool released_ = false;   // to be deleted when depth_ returns to 0
    bool passThrough_ = false;  // released but still called by a later subclasser
};

// True when the control's WindowProc is some TControlSubClass's procedure.
bool IsSubClassProc(const TWndMethod& proc);
