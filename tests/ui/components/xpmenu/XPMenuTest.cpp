#include "ui/components/xpmenu/XPMenu.h"

#include <gtest/gtest.h>

#include "XPPaintFixture.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "ui/components/xpmenu/XPControlSubClass.h"

namespace {

int SubClassCount(TXPMenu* xp)
{
    int n = 0;
    for (int i = 0; i < xp->ComponentCount(); ++i)
        if (dynamic_cast<TControlSubClass*>(xp->Components(i)))
            ++n;
    return n;
}

void PumpFor(int ms)
{
    DWORD end = GetTickCount() + ms;
    MSG msg;
    do {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    } while (GetTickCount() < end);
}

template <class T>
T* Make(TCustomForm* form, TWinControl* parent, int x, int y, int w, int h, const char* caption = "")
{
    auto* c = new T(form);
    c->SetParent(parent);
    c->SetBounds(x, y, w, h);
    c->SetCaption(caption);
    return c;
}

TEST(XPMenuComponent, OwnerMustBeAForm)
{
    TComponent plain;
    EXPECT_THROW(new TXPMenu(&plain), EInvalidCast);
    EXPECT_EQ(0, plain.ComponentCount()) << "the failed component left its owner";
}

TEST(XPMenuComponent, ValuesAfterConstruction)
{
    TForm form(nullptr);
    auto* xp = new TXPMenu(&form);
    EXPECT_EQ(30, xp->DimLevel);
    EXPECT_EQ(10, xp->GrayLevel);
    EXPECT_EQ(24, xp->IconWidth);
    EXPECT_EQ(clBtnFace, xp->Color);
    EXPECT_EQ(clHighlight, xp->SelectColor);
    EXPECT_EQ(clInactiveCaption, xp->DisabledColor);
    EXPECT_EQ(clMenuText, xp->SelectFontColor);
    EXPECT_EQ(clMenuText, xp->Font().Color());
    EXPECT_TRUE(xp->DrawSelect);
    EXPECT_TRUE(xp->UseSystemColors());
    EXPECT_FALSE(xp->OverrideOwnerDraw() || xp->Gradient || xp->FlatMenu || xp->AutoDetect || xp->Active());
    EXPECT_EQ(kAllXPContainers, xp->XPContainers());
    EXPECT_EQ(kAllXPControls, xp->XPControls());
    EXPECT_TRUE(xp->ControlUseTrueXPStyle());
    EXPECT_EQ(5, xp->XPColors.BtnRoundArc);
    EXPECT_EQ(0x733C00, xp->XPColors.BtnOutLineBorderColor);

    xp->XPColors.BtnOutLineBorderColor = 0x123456;
    xp->SetControlUseTrueXPStyle(false);
    EXPECT_EQ(0x123456, xp->XPColors.BtnOutLineBorderColor) << "turning true-XP off keeps the colours";
    xp->SetControlUseTrueXPStyle(true);
    EXPECT_EQ(0x733C00, xp->XPColors.BtnOutLineBorderColor) << "turning it on writes the set again";
}

class XPMenuHooking : public ::testing::Test {
protected:
    void SetUp() override
    {
        form_ = new TForm(nullptr);
        form_->SetBounds(60, 60, 420, 320);
        menu_ = new TMainMenu(form_);
        file_ = Item(menu_->Items(), "File");
        open_ = Item(file_, "Open");
        skipped_ = Item(menu_->Items(), "Skipped");
        skipped_->SetTag(999);
        underSkipped_ = Item(skipped_, "Under");
        own_ = Item(file_, "Own");
        own_->OnAdvancedDrawItem = [this](TObject*, TCanvas&, RECT, UINT) { ++ownDraws_; };
        form_->SetMenu(menu_);
        button_ = Make<TButton>(form_, form_, 10, 10, 100, 30, "OK");
        edit_ = Make<TEdit>(form_, form_, 10, 50, 100, 22);
        panel_ = Make<TPanel>(form_, form_, 150, 10, 200, 120);
        inPanel_ = Make<TCheckBox>(form_, panel_, 10, 10, 120, 20, "in panel");
        label_ = Make<TLabel>(form_, form_, 10, 90, 100, 20, "label");
        xp_ = new TXPMenu(form_);
    }
    void TearDown() override { delete form_; }
    TMenuItem* Item(TMenuItem* parent, const char* caption)
    {
        auto* item = new TMenuItem(form_);
        item->SetCaption(caption);
        parent->Add(item);
        return item;
    }
    bool Decorated(TControl* c) { return IsSubClassProc(c->WindowProc); }

