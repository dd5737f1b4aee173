#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/Buttons.h"
#include "framework/Exception.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/ImgList.h"
#include "framework/Menus.h"
#include "framework/StdCtrls.h"
#include "tests/framework/GuiTestSupport.h"
#include "tests/support/UiDriver.h"

namespace {

// Every standard control on one form, built the way the program's builders build forms.
struct TAllControlsForm : TForm {
    TLabel* label;
    TEdit* edit;
    TEdit* password;
    TComboBox* combo;
    TListBox* list;
    TCheckBox* check;
    TRadioButton* radio1;
    TRadioButton* radio2;
    TGroupBox* group;
    TEdit* groupEdit;
    TButton* button;
    TBitBtn* bitBtn;
    TPanel* panel;
    TPageControl* pages;
    TTabSheet* sheet1;
    TTabSheet* sheet2;
    TEdit* sheetEdit;
    TListView* listView;
    TStatusBar* status;
    TTabControl* tabs;
    TTimer* timer;
    TImageList* images;

    TAllControlsForm() : TForm(nullptr)
    {
        SetName("AllControls");
        SetText("所有控件");
        SetBounds(10, 10, 640, 480);
        label = Place<TLabel>(this, this, "label", 8, 8, 0, 0, "中文标签");
        label->Font().SetHeight(-16);
        edit = Place<TEdit>(this, this, "edit", 8, 32, 120, 21, "编辑");
        password = Place<TEdit>(this, this, "password", 136, 32, 120, 21, "secret");
        password->SetPasswordChar('*');
        combo = Place<TComboBox>(this, this, "combo", 264, 32, 120, 21);
        combo->SetStyle(TComboBoxStyle::csDropDownList);
        for (const char* s : {"上海", "大连", "郑州"})
            combo->Items().Add(s);
        combo->SetItemIndex(0);
        list = Place<TListBox>(this, this, "list", 392, 32, 100, 60);
        list->Items().Add("一");
        list->Items().Add("二");
        check = Place<TCheckBox>(this, this, "check", 8, 64, 100, 17, "记住账号");
        radio1 = Place<TRadioButton>(this, this, "radio1", 8, 88, 100, 17, "Socks5");
        radio2 = Place<TRadioButton>(this, this, "radio2", 112, 88, 100, 17, "Socks4");
        radio1->SetChecked(true);
        group = Place<TGroupBox>(this, this, "group", 8, 112, 200, 60, "代理");
        groupEdit = Place<TEdit>(this, group, "groupEdit", 8, 24, 120, 21);
        button = Place<TButton>(this, this, "button", 216, 112, 75, 25, "登录");
        bitBtn = Place<TBitBtn>(this, this, "bitBtn", 296, 112, 75, 25);
        bitBtn->SetKind(TBitBtnKind::bkCancel);
        panel = Place<TPanel>(this, this, "panel", 380, 112, 100, 40, "面板");
        pages = Place<TPageControl>(this, this, "pages", 8, 180, 300, 120);
        sheet1 = new TTabSheet(this);
        sheet1->SetName("sheet1");
        sheet1->SetText("F3.下单");
        sheet1->SetPageControl(pages);
        sheet2 = new TTabSheet(this);
        sheet2->SetName("sheet2");
        sheet2->SetText("F4.查委托");
        sheet2->SetPageControl(pages);
        sheetEdit = Place<TEdit>(this, sheet1, "sheetEdit", 8, 8, 100, 21);
        listView = Place<TListView>(this, this, "listView", 316, 180, 300, 120);
        listView->SetViewStyle(TViewStyle::vsReport);
        listView->Columns().Add().SetCaption("合约");
        listView->Columns().Add().SetCaption("价格");
        TListItem* item = listView->Items().Add();
        item->SetCaption("cu1005");
        item->SubItems().Add("3500");
        tabs = Place<TTabControl>(this, this, "tabs", 8, 310, 300, 60);
        tabs->AddTab("上海");
        tabs->AddTab("大连");
        status = new TStatusBar(this);
        status->SetName("status");
        status->SetParent(this);
        status->SetSimplePanel(true);
        status->SetSimpleText("就绪");
        timer = new TTimer(this);
        timer->SetEnabled(false);
        images = new TImageList(this);
        AfterConstruction();
    }
};

std::string FocusedName()
{
    TWinControl* c = TWinControl::FindOwningControl(GetFocus());
    return c ? c->Name() : std::string("<none>");
}

// Pixels of a text drawn with a font, as a set of dark-pixel positions.
std::vector<bool> RenderText(const std::wstring& text, TFont& font, int width, int height)
{
    TBitmap b(width, height);
    TCanvas& c = b.Canvas();
    c.Brush().SetColor(clWhite);
    RECT r{0, 0, width, height};
    c.FillRect(r);
    c.Font().Assign(font);
    c.Font().SetColor(clBlack);
    SetBkMode(c.Handle(), TRANSPARENT);
    TextOutW(c.Handle(), 0, 0, text.c_str(), static_cast<int>(text.size()));
    std::vector<bool> dark;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            dark.push_back(GetRValue(c.Pixel(x, y)) < 128);
    return dark;
}

}  // namespace

