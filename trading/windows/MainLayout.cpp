// The main window's components, as its form definition places them, and their handlers.

#include <initializer_list>

#include "framework/FormBuilder.h"
#include "framework/SysUtils.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/ListRows.h"
#include "trading/windows/MainUnit.h"

namespace {

TTabSheet* Sheet(TComponent* owner, TPageControl* pages, const std::string& name, const std::string& caption)
{
    auto* sheet = new TTabSheet(owner);
    sheet->SetName(name);
    sheet->SetText(caption);
    sheet->SetPageControl(pages);
    return sheet;
}

template <class T>
T* Filling(T* control)
{
    control->SetAlign(TAlign::alClient);
    return control;
}

void SetUpList(TListView* list, const std::vector<std::string>& columns, int width = 90)
{
    list->SetViewStyle(TViewStyle::vsReport);
    list->ReadOnly = true;
    list->SetRowSelect(true);
    list->HideSelection = false;
    for (const std::string& title : columns) {
        TListColumn& c = list->Columns().Add();
        c.SetCaption(title);
        c.SetWidth(width);
    }
}

TComboBox* FixedList(TComboBox* combo, std::initializer_list<const char*> items)
{
    combo->SetStyle(TComboBoxStyle::csDropDownList);
    for (const char* item : items)
        combo->Items().Add(item);
    combo->SetItemIndex(0);
    return combo;
}

}  // namespace

void TMainForm::BuildStatusStrip()
{
    pnlBackGround = Place<TPanel>(this, this, "pnlBackGround", 0, 0, 1000, 24);
    pnlBackGround->SetAlign(TAlign::alBottom);
    pnlBackGround->BevelOuter = TPanelBevel::bvNone;
    pnlClock = Place<TPanel>(this, pnlBackGround, "pnlClock", 0, 0, 120, 24);
    pnlClock->SetAlign(TAlign::alRight);
    pnlClock->BevelOuter = TPanelBevel::bvLowered;
    pnlInformation = Place<TPanel>(this, pnlBackGround, "pnlInformation", 0, 0, 220, 24);
    pnlInformation->SetAlign(TAlign::alRight);
    pnlInformation->BevelOuter = TPanelBevel::bvLowered;
    pnlHint = Place<TPanel>(this, pnlBackGround, "pnlHint", 0, 0, 600, 24);
    pnlHint->SetAlign(TAlign::alClient);
    pnlHint->BevelOuter = TPanelBevel::bvLowered;
    pnlHint->Alignment = TAlignment::taLeftJustify;
}