    TForm* form_;
    TMainMenu* menu_;
    TMenuItem *file_, *open_, *skipped_, *underSkipped_, *own_;
    int ownDraws_ = 0;
    TButton* button_;
    TEdit* edit_;
    TPanel* panel_;
    TCheckBox* inPanel_;
    TLabel* label_;
    TXPMenu* xp_;
};

TEST_F(XPMenuHooking, MenuItemsGetTheHandlersExceptTag999AndOwnHandlers)
{
    xp_->SetActive(true);
    EXPECT_TRUE(xp_->IsHookedItem(file_));
    EXPECT_TRUE(xp_->IsHookedItem(open_));
    EXPECT_FALSE(skipped_->OnAdvancedDrawItem || skipped_->OnMeasureItem) << "Tag 999 keeps its own drawing";
    EXPECT_TRUE(xp_->IsHookedItem(underSkipped_)) << "its sub-items are still decorated";
    EXPECT_TRUE(own_->OnMeasureItem) << "the empty event is taken";
    EXPECT_FALSE(xp_->IsHookedItem(own_));
    TCanvas canvas;
    own_->OnAdvancedDrawItem(own_, canvas, RECT{}, 0);
    EXPECT_EQ(1, ownDraws_) << "an assigned draw event is kept";

    xp_->SetActive(false);
    EXPECT_FALSE(file_->OnAdvancedDrawItem || file_->OnMeasureItem || underSkipped_->OnMeasureItem);
    ASSERT_TRUE(own_->OnAdvancedDrawItem) << "a foreign handler survives deactivation";
    EXPECT_FALSE(own_->OnMeasureItem);

    xp_->SetOverrideOwnerDraw(true);
    xp_->SetActive(true);
    EXPECT_TRUE(xp_->IsHookedItem(own_)) << "OverrideOwnerDraw takes assigned events too";
}

TEST_F(XPMenuHooking, MainMenuWithTag999IsLeftAlone)
{
    menu_->SetTag(999);
    xp_->SetActive(true);
    EXPECT_FALSE(file_->OnAdvancedDrawItem || xp_->IsHookedItem(file_));
    auto* popup = new TPopupMenu(form_);
    popup->SetTag(999);
    auto* pi = Item(popup->Items(), "Copy");
    xp_->SetActive(false);
    xp_->SetActive(true);
    EXPECT_TRUE(xp_->IsHookedItem(pi)) << "a popup menu's Tag is not looked at";
}

TEST_F(XPMenuHooking, ControlsThatQualify)
{
    auto* excluded = Make<TButton>(form_, form_, 10, 120, 80, 24, "x");
    excluded->SetTag(999);
    auto* quiet = Make<TPanel>(form_, form_, 150, 150, 200, 100);
    quiet->SetTag(999);
    auto* inQuiet = Make<TButton>(form_, quiet, 5, 5, 80, 24, "q");
    xp_->SetActive(true);
    const struct { TControl* c; bool decorated; const char* what; } cases[] = {
        {button_, true, "button on the form"},
        {edit_, true, "edit"},
        {panel_, true, "panel"},
        {inPanel_, true, "check box in a panel"},
        {label_, false, "label"},
        {excluded, false, "Tag 999"},
        {quiet, false, "panel with Tag 999"},
        {inQuiet, false, "child of a Tag 999 parent"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.decorated, Decorated(c.c)) << c.what;
    EXPECT_EQ(4, SubClassCount(xp_));
}

TEST_F(XPMenuHooking, RehookingUnhooksWhatNoLongerQualifiesAndNeverTwice)
{
    xp_->SetActive(true);
    ASSERT_TRUE(Decorated(button_));
    xp_->SetXPControls(kAllXPControls & ~(1u << xcButton));
    EXPECT_FALSE(Decorated(button_)) << "buttons left the set";
    EXPECT_TRUE(Decorated(edit_));
    xp_->SetXPContainers(kAllXPContainers & ~(1u << xccPanel));
    EXPECT_FALSE(Decorated(inPanel_)) << "panels no longer decorate their children";
    xp_->SetXPControls(kAllXPControls);
    xp_->SetXPContainers(kAllXPContainers);
    xp_->SetOverrideOwnerDraw(true);
    EXPECT_EQ(4, SubClassCount(xp_)) << "one subclass per control";

    // A second TXPMenu on the same form doesn't stack a second subclass.
    auto* second = new TXPMenu(form_);
    second->SetActive(true);
    EXPECT_EQ(0, SubClassCount(second));
    delete second;
    EXPECT_TRUE(Decorated(button_));
}

TEST_F(XPMenuHooking, DeactivationKeepsTheRealResult)
{
    auto* box = Make<TCheckBox>(form_, form_, 10, 130, 120, 20, "box");
    auto* chained = Make<TCheckBox>(form_, form_, 10, 160, 120, 20, "chained");
    auto* checked = Make<TCheckBox>(form_, form_, 10, 190, 120, 20, "on");
    form_->Show();
    checked->SetChecked(true);
    xp_->SetActive(true);
    ASSERT_TRUE(Decorated(box) && Decorated(chained) && Decorated(checked));

    // Someone subclasses over ours: our procedure can't leave the chain and passes on.
    TWndMethod saved = chained->WindowProc;
    chained->WindowProc = [saved](TMessage& m) { saved(m); };  // outlives this scope
    xp_->SetActive(false);
    EXPECT_FALSE(Decorated(box)) << "restored at once";
    EXPECT_FALSE(Decorated(checked));
    const struct { TCheckBox* c; LRESULT expected; const char* what; } cases[] = {
        {box, BST_UNCHECKED, "restored box"},
        {chained, BST_UNCHECKED, "through the chain: the saved procedure's result, not 1"},
        {checked, BST_CHECKED, "checked box"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, c.c->Perform(BM_GETCHECK)) << c.what;
        EXPECT_EQ(c.expected, SendMessageW(c.c->Handle(), BM_GETCHECK, 0, 0)) << c.what << " (window)";
    }
}

TEST_F(XPMenuHooking, FreeingTheComponentRestoresEveryProcedure)
{
    xp_->SetActive(true);
    form_->Show();
    PumpFor(50);
    delete xp_;
    xp_ = nullptr;
    for (TControl* c : std::initializer_list<TControl*>{button_, edit_, panel_, inPanel_})
        EXPECT_FALSE(Decorated(c)) << c->ClassName();
    button_->Invalidate();
    PumpFor(30);  // messages after the component went must not reach it
}

TEST_F(XPMenuHooking, ControlFreedFirstAndWindowRecreated)
{
    xp_->SetActive(true);
    form_->Show();
    PumpFor(30);
    delete button_;  // the subclass goes with it
    EXPECT_EQ(3, SubClassCount(xp_));
    // A control freed while its subclass expects a recreated window: the subclass still goes.
    panel_->Perform(CM_INVALIDATE);
    auto* extra = Make<TButton>(form_, panel_, 5, 60, 60, 22, "x");
    xp_->SetActive(false);
    xp_->SetActive(true);
    ASSERT_TRUE(Decorated(extra));
    extra->Perform(CM_INVALIDATE);
    delete extra;
    EXPECT_EQ(3, SubClassCount(xp_));
    edit_->Perform(CM_INVALIDATE);
    edit_->RecreateWnd();
    PumpFor(30);
    EXPECT_TRUE(Decorated(edit_)) << "recreating the window keeps the decoration";
    inPanel_->RecreateWnd();  // destroyed without notice: the subclass lets go
    EXPECT_FALSE(Decorated(inPanel_));
    EXPECT_EQ(2, SubClassCount(xp_));
}

TEST_F(XPMenuHooking, RenderedPopupMenuOfTheForm)
{
    auto* popup = new TPopupMenu(form_);
    Item(popup->Items(), "Open");
    Item(popup->Items(), "Save");
    xp_->SetActive(true);
    form_->Show();
    PumpFor(30);
    TMenuSample got = SampleOpenMenu(popup->Handle(), [&] { popup->Popup(200, 200); });
    HDC dc = GetDC(form_->Handle());
    TXPMenuLook look = xp_->Look();
    const TXPMenuColors c = ComputeMenuColors(look, dc);
    ReleaseDC(form_->Handle(), dc);
    ASSERT_TRUE(got.shown) << "the menu never showed";
    EXPECT_EQ(HexColour(c.Background), HexColour(got.background)) << "item background";
    EXPECT_EQ(HexColour(c.IconColumn), HexColour(got.icon)) << "icon column";
    EXPECT_EQ(HexColour(c.SelectFill), HexColour(got.selected)) << "selected item fill";
    EXPECT_EQ(HexColour(c.SelectBorder), HexColour(got.border)) << "selected item border";

    xp_->SetActive(false);
    got = SampleOpenMenu(popup->Handle(), [&] { popup->Popup(200, 200); });
    EXPECT_NE(HexColour(c.IconColumn), HexColour(got.icon)) << "plain menu once inactive";
}

TEST(XPMenuLifecycle, FiftyDecoratedFormsCreatedAndFreed)
{
    for (int i = 0; i < 50; ++i) {
        auto* form = new TForm(nullptr);
        form->SetBounds(80, 80, 300, 200);
        Make<TButton>(form, form, 10, 10, 80, 24, "OK");
        Make<TEdit>(form, form, 10, 40, 80, 22);
        auto* panel = Make<TPanel>(form, form, 100, 10, 150, 100);
        Make<TCheckBox>(form, panel, 5, 5, 100, 20, "c");
        Make<TComboBox>(form, panel, 5, 30, 100, 100);
        auto* xp = new TXPMenu(form);
        xp->SetActive(true);
        form->Show();
        PumpFor(i % 10 == 0 ? 20 : 0);
        for (int k = 0; k < form->ComponentCount(); ++k)
            if (auto* c = dynamic_cast<TControl*>(form->Components(k))) {
                c->Perform(CM_INVALIDATE);
                c->Invalidate();
            }
        delete form;
        PumpFor(0);
    }
    SUCCEED();
}

// Pixel checks through the real subclass on a shown form.
class XPMenuPainting : public XPMenuHooking {
protected:
    void Show()
    {
        xp_->SetActive(true);
        form_->Show();
        PumpFor(150);
    }
    COLORREF At(TWinControl* c, int x, int y) { return WindowPixel(c->Handle(), x, y); }
};

TEST_F(XPMenuPainting, TrueXPButtonStates)
{
    auto* disabled = Make<TButton>(form_, form_, 10, 200, 100, 30, "");
    disabled->SetEnabled(false);
    auto* plain = Make<TButton>(form_, form_, 120, 200, 100, 30, "");
    plain->SetTag(1234567890);
    auto* untouched = Make<TButton>(form_, form_, 230, 200, 100, 30, "");
    untouched->SetTag(-1);
    button_->SetCaption("");
    Show();
    HDC dc = GetDC(button_->Handle());
    TXPMenuLook look = xp_->Look();
    const TXPMenuColors c = ComputeMenuColors(look, dc);
    const COLORREF disabledPen = Lighten(clBtnShadow, 30, dc);
    ReleaseDC(button_->Handle(), dc);

    EXPECT_EQ(HexColour(0xF7FBFF), HexColour(At(button_, 50, 15))) << "idle surface";
    EXPECT_EQ(HexColour(0x733C00), HexColour(At(button_, 0, 15))) << "idle outline";
    button_->Perform(CM_MOUSEENTER);
    EXPECT_EQ(HexColour(0x31B2FF), HexColour(At(button_, 1, 15))) << "hover ring";
    button_->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 15));
    EXPECT_EQ(HexColour(0xDEE7E7), HexColour(At(button_, 50, 15))) << "pressed surface";
    button_->Perform(WM_LBUTTONUP, 0, MAKELPARAM(500, 500));
    button_->Perform(CM_MOUSELEAVE);
    button_->SetFocus();
    PumpFor(30);
    EXPECT_EQ(HexColour(0xE7AE8C), HexColour(At(button_, 1, 15))) << "focus ring";
    EXPECT_EQ(HexColour(disabledPen), HexColour(At(disabled, 0, 15))) << "disabled outline";
    EXPECT_EQ(HexColour(0xF7FBFF), HexColour(At(disabled, 50, 15))) << "disabled surface";
    EXPECT_EQ(HexColour(c.IconColumn), HexColour(At(plain, 50, 15))) << "Tag 1234567890 paints plain";
    EXPECT_NE(HexColour(0xF7FBFF), HexColour(At(untouched, 50, 15))) << "a negative Tag is never repainted";
    EXPECT_TRUE(Decorated(untouched)) << "though it stays subclassed";
}