using FormsTest = GuiTest;

TEST_F(FormsTest, EveryStandardControlOpensAndShowsChineseCaptions)
{
    TAllControlsForm form;
    form.Show();
    ui::Pump(200);
    ASSERT_TRUE(IsWindowVisible(form.Handle())) << "GetLastError=" << GetLastError();

    struct {
        const char* name;
        const wchar_t* text;
    } texts[] = {
        {"AllControls", L"\u6240\u6709\u63a7\u4ef6"}, {"label", L"\u4e2d\u6587\u6807\u7b7e"},
        {"check", L"\u8bb0\u4f4f\u8d26\u53f7"},       {"button", L"\u767b\u5f55"},
        {"bitBtn", L"\u53d6\u6d88"},                   {"combo", L"\u4e0a\u6d77"},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(t.name);
        HWND w = ui::FindByName(t.name);
        ASSERT_NE(nullptr, w);
        wchar_t buffer[64] = {};
        GetWindowTextW(w, buffer, 64);
        EXPECT_STREQ(t.text, buffer);
    }
    EXPECT_EQ("cu1005", ui::ListViewRows(form.listView->Handle()).at(0).at(0));
    EXPECT_EQ("3500", ui::ListViewRows(form.listView->Handle()).at(0).at(1));
    EXPECT_EQ((std::vector<std::string>{"合约", "价格"}), ui::ListViewColumns(form.listView->Handle()));

    // The label on the screen matches the text drawn in its font, and the font has real glyphs.
    const int w = form.label->Width(), h = form.label->Height();
    ASSERT_GT(w, 16);
    const std::vector<bool> expected = RenderText(L"\u4e2d\u6587\u6807\u7b7e", form.label->Font(), w, h);
    EXPECT_NE(RenderText(L"\u4e2d", form.label->Font(), h, h), RenderText(L"\u6587", form.label->Font(), h, h))
        << "the label font draws the same shape for different Chinese characters";
    EXPECT_NE(expected, RenderText(L"????", form.label->Font(), w, h));
    // A window of another program over the label does not spoil the picture.
    TForm cover(nullptr);
    cover.BorderStyle = TFormBorderStyle::bsNone;
    cover.SetColor(clBlack);
    RECT lr;
    GetWindowRect(form.label->Handle(), &lr);
    cover.SetBounds(lr.left - 4, lr.top - 4, w + 8, h + 8);
    cover.AfterConstruction();
    cover.Show();
    SetWindowPos(cover.Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ui::Pump(30);
    ui::Screenshot shot = ui::Screenshot::Capture(form.label->Handle());
    int dark = 0, same = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool d = GetRValue(shot.At(x, y)) < 128;
            dark += d;
            same += d == expected[static_cast<size_t>(y * w + x)];
        }
    EXPECT_GT(dark, 20) << "the label shows no text";
    EXPECT_GE(same * 100, w * h * 97) << "the label's pixels differ from its caption drawn in its font";
    if (HasFailure())
        shot.SaveBmp("label.bmp");
}

TEST_F(FormsTest, TabMovesThroughTheControlsInOrder)
{
    TAllControlsForm form;
    form.Show();
    ui::Activate(form.Handle());
    form.edit->SetFocus();
    ui::Pump(50);
    ASSERT_EQ("edit", FocusedName());
    const std::vector<std::string> expected = {"password", "combo", "list", "check", "radio1", "groupEdit", "button",
                                               "bitBtn", "pages", "sheetEdit", "listView", "tabs", "edit"};
    std::vector<std::string> seen;
    for (size_t i = 0; i < expected.size(); ++i) {
        // Another program's window may have come up meanwhile; the form gets its focus back.
        if (GetForegroundWindow() != form.Handle())
            ui::Activate(form.Handle());
        ui::PressKey(VK_TAB);
        seen.push_back(FocusedName());
    }
    EXPECT_EQ(expected, seen);
    ui::PressKey(VK_TAB, {VK_SHIFT});
    EXPECT_EQ("tabs", FocusedName());
}

