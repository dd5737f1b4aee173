#pragma once
// TXPMenu: dropped on a form, it draws the form's menus flat (owner-drawn items) and, through
// TControlSubClass, paints the form's standard controls flat while Active.

#include <cstdint>
#include <vector>

#include "framework/Classes.h"
#include "framework/Exception.h"
#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/Graphics.h"
#include "framework/Menus.h"
#include "ui/components/xpmenu/XPControlPaint.h"
#include "ui/components/xpmenu/XPMenuLook.h"
#include "ui/components/xpmenu/XPMenuPaint.h"

enum TXPContainer { xccForm, xccFrame, xccToolbar, xccCoolbar, xccControlbar, xccPanel, xccScrollBox, xccGroupBox,
                    xccTabSheet, xccPageScroller };
enum TXPControl { xcMainMenu, xcPopupMenu, xcToolbar, xcControlbar, xcCombo, xcEdit, xcMaskEdit, xcMemo, xcRichEdit,
                  xcCheckBox, xcRadioButton, xcButton, xcBitBtn, xcSpeedButton, xcPanel, xcGroupBox };
using TXPContainers = uint32_t;  // bit (1 << TXPContainer)
using TXPControls = uint32_t;    // bit (1 << TXPControl)
constexpr TXPContainers kAllXPContainers = 1023;
constexpr TXPControls kAllXPControls = 65535;
// A menu, menu item, control or container with this Tag keeps its own look.
constexpr int kXPMenuKeepOwnLookTag = 999;

class TControlSubClass;

// A component given an owner of the wrong class.
class EInvalidCast : public Exception {
public:
    using Exception::Exception;
};

class TXPMenu : public TComponent {
    VIDUDO_CLASS(TXPMenu, TComponent)
public:
    // owner must be a form; anything else raises EInvalidCast.
    explicit TXPMenu(TComponent* owner);
    ~TXPMenu() override;

    int DimLevel = 30;
    int GrayLevel = 10;
    TFont& Font() { return font_; }
    void SetFont(const TFont& font);
    TColor Color = clBtnFace;
    TColor IconBackColor = clBtnFace;
    TColor MenuBarColor() const { return menuBarColor_; }
    void SetMenuBarColor(TColor colour);
    TColor SelectColor = clHighlight;
    TColor SelectBorderColor = clHighlight;
    TColor SelectFontColor = clMenuText;
    TColor DisabledColor = clInactiveCaption;
    TColor SeparatorColor = clBtnFace;
    TColor CheckedColor = clHighlight;
    int IconWidth = 24;
    bool DrawSelect = true;
    bool UseSystemColors() const { return useSystemColors_; }
    void SetUseSystemColors(bool value);
    bool OverrideOwnerDraw() const { return overrideOwnerDraw_; }
    void SetOverrideOwnerDraw(bool value);
    bool Gradient = false;
    bool FlatMenu = false;
    bool AutoDetect = false;
    TXPContainers XPContainers() const { return xpContainers_; }
    void SetXPContainers(TXPContainers value);
    TXPControls XPControls() const { return xpControls_; }
    void SetXPControls(TXPControls value);
    bool Active() const { return active_; }
    void SetActive(bool value);
    bool ControlUseTrueXPStyle() const { return trueXP_; }
    void SetControlUseTrueXPStyle(bool value);
    // BtnRoundArc and the true-XP button, check and combo colours.
    TXPControlColors XPColors;

    // Installs (activate) or removes the menu handlers and control subclasses of the form's
    // components; invalidate repaints each control that qualifies.
    void HookFormComponents(TWinControl* form, bool activate, bool invalidate);
    void MeasureMenuItem(TMenuItem* item, TCanvas& canvas, int& width, int& height);
    void DrawMenuItem(TMenuItem* item, TCanvas& canvas, RECT rect, UINT state);
    // True when both of the item's events hold this component's handlers.
    bool IsHookedItem(const TMenuItem* item) const;

    TCustomForm* Form() const { return form_; }
    // The look as the drawing reads it, from the current properties.
    TXPMenuLook Look();
    // Set by the form designer; this program never designs.
    bool Designing = false;

    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TControlSubClass;
    // onlyUnhooked: give handlers only to items without one, whatever OverrideOwnerDraw says.
    void HookMenuItem(TMenuItem* item, bool activate, bool onlyUnhooked);
    TMenuItemView MenuItemView(TMenuItem* item);
    void HookControl(TComponent* component, bool activate, bool invalidate);
    bool QualifiesForDecoration(TControl* control) const;
    bool InDecoratingContainer(TControl* control) const;
    TControlSubClass* SubClassOf(TControl* control) const;
    void ReleaseSubClasses();
    void RedrawMenuBar();
    void Rehook(const std::function<void()>& change);

    TCustomForm* form_;
    TFont font_;
    TColor menuBarColor_ = clBtnFace;
    bool useSystemColors_ = true;
    bool overrideOwnerDraw_ = false;
    TXPContainers xpContainers_ = kAllXPContainers;
    TXPControls xpControls_ = kAllXPControls;
    bool active_ = false;
    bool trueXP_ = true;
    bool destroying_ = false;
};

inline bool HasFlag(uint32_t set, int element) { return (set >> element) & 1u; }