TEST_F(XPMenuPainting, EditIsFlatAndDoesNotRepaintForever)
{
    int paints = 0;
    Show();
    TWndMethod saved = edit_->WindowProc;
    edit_->WindowProc = [&](TMessage& m) {
        if (m.Msg == WM_PAINT)
            ++paints;
        saved(m);
    };
    edit_->Invalidate();
    PumpFor(200);
    EXPECT_FALSE(edit_->Ctl3D()) << "a 3-D edit becomes flat";
    EXPECT_EQ(0xF7FBFF, edit_->Color()) << "true-XP surface";
    EXPECT_LE(paints, 3) << "one invalidate, a handful of paints";
    EXPECT_EQ(HexColour(Darken(clBtnFace, 60)), HexColour(At(edit_, 0, 5))) << "idle border";
    edit_->WindowProc = saved;
}

TEST_F(XPMenuPainting, AutoDetectPaintsControlsAndItemsAddedWhileRunning)
{
    TApplication app;  // its window carries the announcement of new components
    xp_->AutoDetect = true;
    Show();
    auto* added = Make<TEdit>(form_, form_, 200, 200, 120, 22);
    auto* item = Item(file_, "Added");
    PumpFor(150);
    EXPECT_TRUE(Decorated(added));
    EXPECT_TRUE(xp_->IsHookedItem(item));
    EXPECT_FALSE(added->Ctl3D()) << "the edit added at run time became flat";
    EXPECT_EQ(HexColour(Darken(clBtnFace, 60)), HexColour(At(added, 0, 5))) << "flat border";

    xp_->AutoDetect = false;
    auto* ignored = Make<TEdit>(form_, form_, 200, 230, 120, 22);
    PumpFor(50);
    EXPECT_FALSE(Decorated(ignored)) << "without AutoDetect";
}