TEST_F(FormsTest, EnterAndExitFollowTheFocusInsideTheForm)
{
    TForm form(nullptr);
    form.SetBounds(20, 20, 400, 300);
    std::vector<std::string> log;
    auto* edit1 = Place<TEdit>(&form, &form, "edit1", 8, 8, 100, 21);
    auto* panel = Place<TPanel>(&form, &form, "panel", 8, 40, 200, 60);
    auto* edit2 = Place<TEdit>(&form, panel, "edit2", 8, 8, 100, 21);
    auto* edit3 = Place<TEdit>(&form, &form, "edit3", 8, 110, 100, 21);
    for (TWinControl* c : std::initializer_list<TWinControl*>{edit1, panel, edit2, edit3}) {
        c->OnEnter = [&log](TObject* s) { log.push_back("enter " + static_cast<TComponent*>(s)->Name()); };
        c->OnExit = [&log](TObject* s) { log.push_back("exit " + static_cast<TComponent*>(s)->Name()); };
    }
    form.AfterConstruction();
    form.Show();
    ui::Activate(form.Handle());
    EXPECT_EQ(std::vector<std::string>{"enter edit1"}, log);

    struct {
        TWinControl* target;
        std::vector<std::string> events;
    } steps[] = {
        {edit2, {"exit edit1", "enter panel", "enter edit2"}},
        {edit3, {"exit edit2", "exit panel", "enter edit3"}},
        {edit1, {"exit edit3", "enter edit1"}},
    };
    for (auto& s : steps) {
        log.clear();
        s.target->SetFocus();
        ui::Pump(30);
        EXPECT_EQ(s.events, log) << s.target->Name();
    }

    // Another window taking the focus and giving it back is no change inside the form.
    TForm other(nullptr);
    other.SetBounds(300, 300, 200, 100);
    Place<TEdit>(&other, &other, "otherEdit", 8, 8, 100, 21);
    other.AfterConstruction();
    log.clear();
    other.Show();
    ui::Activate(other.Handle());
    EXPECT_NE(form.Handle(), GetActiveWindow());
    ui::Activate(form.Handle());
    EXPECT_EQ("edit1", FocusedName());
    EXPECT_TRUE(log.empty()) << log.front();

    // An Exit handler that keeps the focus where it is stops the chain.
    edit1->OnExit = [&](TObject*) {
        log.push_back("exit edit1");
        edit1->SetFocus();
    };
    log.clear();
    edit3->SetFocus();
    ui::Pump(30);
    EXPECT_EQ(std::vector<std::string>{"exit edit1"}, log);
    EXPECT_EQ("edit1", FocusedName());
}

TEST_F(FormsTest, KeyPreviewSeesFunctionKeysFirstIncludingF10)
{
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    form.KeyPreview = true;
    std::vector<std::string> log;
    form.OnShortCut = [&](WORD key, TShiftState, bool&) { log.push_back("shortcut " + std::to_string(key)); };
    form.OnKeyDown = [&](TObject*, WORD& key, TShiftState) { log.push_back("preview " + std::to_string(key)); };
    auto* edit = Place<TEdit>(&form, &form, "edit", 8, 8, 100, 21);
    edit->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { log.push_back("edit " + std::to_string(key)); };
    form.AfterConstruction();
    form.Show();
    ui::Activate(edit->Handle());
    for (WORD key = VK_F1; key <= VK_F10; ++key) {
        if (GetForegroundWindow() != form.Handle())
            ui::Activate(form.Handle());
        log.clear();
        // F10 goes on to the system, which enters menu mode; Escape leaves it.
        ui::PressKeys({key, VK_ESCAPE, VK_ESCAPE});
        const std::string k = std::to_string(key);
        log.resize(std::min<size_t>(log.size(), 3));
        EXPECT_EQ((std::vector<std::string>{"shortcut " + k, "preview " + k, "edit " + k}), log) << "F" << key - VK_F1 + 1;
    }
    // A handled shortcut stops the key there.
    form.OnShortCut = [&](WORD key, TShiftState, bool& handled) {
        log.push_back("shortcut " + std::to_string(key));
        handled = true;
    };
    log.clear();
    ui::PressKey(VK_F7);
    EXPECT_EQ(std::vector<std::string>{"shortcut " + std::to_string(VK_F7)}, log);
}

