#include "ui/components/xpmenu/XPMenu.h"

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/ImgList.h"
#include "ui/components/xpmenu/XPControlSubClass.h"
#include "ui/components/xpmenu/XPMenuPaint.h"

namespace {

// The handlers put into menu items; their type tells whose handler an item holds.
struct TXPMeasureHandler {
    TXPMenu* xp;
    void operator()(TObject* sender, TCanvas& canvas, int& width, int& height) const
    {
        if (auto* item = dynamic_cast<TMenuItem*>(sender))
            xp->MeasureMenuItem(item, canvas, width, height);
    }
};

struct TXPDrawHandler {
    TXPMenu* xp;
    void operator()(TObject* sender, TCanvas& canvas, RECT rect, UINT state) const
    {
        if (auto* item = dynamic_cast<TMenuItem*>(sender))
            xp->DrawMenuItem(item, canvas, rect, state);
    }
};

template <class H, class F>
bool Holds(const F& f, const TXPMenu* xp)
{
    const H* h = f.template target<H>();
    return h && h->xp == xp;
}

bool IsAny(const TComponent* c, std::initializer_list<std::string_view> names)
{
    for (auto n : names)
        if (c->InheritsFrom(n))
            return true;
    return false;
}

bool IsForm(const TComponent* c) { return IsAny(c, {"TCustomForm", "TForm"}); }

bool IsWindowsNT() { return GetVersion() < 0x80000000u; }

TMenu* MenuOf(const TMenuItem* item) { return item ? item->GetParentMenu() : nullptr; }

// A direct item of a main menu.
bool IsTopLevel(const TMenuItem* item)
{
    TMenu* menu = MenuOf(item);
    return menu && menu->Is<TMainMenu>() && item->Parent() == menu->Items();
}

LOGFONTW ToLogFont(TFont& font)
{
    LOGFONTW lf{};
    lf.lfHeight = font.Height();
    lf.lfCharSet = static_cast<BYTE>(font.Charset());
    lf.lfWeight = (font.Style() & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (font.Style() & fsItalic) ? 1 : 0;
    lf.lfUnderline = (font.Style() & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (font.Style() & fsStrikeOut) ? 1 : 0;
    std::wstring face = GbkToWide(font.Name());
    wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
    return lf;
}

void FromLogFont(const LOGFONTW& lf, TColor colour, TFont& font)
{
    font.SetName(WideToGbk(lf.lfFaceName));
    font.SetHeight(lf.lfHeight);
    font.SetCharset(lf.lfCharSet);
    TFontStyles style = 0;
    if (lf.lfWeight >= FW_BOLD)
        style |= fsBold;
    if (lf.lfItalic)
        style |= fsItalic;
    if (lf.lfUnderline)
        style |= fsUnderline;
    if (lf.lfStrikeOut)
        style |= fsStrikeOut;
    font.SetStyle(style);
    font.SetColor(colour);
}

void ResetToMenuFont(TFont& font)
{
    LOGFONTW lf = ToLogFont(font);
    if (GetSystemMenuFont(lf))
        FromLogFont(lf, clMenuText, font);
    else
        font.SetColor(clMenuText);
}

}  // namespace

TXPMenu::TXPMenu(TComponent* owner) : TComponent(owner)
{
    form_ = dynamic_cast<TCustomForm*>(owner);
    if (!form_)
        throw EInvalidCast("Invalid class typecast");
    ResetToMenuFont(font_);
    SelectFontColor = font_.Color();
    SetControlUseTrueXPStyle(true);
}

TXPMenu::~TXPMenu()
{
    destroying_ = true;
    // The form may be half destroyed: only its component list is used from here on.
    active_ = false;
    HookFormComponents(form_, false, false);
    ReleaseSubClasses();
}

void TXPMenu::SetFont(const TFont& font)
{
    font_.Assign(font);
    RedrawMenuBar();
}

void TXPMenu::SetMenuBarColor(TColor colour)
{
    menuBarColor_ = colour;
    RedrawMenuBar();
}

void TXPMenu::SetUseSystemColors(bool value)
{
    useSystemColors_ = value;
    RedrawMenuBar();
}

void TXPMenu::Rehook(const std::function<void()>& change)
{
    if (!active_) {
        change();
        return;
    }
    active_ = false;
    HookFormComponents(form_, false, true);
    active_ = true;
    change();
    HookFormComponents(form_, true, true);
}

void TXPMenu::SetOverrideOwnerDraw(bool value)
{
    Rehook([&] { overrideOwnerDraw_ = value; });
}

void TXPMenu::SetXPContainers(TXPContainers value)
{
    Rehook([&] { xpContainers_ = value; });
}

void TXPMenu::SetXPControls(TXPControls value)
{
    Rehook([&] { xpControls_ = value; });
}

void TXPMenu::SetActive(bool value)
{
    if (value == active_)
        return;
    active_ = value;
    HookFormComponents(form_, value, true);
    RedrawMenuBar();
}

void TXPMenu::SetControlUseTrueXPStyle(bool value)
{
    trueXP_ = value;
    if (value)
        XPColors = TXPControlColors{};
}

void TXPMenu::RedrawMenuBar()
{
    if (!destroying_ && form_->HandleAllocated())
        DrawMenuBar(form_->Handle());
}

TXPMenuLook TXPMenu::Look()
{
    TXPMenuLook look;
    look.Color = Color;
    look.IconBackColor = IconBackColor;
    look.MenuBarColor = menuBarColor_;
    look.SelectColor = SelectColor;
    look.SelectBorderColor = SelectBorderColor;
    look.SelectFontColor = SelectFontColor;
    look.DisabledColor = DisabledColor;
    look.SeparatorColor = SeparatorColor;
    look.CheckedColor = CheckedColor;
    look.IconWidth = IconWidth;
    look.DimLevel = DimLevel;
    look.GrayLevel = GrayLevel;
    look.DrawSelect = DrawSelect;
    look.UseSystemColors = useSystemColors_;
    look.Gradient = Gradient;
    look.FlatMenu = FlatMenu;
    look.Font = ToLogFont(font_);
    look.FontColor = font_.Color();
    return look;
}

bool TXPMenu::IsHookedItem(const TMenuItem* item) const
{
    return Holds<TXPDrawHandler>(item->OnAdvancedDrawItem, this) && Holds<TXPMeasureHandler>(item->OnMeasureItem, this);
}

void TXPMenu::HookMenuItem(TMenuItem* item, bool activate, bool onlyUnhooked)
{
    for (int i = 0; i < item->Count(); ++i) {
        TMenuItem* sub = item->Items(i);
        if (activate) {
            if (sub->Tag() != kXPMenuKeepOwnLookTag && !(onlyUnhooked && IsHookedItem(sub))) {
                const bool replace = !onlyUnhooked && overrideOwnerDraw_;
                if (!sub->OnAdvancedDrawItem || replace)
                    sub->OnAdvancedDrawItem = TXPDrawHandler{this};
                if (!sub->OnMeasureItem || replace)
                    sub->OnMeasureItem = TXPMeasureHandler{this};
            }
        } else {
            if (Holds<TXPDrawHandler>(sub->OnAdvancedDrawItem, this))
                sub->OnAdvancedDrawItem = nullptr;
            if (Holds<TXPMeasureHandler>(sub->OnMeasureItem, this))
                sub->OnMeasureItem = nullptr;
        }
        HookMenuItem(sub, activate, onlyUnhooked);
    }
}

bool TXPMenu::QualifiesForDecoration(TControl* c) const
{
    const auto cls = c->ClassName();
    const TXPControls f = xpControls_;
    return (HasFlag(f, xcCombo) && IsAny(c, {"TCustomComboBox", "TComboBox"})) ||
           (HasFlag(f, xcEdit) && c->InheritsFrom("TEdit")) ||
           (HasFlag(f, xcMaskEdit) && (cls == "TMaskEdit" || cls == "TDBEdit")) ||
           (HasFlag(f, xcCheckBox) && IsAny(c, {"TCustomCheckBox", "TCheckBox"})) ||
           (HasFlag(f, xcRadioButton) && c->InheritsFrom("TRadioButton")) ||
           (HasFlag(f, xcBitBtn) && cls == "TBitBtn") ||
           (HasFlag(f, xcButton) && (cls == "TButton" || cls == "TUpDown")) ||
           (HasFlag(f, xcPanel) && IsAny(c, {"TCustomPanel", "TPanel"})) ||
           (HasFlag(f, xcGroupBox) && IsAny(c, {"TCustomGroupBox", "TGroupBox"}));
}

bool TXPMenu::InDecoratingContainer(TControl* c) const
{
    TWinControl* p = c->Parent();
    if (!p)
        return false;
    const auto cls = p->ClassName();
    const TXPContainers f = xpContainers_;
    return (HasFlag(f, xccPanel) && IsAny(p, {"TCustomPanel", "TPanel"})) ||
           (HasFlag(f, xccGroupBox) && IsAny(p, {"TCustomGroupBox", "TGroupBox"})) ||
           (HasFlag(f, xccTabSheet) && (p->InheritsFrom("TTabSheet") || cls == "TdxTabSheet")) ||
           (HasFlag(f, xccFrame) && cls == "TDBCtrlPanel") || (HasFlag(f, xccForm) && IsForm(p));
}

TControlSubClass* TXPMenu::SubClassOf(TControl* control) const
{
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* sub = dynamic_cast<TControlSubClass*>(Components(i)); sub && sub->Control == control)
            return sub;
    return nullptr;
}

void TXPMenu::ReleaseSubClasses()
{
    std::vector<TControlSubClass*> subs;
    for (int i = 0; i < ComponentCount(); ++i)
        if (auto* sub = dynamic_cast<TControlSubClass*>(Components(i)))
            subs.push_back(sub);
    for (auto* sub : subs)
        sub->Release(!destroying_);
}

void TXPMenu::HookControl(TComponent* component, bool activate, bool invalidate)
{
    auto* control = dynamic_cast<TControl*>(component);
    if (!control || !QualifiesForDecoration(control) || !InDecoratingContainer(control))
        return;
    if (activate && control->Tag() != kXPMenuKeepOwnLookTag && control->Parent()->Tag() != kXPMenuKeepOwnLookTag &&
        !SubClassOf(control)) {
        auto* sub = new TControlSubClass(this);
        sub->Control = control;
        if (auto* wc = dynamic_cast<TWinControl*>(control))
            sub->OrgCtl3D = wc->Ctl3D();
        if (!sub->Install())
            delete sub;  // another TXPMenu decorates it already
    }
    if (invalidate)
        control->Invalidate();
}

void TXPMenu::HookFormComponents(TWinControl* form, bool activate, bool invalidate)
{
    std::vector<TComponent*> components;
    for (int i = 0; i < form->ComponentCount(); ++i)
        components.push_back(form->Components(i));
    for (TComponent* c : components) {
        auto* menu = dynamic_cast<TMenu*>(c);
        const bool mainMenu =
            menu && menu->Is<TMainMenu>() && HasFlag(xpControls_, xcMainMenu) && c->Tag() != kXPMenuKeepOwnLookTag;
        const bool popupMenu = menu && menu->Is<TPopupMenu>() && HasFlag(xpControls_, xcPopupMenu);
        if (mainMenu || popupMenu) {
            HookMenuItem(menu->Items(), activate, false);
            if (!destroying_)
                menu->Rebuild();  // owner-draw flags follow the handlers
        }
        if (Designing || destroying_)
            continue;
        HookControl(c, activate, invalidate);
    }
    // Every subclass goes now rather than on its next message, so a later activation
    // starts from controls that carry none.
    if (!activate)
        ReleaseSubClasses();
}

void TXPMenu::MeasureMenuItem(TMenuItem* item, TCanvas& canvas, int& width, int& height)
{
    if (!active_)
        return;
    TXPMenuLook look = Look();
    TMenuItemView view = MenuItemView(item);
    TMenu* menu = MenuOf(item);
    const bool formMenuTop = IsTopLevel(item) && menu == form_->Menu();
    MeasureMenuItemView(canvas.Handle(), look, view, formMenuTop, IsWindowsNT(), width, height);
}

void TXPMenu::DrawMenuItem(TMenuItem* item, TCanvas& canvas, RECT rect, UINT state)
{
    if (!active_)
        return;
    TXPMenuLook look = Look();
    TMenuItemView view = MenuItemView(item);
    DrawMenuItemView(canvas.Handle(), rect, state, look, view, form_->HandleAllocated() ? form_->Handle() : nullptr);
    if (useSystemColors_) {
        FromLogFont(look.Font, clMenuText, font_);
        SelectFontColor = clMenuText;
    }
    // Items added at run time get the handlers on their first paint.
    if (TMenuItem* parent = item->Parent())
        HookMenuItem(parent, true, true);
}

TMenuItemView TXPMenu::MenuItemView(TMenuItem* item)
{
    TMenuItemView v;
    v.Caption = item->Caption();
    v.ShortCut = item->ShortCutText();
    v.Enabled = item->Enabled();
    v.Checked = item->Checked();
    v.RadioItem = item->RadioItem;
    v.Default = item->Default;
    v.TopLevel = IsTopLevel(item);
    if (!item->Bitmap().Empty())
        v.Bitmap = item->Bitmap().Handle();
    if (TMenu* menu = MenuOf(item); menu && menu->Images) {
        v.Images = menu->Images->Handle();
        v.ImageIndex = item->ImageIndex;
    }
    return v;
}

void TXPMenu::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == TOperation::opRemove) {
        if (component == this || dynamic_cast<TControlSubClass*>(component))
            return;
        // The component is inside its destructor by now, so only its address can be compared.
        for (int i = 0; i < ComponentCount(); ++i) {
            auto* sub = dynamic_cast<TControlSubClass*>(Components(i));
            if (sub && sub->Control && static_cast<TComponent*>(sub->Control) == component) {
                sub->Control = nullptr;  // the control is going: nothing to restore
                sub->Release(false);
                break;
            }
        }
        return;
    }
    // Menu items and controls added to the form while it runs get the look too.
    if (!active_ || !AutoDetect || Designing || destroying_)
        return;
    if (dynamic_cast<TMenuItem*>(component))
        HookFormComponents(form_, true, false);
    else if (dynamic_cast<TControl*>(component))
        HookFormComponents(form_, true, true);
}