TEST_F(XPMenuPainting, CheckRadioComboPanelGroupBox)
{
    auto* radio = Make<TRadioButton>(form_, form_, 10, 130, 120, 24, "r");
    auto* combo = Make<TComboBox>(form_, form_, 10, 160, 120, 100);
    auto* group = Make<TGroupBox>(form_, form_, 150, 150, 200, 100, "");
    inPanel_->SetChecked(true);
    radio->SetChecked(true);
    panel_->BevelInner = TPanelBevel::bvLowered;
    panel_->BorderWidth = 2;
    Show();
    ASSERT_TRUE(Decorated(panel_) && Decorated(group)) << "still decorated once shown";
    const int h = GetSystemMetrics(SM_CXHTHUMB);
    const int top = 3 + (20 - 6 - h) / 2, bottom = top + h - 2;
    EXPECT_EQ(HexColour(0x00A200), HexColour(At(inPanel_, 2 + 3, bottom - 4))) << "check mark";
    EXPECT_EQ(HexColour(0x733C00), HexColour(At(inPanel_, 2, top + 5))) << "box outline";
    const int d = h + 1, rtop = 4 + (24 - 8 - d) / 2;
    EXPECT_EQ(HexColour(0x00A200), HexColour(At(radio, d / 2, rtop + d / 2))) << "radio dot";
    RECT cr;
    GetClientRect(combo->Handle(), &cr);
    EXPECT_EQ(HexColour(0x733C00), HexColour(At(combo, 0, cr.bottom / 2))) << "combo frame";
    HDC dc = GetDC(panel_->Handle());
    const COLORREF light = Lighten(clBtnFace, 60, dc), dark = Darken(clBtnFace, 60);
    ReleaseDC(panel_->Handle(), dc);
    EXPECT_EQ(HexColour(light), HexColour(At(panel_, 0, 100))) << "panel outer bevel";
    EXPECT_EQ(HexColour(dark), HexColour(At(panel_, 3, 100))) << "panel inner bevel";
    EXPECT_EQ(HexColour(light), HexColour(At(group, 1, 50))) << "group box frame";
    EXPECT_EQ(HexColour(dark), HexColour(At(group, 198, 50))) << "group box frame";
}

}  // namespace