TEST_F(FormsTest, AnExceptionInAHandlerReachesTheApplicationAndTheProgramGoesOn)
{
    ui::MessageBoxRecorder boxes;
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    auto* failing = Place<TButton>(&form, &form, "failing", 8, 8, 80, 25, "失败");
    auto* working = Place<TButton>(&form, &form, "working", 100, 8, 80, 25, "正常");
    int clicks = 0;
    failing->OnClick = [](TObject*) { throw Exception("处理程序出错"); };
    working->OnClick = [&](TObject*) { ++clicks; };
    auto* timer = new TTimer(&form);
    timer->SetInterval(20);
    int ticks = 0;
    timer->OnTimer = [&](TObject*) {
        ++ticks;
        timer->SetEnabled(false);
        throw std::runtime_error("timer failed");
    };
    form.AfterConstruction();
    form.Show();
    ui::Activate(form.Handle());
    ui::Click(failing->Handle());
    ui::Click(working->Handle());
    ui::WaitFor([&] { return ticks > 0; });
    EXPECT_EQ(1, clicks);
    std::vector<std::string> texts;
    for (const auto& b : boxes.Seen) {
        texts.push_back(b.text);
        EXPECT_EQ(TMsgDlgType::Error, b.type);
    }
    std::sort(texts.begin(), texts.end());
    EXPECT_EQ((std::vector<std::string>{"timer failed", "处理程序出错"}), texts);
}