void TMainForm::BuildOrderPage()
{
    TTabSheet* p = TabSheet1;
    hydmCaption = Place<TLabel>(this, p, "hydmCaption", 8, 8, 320, 20);
    Label1 = Place<TLabel>(this, p, "Label1", 8, 34, 60, 18, "最新价");
    zxjgCaption = Place<TLabel>(this, p, "zxjgCaption", 70, 34, 90, 18);
    SPCaption = Place<TLabel>(this, p, "SPCaption", 8, 58, 80, 18);
    SCCaption = Place<TLabel>(this, p, "SCCaption", 90, 58, 70, 18);
    BPCaption = Place<TLabel>(this, p, "BPCaption", 8, 80, 80, 18);
    BCCaption = Place<TLabel>(this, p, "BCCaption", 90, 80, 70, 18);
    UPCaption = Place<TLabel>(this, p, "UPCaption", 170, 34, 75, 18);
    HPCaption = Place<TLabel>(this, p, "HPCaption", 170, 58, 75, 18);
    DPCaption = Place<TLabel>(this, p, "DPCaption", 250, 34, 75, 18);
    LPCaption = Place<TLabel>(this, p, "LPCaption", 250, 58, 75, 18);
    for (TLabel* l : {hydmCaption, zxjgCaption, SPCaption, SCCaption, BPCaption, BCCaption, UPCaption, HPCaption,
                      DPCaption, LPCaption})
        l->SetAutoSize(false);

    fhydm = Place<TEdit>(this, p, "fhydm", 8, 110, 150, 22);
    fhydmlist = Place<TComboBox>(this, p, "fhydmlist", 8, 110, 150, 200);
    fhydmlist->SetStyle(TComboBoxStyle::csDropDownList);
    fhydmlist->SetVisible(false);
    QKEnabled = Place<TCheckBox>(this, p, "QKEnabled", 170, 111, 100, 20, "快捷合约");
    fmmfx = FixedList(Place<TComboBox>(this, p, "fmmfx", 8, 140, 150, 200), {"1 买入", "2 卖出"});
    fwtfx = FixedList(Place<TComboBox>(this, p, "fwtfx", 8, 170, 150, 200), {"1 开仓", "2 平仓", "4 平今仓"});
    fwtjg = Place<TEdit>(this, p, "fwtjg", 8, 200, 150, 22);
    LianDong = Place<TCheckBox>(this, p, "LianDong", 170, 201, 60, 20, "联动");
    SJWTCheck = Place<TCheckBox>(this, p, "SJWTCheck", 235, 201, 90, 20, "市价委托");
    fwtsl = Place<TEdit>(this, p, "fwtsl", 8, 230, 150, 22);
    OkButton = Place<TButton>(this, p, "OkButton", 8, 262, 80, 28, "委托");
    cancelbutton = Place<TButton>(this, p, "cancelbutton", 96, 262, 80, 28, "取消");
    GetQuota = Place<TButton>(this, p, "GetQuota", 184, 262, 80, 28);
    GetQuota->SetVisible(false);

    const struct {
        const char* title;
        TLabel** value;
        const char* name;
        int x, y;
    } boxes[] = {
        {"买入", &bdCaption, "bdCaption", 8, 304},   {"卖出", &sdCaption, "sdCaption", 170, 304},
        {"今买", &tbCaption, "tbCaption", 8, 328},   {"今卖", &tsCaption, "tsCaption", 170, 328},
        {"可委托", &csCaption, "csCaption", 8, 352}, {"可用", &ecCaption, "ecCaption", 170, 352},
    };
    for (const auto& b : boxes) {
        Place<TLabel>(this, p, std::string("Label_") + b.name, b.x, b.y, 50, 18, b.title);
        *b.value = Place<TLabel>(this, p, b.name, b.x + 55, b.y, 100, 18);
        (*b.value)->SetAutoSize(false);
    }
    jjmccaption = Place<TLabel>(this, p, "jjmccaption", 8, 384, 320, 18);
    tzlncaption = Place<TLabel>(this, p, "tzlncaption", 8, 406, 320, 60);
    jjmccaption->SetAutoSize(false);
    tzlncaption->SetAutoSize(false);
    tzlncaption->WordWrap = true;

    PageControl2 = Place<TPageControl>(this, p, "PageControl2", 340, 8, 640, 330);
    TabSheet10 = Sheet(this, PageControl2, "TabSheet10", "委托");
    TabSheet11 = Sheet(this, PageControl2, "TabSheet11", "持仓");
    fwtlb2 = Filling(Place<TMyListView>(this, TabSheet10, "fwtlb2", 0, 0, 600, 300));
    SetUpList(fwtlb2, OrderPageColumns(), 80);
    fcclb2 = Filling(Place<TListView>(this, TabSheet11, "fcclb2", 0, 0, 600, 300));
    SetUpList(fcclb2, PositionPageColumns(), 100);
    fwtlb3 = Place<TMyListView>(this, p, "fwtlb3", 340, 346, 640, 220);
    SetUpList(fwtlb3, PendingOrderColumns(), 75);
    Button1 = Place<TButton>(this, p, "Button1", 340, 574, 80, 26, "刷新");
}

void TMainForm::BuildListPages()
{
    fwtlb = Filling(Place<TMyListView>(this, TabSheet2, "fwtlb", 0, 0, 990, 620));
    SetUpList(fwtlb, OrderColumns());
    fcjlb = Filling(Place<TMyListView>(this, TabSheet3, "fcjlb", 0, 0, 990, 620));
    SetUpList(fcjlb, TradeColumns());
    fcclb = Filling(Place<TMyListView>(this, TabSheet4, "fcclb", 0, 0, 990, 620));
    SetUpList(fcclb, PositionColumns());
    hylb = Filling(Place<TMyListView>(this, TabSheet14, "hylb", 0, 0, 990, 620));
    SetUpList(hylb, ContractColumns(), 100);
    lswt = Filling(Place<TWebPane>(this, TabSheet6, "lswt", 0, 0, 990, 620));
    lscj = Filling(Place<TWebPane>(this, TabSheet7, "lscj", 0, 0, 990, 620));
    gg = Filling(Place<TWebPane>(this, TabSheet9, "gg", 0, 0, 990, 620));
}