TEST_F(FormsTest, ShowModalEndsWithTheModalResult)
{
    struct {
        const char* what;
        std::function<void(TForm&, TButton&)> post;
        TModalResult expected;
        bool quit;
    } cases[] = {
        {"OK button", [](TForm&, TButton& b) { PostMessageW(b.Handle(), BM_CLICK, 0, 0); }, mrOk, false},
        {"system menu close", [](TForm& f, TButton&) { PostMessageW(f.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); }, mrCancel, false},
        {"quit message", [](TForm&, TButton&) { PostQuitMessage(3); }, mrCancel, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        app.reset();
        app = std::make_unique<TApplication>();
        TForm dialog(nullptr);
        dialog.BorderStyle = TFormBorderStyle::bsDialog;
        dialog.Position = TPosition::poScreenCenter;
        dialog.SetBounds(0, 0, 300, 150);
        auto* ok = Place<TButton>(&dialog, &dialog, "ok", 8, 8, 75, 25, "确认");
        ok->ModalResult = mrOk;
        dialog.AfterConstruction();
        dialog.HandleNeeded();
        c.post(dialog, *ok);
        EXPECT_EQ(c.expected, dialog.ShowModal());
        EXPECT_FALSE(dialog.Visible());
        MSG msg;
        const bool quitPosted = PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
        EXPECT_EQ(c.quit, quitPosted) << c.what << ": the quit message must be posted again for the outer loop";
        if (c.quit) {
            EXPECT_EQ(3, static_cast<int>(msg.wParam));
        }
    }
}

TEST_F(FormsTest, ProgrammaticSelectionFiresNoChangeButEverySheetShow)
{
    TAllControlsForm form;
    int comboChanges = 0, shows1 = 0, shows2 = 0;
    form.combo->OnChange = [&](TObject*) { ++comboChanges; };
    form.sheet1->OnShow = [&](TObject*) { ++shows1; };
    form.sheet2->OnShow = [&](TObject*) { ++shows2; };
    form.Show();
    ui::Activate(form.Handle());

    form.combo->SetItemIndex(2);
    EXPECT_EQ(0, comboChanges);
    EXPECT_EQ("郑州", form.combo->Text());
    form.combo->SetFocus();
    ui::PressKey(VK_UP);
    EXPECT_EQ(1, comboChanges);
    EXPECT_EQ(1, form.combo->ItemIndex());

    form.pages->SetActivePageIndex(1);
    EXPECT_EQ(1, shows2);
    EXPECT_FALSE(IsWindowVisible(form.sheet1->Handle()));
    RECT tab{};
    SendMessageW(form.pages->Handle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
    ui::Click(form.pages->Handle(), (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    EXPECT_EQ(1, shows1);
    EXPECT_EQ(0, form.pages->ActivePageIndex());
    form.pages->SetActivePageIndex(0);
    EXPECT_EQ(1, shows1) << "selecting the selected page is no change";

    int tabChanges = 0;
    form.tabs->OnChange = [&](TObject*) { ++tabChanges; };
    form.tabs->SetTabIndex(1);
    EXPECT_EQ(0, tabChanges);
    SendMessageW(form.tabs->Handle(), TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
    ui::Click(form.tabs->Handle(), (tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2);
    EXPECT_EQ(1, tabChanges);
    EXPECT_EQ(0, form.tabs->TabIndex());

    // A canvas bound to a control paints outside WM_PAINT.
    TControlCanvas canvas;
    canvas.SetControl(form.panel);
    canvas.SetPixel(3, 3, RGB(1, 2, 3));
    EXPECT_EQ(RGB(1, 2, 3), canvas.Pixel(3, 3));
    canvas.FreeHandle();
}

TEST_F(FormsTest, InputReachesTheNamedHandlersAndTheWindowProcChain)
{
    TAllControlsForm form;
    std::vector<std::string> log;
    auto record = [&log](const char* what) { return [&log, what](TObject*) { log.push_back(what); }; };
    form.label->OnClick = record("label click");
    form.label->OnDblClick = record("label dblclick");
    form.check->OnClick = record("check click");
    form.radio2->OnClick = record("radio2 click");
    form.list->OnClick = record("list click");
    form.listView->OnDblClick = record("listView dblclick");
    form.edit->OnChange = record("edit change");
    // A subclasser keeps the old WindowProc and sees the framework's notifications through it.
    std::vector<UINT> seen;
    TWndMethod saved = form.button->WindowProc;
    form.button->WindowProc = [&](TMessage& m) {
        saved(m);
        if (m.Msg >= CM_BASE && m.Msg < CN_BASE)
            seen.push_back(m.Msg);
    };
    form.Show();
    ui::Activate(form.Handle());
    const int pause = static_cast<int>(GetDoubleClickTime()) + 50;

    struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> expected;
    } steps[] = {
        {"label click", [&] { ui::Click(form.label->Handle()); ui::Pump(pause); }, {"label click"}},
        {"label double click", [&] { ui::DoubleClick(form.label->Handle()); ui::Pump(pause); }, {"label click", "label dblclick"}},
        {"check box click", [&] { ui::Click(form.check->Handle()); }, {"check click"}},
        {"radio button click", [&] { ui::Click(form.radio2->Handle()); }, {"radio2 click"}},
        {"list box click", [&] { ui::Click(form.list->Handle(), 10, 5); ui::Pump(pause); }, {"list click"}},
        {"list view double click", [&] { ui::DoubleClick(form.listView->Handle(), 20, 30); ui::Pump(pause); }, {"listView dblclick"}},
        {"typing", [&] { form.edit->SetFocus(); form.edit->SelectAll(); ui::TypeText("中文"); }, {"edit change", "edit change"}},
    };
    for (auto& s : steps) {
        log.clear();
        s.act();
        EXPECT_EQ(s.expected, log) << s.what;
    }
    EXPECT_TRUE(form.check->Checked());
    EXPECT_TRUE(form.radio2->Checked());
    EXPECT_FALSE(form.radio1->Checked());
    EXPECT_TRUE(form.radio2->TabStop() && !form.radio1->TabStop()) << "only the checked radio button is a tab stop";
    EXPECT_EQ(0, form.list->ItemIndex());
    EXPECT_EQ("中文", form.edit->Text());
    EXPECT_EQ(2, form.edit->SelStart()) << "the caret follows the typed text";

    ui::MoveMouse(form.button->Handle(), 5, 5);
    ui::MoveMouse(form.edit->Handle(), 5, 5);
    form.button->SetEnabled(false);
    form.button->SetText("改");
    EXPECT_THROW(form.button->SetFocus(), Exception) << "a disabled control can't take the focus";
    for (UINT msg : {CM_MOUSEENTER, CM_MOUSELEAVE, CM_ENABLEDCHANGED, CM_TEXTCHANGED, CM_FOCUSCHANGED})
        EXPECT_NE(seen.end(), std::find(seen.begin(), seen.end(), msg)) << std::hex << msg;
}

TEST_F(FormsTest, OwnerDrawnMenuItemsAreMeasuredDrawnAndClicked)
{
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    auto* menu = new TPopupMenu(&form);
    std::vector<std::string> log;
    for (const char* caption : {"刷新", "撤单"}) {
        auto* item = new TMenuItem(&form);
        item->SetName(caption);
        item->SetCaption(caption);
        item->OnMeasureItem = [&log, caption](TObject*, TCanvas& c, int& w, int& h) {
            log.push_back(std::string("measure ") + caption);
            w = c.TextWidth(caption) + 30;
            h = 20;
        };
        item->OnAdvancedDrawItem = [&log, caption](TObject*, TCanvas& c, RECT r, UINT) {
            log.push_back(std::string("draw ") + caption);
            c.FillRect(r);
            c.TextOut(r.left + 20, r.top + 2, caption);
        };
        item->OnClick = [&log, caption](TObject*) { log.push_back(std::string("click ") + caption); };
        menu->Items()->Add(item);
    }
    form.AfterConstruction();
    form.Show();
    ui::Activate(form.Handle());
    ui::QueueKeys({VK_DOWN, VK_DOWN, VK_RETURN});
    menu->Popup(100, 100);
    ui::Pump(30);
    auto has = [&](const std::string& s) { return std::find(log.begin(), log.end(), s) != log.end(); };
    EXPECT_TRUE(has("measure 刷新") && has("measure 撤单"));
    EXPECT_TRUE(has("draw 刷新") && has("draw 撤单"));
    EXPECT_EQ("click 撤单", log.back());
}

TEST_F(FormsTest, ImageListDrawsItsImagesAndBitmapButtonsCloseWithTheirKind)
{
    TImageList images(nullptr, 8, 8);
    TBitmap red(8, 8), blue(8, 8);
    RECT r{0, 0, 8, 8};
    red.Canvas().Brush().SetColor(RGB(250, 0, 0));
    red.Canvas().FillRect(r);
    blue.Canvas().Brush().SetColor(RGB(0, 0, 250));
    blue.Canvas().FillRect(r);
    EXPECT_EQ(0, images.Add(red));
    EXPECT_EQ(1, images.Add(blue));
    EXPECT_EQ(2, images.Count());
    TBitmap target(20, 10);
    images.Draw(target.Canvas(), 0, 0, 1);
    images.Draw(target.Canvas(), 10, 0, 0);
    EXPECT_EQ(RGB(0, 0, 250), target.Canvas().Pixel(4, 4));
    EXPECT_EQ(RGB(250, 0, 0), target.Canvas().Pixel(14, 4));
    TBitmap copy;
    images.GetBitmap(0, copy);
    EXPECT_EQ(RGB(250, 0, 0), copy.Canvas().Pixel(2, 2));

    struct {
        TBitBtnKind kind;
        WORD key;  // pressed with the focus on an edit: Enter clicks the default, Escape the cancel
        TModalResult expected;
        const char* caption;
    } cases[] = {
        {TBitBtnKind::bkOK, VK_RETURN, mrOk, "确定"},
        {TBitBtnKind::bkCancel, VK_ESCAPE, mrCancel, "取消"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.caption);
        TForm dialog(nullptr);
        dialog.SetBounds(50, 50, 300, 150);
        auto* edit = Place<TEdit>(&dialog, &dialog, "edit", 8, 8, 100, 21);
        auto* button = Place<TBitBtn>(&dialog, &dialog, "button", 8, 40, 90, 25);
        button->SetKind(c.kind);
        EXPECT_EQ(c.caption, button->Text());
        int clicks = 0;
        button->OnClick = [&](TObject*) { ++clicks; };
        // The key is pressed once the dialog runs; a second timer ends a dialog that missed it.
        auto* press = new TTimer(&dialog);
        press->SetInterval(100);
        press->OnTimer = [&](TObject*) {
            press->SetEnabled(false);
            ui::QueueKeys({c.key});
        };
        auto* giveUp = new TTimer(&dialog);
        giveUp->SetInterval(5000);
        giveUp->OnTimer = [&](TObject*) { dialog.SetModalResult(mrAbort); };
        dialog.AfterConstruction();
        dialog.SetActiveControl(edit);
        EXPECT_EQ(c.expected, dialog.ShowModal());
        EXPECT_EQ(1, clicks);
    }
}

TEST_F(FormsTest, AWindowHandedOutOfItsControlLivesOnAndCanBeTakenBack)
{
    struct TParkingList : TListBox {
        using TListBox::TListBox;
        using TListBox::AttachHandle;
        using TListBox::DetachHandle;
    };
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    Place<TEdit>(&form, &form, "focused", 8, 100, 100, 21);
    auto* edit = Place<TParkingList>(&form, &form, "parked", 8, 8, 100, 80, "页面");
    form.AfterConstruction();
    form.Show();
    HWND h = edit->DetachHandle();
    ASSERT_TRUE(IsWindow(h));
    EXPECT_FALSE(edit->HandleAllocated());
    EXPECT_EQ(nullptr, TWinControl::FromHandle(h));
    SetParent(h, app->Handle());
    SetWindowTextW(h, L"x");  // handled by the LISTBOX class alone now
    edit->AttachHandle(h);
    SetParent(h, form.Handle());
    EXPECT_EQ(edit, TWinControl::FromHandle(h));
    EXPECT_EQ("x", edit->Text());
    edit->SetText("回来");
    EXPECT_EQ("回来", ui::WindowText(h));
}

TEST_F(FormsTest, FocusGivenBeforeTheFormIsOnScreenArrivesWhenItShows)
{
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    std::vector<std::string> log;
    auto* edit1 = Place<TEdit>(&form, &form, "edit1", 8, 8, 100, 21);
    auto* edit2 = Place<TEdit>(&form, &form, "edit2", 8, 40, 100, 21);
    for (TWinControl* c : {static_cast<TWinControl*>(edit1), static_cast<TWinControl*>(edit2)})
        c->OnEnter = [&log](TObject* s) { log.push_back("enter " + static_cast<TComponent*>(s)->Name()); };
    form.OnShow = [&](TObject*) { edit2->SetFocus(); };
    form.AfterConstruction();
    form.Show();
    ui::Activate(form.Handle());
    EXPECT_EQ("edit2", FocusedName());
    EXPECT_EQ(std::vector<std::string>{"enter edit2"}, log);
    EXPECT_EQ(edit2, form.ActiveControl());
}

TEST_F(FormsTest, ASubclasserMayUndoItselfWhileItsProcedureRuns)
{
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    auto* button = Place<TButton>(&form, &form, "button", 8, 8, 80, 25, "按钮");
    form.AfterConstruction();
    form.Show();
    struct TSubclass {
        TButton* control;
        TWndMethod saved;
        int seen = 0;
    };
    auto* sub = new TSubclass{button, button->WindowProc};
    button->WindowProc = [sub](TMessage& m) {
        sub->saved(m);
        ++sub->seen;
        if (m.Msg == CM_TEXTCHANGED) {
            sub->control->WindowProc = sub->saved;  // gone on its own message, as decorators do
            delete sub;
        }
    };
    button->SetText("改");
    button->SetText("再改");
    EXPECT_EQ("再改", button->Text());
    button->Invalidate();
    ui::Pump(20);
}

TEST_F(FormsTest, MouseEnterAndLeaveCountTheInnerWindowsOfAControl)
{
    TForm form(nullptr);
    form.SetBounds(20, 20, 300, 200);
    auto* combo = Place<TComboBox>(&form, &form, "combo", 8, 8, 150, 21);  // an edit inside
    auto* edit = Place<TEdit>(&form, &form, "edit", 8, 60, 150, 21);
    form.AfterConstruction();
    form.Show();
    ui::Activate(form.Handle());
    std::vector<std::string> log;
    auto watch = [&log](TWinControl* c) {
        TWndMethod saved = c->WindowProc;
        c->WindowProc = [&log, saved, c](TMessage& m) {
            saved(m);
            if (m.Msg == CM_MOUSEENTER) log.push_back("enter " + c->Name());
            if (m.Msg == CM_MOUSELEAVE) log.push_back("leave " + c->Name());
        };
    };
    watch(combo);
    watch(edit);
    HWND inner = GetWindow(combo->Handle(), GW_CHILD);
    ASSERT_NE(nullptr, inner);
    ui::MoveMouse(inner, 5, 5);
    ui::MoveMouse(inner, 8, 6);
    ui::MoveMouse(edit->Handle(), 5, 5);
    ui::MoveMouse(form.Handle(), 250, 150);
    EXPECT_EQ((std::vector<std::string>{"enter combo", "leave combo", "enter edit", "leave edit"}), log);
}