void TMainForm::BuildFundsPage()
{
    TLabel** values[] = {&khqyCaption, &kyzjCaption,   &kczjCaption,   &qcjeCaption, &lybzjCaption,
                         &drydjCaption, &dspcykCaption, &DsfdykCaption, &sxfCaption,  &fxlCaption};
    const char* names[] = {"khqyCaption",  "kyzjCaption",   "kczjCaption",   "qcjeCaption", "lybzjCaption",
                           "drydjCaption", "dspcykCaption", "DsfdykCaption", "sxfCaption",  "fxlCaption"};
    for (int i = 0; i < 10; ++i) {
        *values[i] = Place<TLabel>(this, TabSheet5, names[i], 20 + (i / 5) * 300, 20 + (i % 5) * 30, 200, 20);
        (*values[i])->SetAutoSize(false);
    }
    BitBtn3 = Place<TBitBtn>(this, TabSheet5, "BitBtn3", 20, 180, 90, 28, "刷新");
}

void TMainForm::BuildOptionsPage()
{
    BitBtn1 = Place<TBitBtn>(this, TabSheet8, "BitBtn1", 430, 8, 100, 28, "修改密码");
    PageControl3 = Place<TPageControl>(this, TabSheet8, "PageControl3", 8, 8, 410, 380);
    TabSheet12 = Sheet(this, PageControl3, "TabSheet12", "快捷合约");
    TabSheet13 = Sheet(this, PageControl3, "TabSheet13", "快捷代码");
    for (int n = 0; n < kQuickCount; ++n) {
        const int y = 10 + n * 28;
        Place<TLabel>(this, TabSheet12, "LabelQ1" + IntToStr(n), 10, y + 3, 20, 18, IntToStr(n));
        Q1[static_cast<size_t>(n)] = Place<TEdit>(this, TabSheet12, "Q10" + IntToStr(n), 34, y, 200, 22);
        Place<TLabel>(this, TabSheet13, "LabelQ2" + IntToStr(n), 10, y + 3, 20, 18, IntToStr(n));
        Q2[static_cast<size_t>(n)] = Place<TEdit>(this, TabSheet13, "Q20" + IntToStr(n), 34, y, 200, 22);
    }
    BitBtn6 = Place<TBitBtn>(this, TabSheet12, "BitBtn6", 250, 10, 90, 28, "确认");
    Q1ReadButton = Place<TButton>(this, TabSheet12, "Q1ReadButton", 250, 46, 90, 28, "读出设置");
    Q1ReadButton->SetVisible(false);
    BitBtn8 = Place<TBitBtn>(this, TabSheet13, "BitBtn8", 250, 10, 90, 28, "确认");
    Q2ReadButton = Place<TButton>(this, TabSheet13, "Q2ReadButton", 250, 46, 90, 28, "读出设置");
    Q2ReadButton->SetVisible(false);
}

void TMainForm::BuildHiddenPanels()
{
    zlhyPanel = Place<TPanel>(this, TabSheet1, "zlhyPanel", 170, 130, 300, 220);
    zlhyPanel->SetVisible(false);
    zlhyPage = Filling(Place<TPageControl>(this, zlhyPanel, "zlhyPage", 0, 0, 300, 220));
    TListBox** lists[] = {&shzlhyList, &dlzlhyList, &zzzlhylist, &zjzlhylist};
    const char* names[] = {"shzlhyList", "dlzlhyList", "zzzlhylist", "zjzlhylist"};
    const char* captions[] = {"上海", "大连", "郑州", "中金"};
    for (int i = 0; i < 4; ++i) {
        TTabSheet* sheet = Sheet(this, zlhyPage, std::string("zlhySheet") + IntToStr(i), captions[i]);
        *lists[i] = Filling(Place<TListBox>(this, sheet, names[i], 0, 0, 290, 190));
    }
    TabControl1 = Place<TPanel>(this, this, "TabControl1", 300, 200, 300, 160);
    TabControl1->SetVisible(false);
}

void TMainForm::BindHandlers()
{
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnShortCut = [this](WORD key, TShiftState shift, bool& handled) { FormShortCut(key, shift, handled); };
    OnClose = [this](TObject* s, TCloseAction& action) { FormClose(s, action); };
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };
    TabSheet1->OnEnter = [this](TObject* s) { TabSheet1Enter(s); };
    TabSheet1->OnExit = [this](TObject* s) { TabSheet1Exit(s); };
    // The page can go without the focus leaving it (a function key): the poll stops with it.
    TabSheet1->OnHide = [this](TObject* s) { TabSheet1Exit(s); };
    TabSheet2->OnShow = [this](TObject* s) { TabSheet2Show(s); };
    TabSheet3->OnShow = [this](TObject* s) { TabSheet3Show(s); };
    TabSheet4->OnShow = [this](TObject* s) { TabSheet4Show(s); };
    TabSheet5->OnShow = [this](TObject* s) { TabSheet5Show(s); };
    TabSheet9->OnShow = [this](TObject* s) { TabSheet9Show(s); };
    TabSheet10->OnShow = [this](TObject*) { RefreshOrders(); };
    TabSheet11->OnShow = [this](TObject*) { RefreshPositions(); };
    TabSheet14->OnShow = [this](TObject* s) { TabSheet14Show(s); };
    Button1->OnClick = [this](TObject*) { RefreshOrders(); };
    BitBtn3->OnClick = [this](TObject* s) { TabSheet5Show(s); };
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    BitBtn6->OnClick = [this](TObject* s) { BitBtn6Click(s); };
    BitBtn8->OnClick = [this](TObject* s) { BitBtn8Click(s); };
    Q1ReadButton->OnClick = [this](TObject* s) { Q1ReadButtonClick(s); };
    Q2ReadButton->OnClick = [this](TObject* s) { Q2ReadButtonClick(s); };
    QKEnabled->OnClick = [this](TObject* s) { QKEnabledClick(s); };
    GetQuota->OnClick = [this](TObject* s) { GetQuotaClick(s); };
    Label1->OnClick = [this](TObject* s) { Label1Click(s); };

    const auto hint = [this](const char* text) {
        return [this, text](TObject*, TShiftState, int, int) { pnlHint->SetText(text); };
    };
    for (TListView* l : {static_cast<TListView*>(fwtlb), static_cast<TListView*>(fwtlb2),
                         static_cast<TListView*>(fwtlb3)})
        l->OnMouseMove = hint("双击委托单进行撤单");
    for (TListView* l : {static_cast<TListView*>(fcclb), fcclb2})
        l->OnMouseMove = hint("双击持仓单进行平仓");

    fhydm->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { fhydmKeyDown(s, k, sh); };
    fmmfx->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { fmmfxKeyDown(s, k, sh); };
    fwtfx->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { fwtfxKeyDown(s, k, sh); };
    fwtjg->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { fwtjgKeyDown(s, k, sh); };
    fwtsl->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { fwtslKeyDown(s, k, sh); };
    fhydm->OnEnter = [this](TObject* s) { fhydmEnter(s); };
    fhydmlist->OnEnter = [this](TObject*) { pnlHint->SetText(SysInfo ? SysInfo->VarietyTitle : ""); };
    fhydm->OnChange = [this](TObject* s) { fhydmChange(s); };
    fhydmlist->OnChange = [this](TObject* s) { fhydmlistChange(s); };
    fhydm->OnExit = [this](TObject* s) { fhydmExit(s); };
    fhydmlist->OnExit = [this](TObject* s) { fhydmlistExit(s); };
    SJWTCheck->OnClick = [this](TObject* s) { SJWTCheckClick(s); };
    SPCaption->OnDblClick = [this](TObject*) { QuotePriceDblClick(SPCaption, 1); };
    SCCaption->OnDblClick = [this](TObject*) { QuotePriceDblClick(SPCaption, 1); };
    BPCaption->OnDblClick = [this](TObject*) { QuotePriceDblClick(BPCaption, 0); };
    BCCaption->OnDblClick = [this](TObject*) { QuotePriceDblClick(BPCaption, 0); };
    zxjgCaption->OnDblClick = [this](TObject*) { QuotePriceDblClick(zxjgCaption, -1); };
    fwtsl->OnExit = [this](TObject* s) { fwtslExit(s); };
    fwtjg->OnExit = [this](TObject* s) { fwtjgExit(s); };
    OkButton->OnClick = [this](TObject* s) { OkButtonClick(s); };
    cancelbutton->OnClick = [this](TObject* s) { cancelbuttonClick(s); };
    fcclb2->OnClick = [this](TObject* s) { fcclb2Click(s); };
    fcclb2->OnDblClick = [this](TObject* s) { fcclb2DblClick(s); };
    fcclb->OnDblClick = [this](TObject* s) { fcclbDblClick(s); };
    fwtlb->OnDblClick = [this](TObject*) { CancelOrderDblClick(fwtlb, kOrderStatusColumn); };
    fwtlb2->OnDblClick = [this](TObject*) { CancelOrderDblClick(fwtlb2, kOrderPageStatusColumn); };
    fwtlb3->OnDblClick = [this](TObject*) { CancelOrderDblClick(fwtlb3, kOrderPageStatusColumn); };
}
