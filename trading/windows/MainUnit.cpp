// The main window: creation, the login hand-over, pages and their refresh, the timers, the
// quick codes and the web panes.

#include "trading/windows/MainUnit.h"

#include <windows.h>

#include <memory>

#include "framework/CodePage.h"
#include "framework/SysUtils.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/LoginUnit.h"
#include "trading/windows/SiteRules.h"
#include "trading/windows/WebPanes.h"

TMainForm* MainForm = nullptr;
bool LoggedIn = false;
TQuickSet QuickContracts;
TQuickSet QuickCodes;

namespace {

const char kVersionSuffix[] = " Ver 3.2";
// The first page sets the service's session cookie for the others; a page that never renders
// must not keep the window from being used.
const DWORD kFirstDocumentWaitMs = 10000;

// The reply times are read with these formats; the change outlives the program.
void SetPlatformDateTimeFormats()
{
    for (LCID locale : {LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT}) {
        SetLocaleInfoW(locale, LOCALE_SSHORTDATE, L"yyyy-MM-dd");
        SetLocaleInfoW(locale, LOCALE_STIMEFORMAT, L"HH:mm:ss");
    }
}

void ClearList(TListView* list)
{
    if (list->Items().Count() > 0)
        list->Items().Clear();
}

}  // namespace

TMainForm::TMainForm(TComponent* owner) : TForm(owner), Myfun(new TFun(this))
{
    Myfun->SetName("Myfun");
    SetName("MainForm");
    SetBounds(0, 0, 1000, 700);
    Position = TPosition::poScreenCenter;
    KeyPreview = true;
    LoggedIn = false;

    Timer1 = new TTimer(this);
    Timer1->SetName("Timer1");
    Timer1->SetInterval(1000);
    Timer2 = new TTimer(this);
    Timer2->SetName("Timer2");
    Timer2->SetInterval(1500);

    BuildStatusStrip();
    PageControl1 = new TPageControl(this);
    PageControl1->SetName("PageControl1");
    PageControl1->SetAlign(TAlign::alClient);
    PageControl1->SetParent(this);
    const struct {
        TTabSheet** sheet;
        const char* name;
        const char* caption;
    } pages[] = {
        {&TabSheet1, "TabSheet1", "F3.下单"},        {&TabSheet2, "TabSheet2", "F4.查委托/撤单"},
        {&TabSheet3, "TabSheet3", "F5.查成交"},      {&TabSheet4, "TabSheet4", "F6.查持仓"},
        {&TabSheet5, "TabSheet5", "F7.查资金"},      {&TabSheet6, "TabSheet6", "F8.历史委托"},
        {&TabSheet7, "TabSheet7", "F9.历史成交"},    {&TabSheet8, "TabSheet8", "F10.选项"},
        {&TabSheet14, "TabSheet14", "查合约"},       {&TabSheet9, "TabSheet9", "F1.公告"},
    };
    for (const auto& p : pages) {
        *p.sheet = new TTabSheet(this);
        (*p.sheet)->SetName(p.name);
        (*p.sheet)->SetText(p.caption);
        (*p.sheet)->SetPageControl(PageControl1);
    }
    BuildOrderPage();
    BuildListPages();
    BuildFundsPage();
    BuildOptionsPage();
    BuildHiddenPanels();
    BindHandlers();
    XPMenu1 = new TXPMenu(this);
    XPMenu1->SetName("XPMenu1");
    XPMenu1->SetActive(true);  // last, so it decorates every control above

    if (!MainForm)
        MainForm = this;
    if (Client)
        Client->SetTask(this);
    AfterConstruction();
}

TMainForm::~TMainForm()
{
    // Freeing the pages selects others and moves the focus: no handler may run on a window
    // that is half gone.
    for (int i = 0; i < ComponentCount(); ++i) {
        TComponent* c = Components(i);
        if (auto* sheet = dynamic_cast<TTabSheet*>(c)) {
            sheet->OnShow = nullptr;
            sheet->OnHide = nullptr;
        }
        if (auto* control = dynamic_cast<TWinControl*>(c)) {
            control->OnEnter = nullptr;
            control->OnExit = nullptr;
        }
        if (auto* timer = dynamic_cast<TTimer*>(c))
            timer->OnTimer = nullptr;
    }
    OnHide = nullptr;
    if (Client)
        Client->SetTask(nullptr);
    if (MainForm == this)
        MainForm = nullptr;
}

void TMainForm::FormCreate(TObject*)
{
    SetPlatformDateTimeFormats();
    // A failed read has shown its box and posted the quit: nothing more to set up.
    configured_ = Client->ReadSysinfo();
    if (!configured_)
        return;
    SetText(SysInfo->AppName + kVersionSuffix);
    if (Application)
        Application->SetTitle(Text());
    // No usable site: no address, and nothing is sent until the login window has one.
    std::string url;
    if (SelectedServerURL(*SysInfo, url))
        ServerURL = url;
}

void TMainForm::FormShow(TObject*)
{
    if (!configured_)
        return;
    const TModalResult result = RunLogin();
    if (result != mrOk) {
        PostQuitMessage(0);
        return;
    }
    LoggedIn = true;
    pnlHint->SetText("欢迎使用模拟交易系统");
    pnlInformation->SetText("客户姓名:" + Client->Khxx.Name);
    if (Application)
        Application->SetTitle(Text());
    jjmccaption->SetText(Client->Khxx.FundName);
    tzlncaption->SetText(Client->Khxx.Philosophy);
    Client->CXZJ();
    Client->CXWT();
    Client->CXCC();
    Client->cxzlhy();
    Q1ReadButtonClick(this);
    Q2ReadButtonClick(this);
    {
        // The first page must be the autologin, so the index page waits for it.
        loadingPanes_ = true;
        PageControl1->SetActivePageIndex(mpNotices);
        loadingPanes_ = false;
    }
    LoadWebPanes();
}

TModalResult TMainForm::RunLogin()
{
    auto login = std::make_unique<TLoginForm>(nullptr);
    login->SetText(Text());
    return login->ShowModal();
}

bool TMainForm::Site(std::string& site) const { return SysInfo && SiteAddress(*SysInfo, SysInfo->HostIdx, site); }

void TMainForm::LoadWebPanes()
{
    std::string site;
    if (!Site(site))
        return;
    gg->Navigate(AutologinURL(site, SysInfo->LoginUser, SysInfo->LoginPasswd));
    {
        // Keys still switch pages during the wait, but no switch may send a pane elsewhere
        // before the autologin page has set the session.
        loadingPanes_ = true;
        struct TDone {
            bool& flag;
            ~TDone() { flag = false; }
        } done{loadingPanes_};
        gg->WaitForHtmlDocument(kFirstDocumentWaitMs);
    }
    lswt->Navigate(HistoryOrdersURL(site, SysInfo->gid));
    lscj->Navigate(HistoryTradesURL(site, SysInfo->gid));
    gg->Navigate(IndexURL(site, SysInfo->gid));
}

void TMainForm::FormClose(TObject*, TCloseAction&)
{
    // Nothing queued is sent once the window is gone, and no reply raises a box over nothing.
    Timer1->SetEnabled(false);
    Timer2->SetEnabled(false);
    if (Client)
        Client->ShutDown();
}

void TMainForm::FormShortCut(WORD key, TShiftState, bool& handled)
{
    if (key >= VK_F3 && key <= VK_F10)
        PageControl1->SetActivePageIndex(mpOrder + (key - VK_F3));
    // F10 would go on to open the window menu's keyboard mode, which holds every later key.
    if (key == VK_F10)
        handled = true;
    if (key == VK_F1)
        PageControl1->SetActivePageIndex(mpNotices);
}

void TMainForm::RefreshOrders()
{
    if (!LoggedIn)
        return;
    ClearList(fwtlb);
    ClearList(fwtlb2);
    ClearList(fwtlb3);
    Client->CXWT();
}

void TMainForm::RefreshPositions()
{
    if (!LoggedIn)
        return;
    ClearList(fcclb);
    ClearList(fcclb2);
    Client->CXCC();
}

void TMainForm::TabSheet2Show(TObject*) { RefreshOrders(); }

void TMainForm::TabSheet3Show(TObject*)
{
    if (!LoggedIn)
        return;
    ClearList(fcjlb);
    Client->CXCJ();
}

void TMainForm::TabSheet4Show(TObject*) { RefreshPositions(); }

void TMainForm::TabSheet5Show(TObject*)
{
    if (LoggedIn)
        Client->CXZJ();
}

void TMainForm::TabSheet14Show(TObject*)
{
    if (LoggedIn && hylb->Items().Count() == 0)
        Client->CXHY();
}

void TMainForm::TabSheet9Show(TObject*)
{
    std::string site;
    if (LoggedIn && !loadingPanes_ && Site(site))
        gg->Navigate(IndexURL(site, SysInfo->gid));
}

void TMainForm::BitBtn1Click(TObject*)
{
    std::string site;
    if (Site(site))
        Myfun->ShellOpen(PasswordURL(site));
}

void TMainForm::Timer1Timer(TObject*)
{
    wchar_t text[64] = {};
    if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, nullptr, nullptr, text, 64) > 0)
        pnlClock->SetText(WideToGbk(text));
}

void TMainForm::Timer2Timer(TObject* sender)
{
    Timer2->SetInterval(1500);
    Timer2->SetEnabled(false);
    try {
        GetQuotaClick(sender);
    } catch (...) {
        Timer2->SetEnabled(true);
        throw;
    }
    Timer2->SetEnabled(true);
}

void TMainForm::GetQuotaClick(TObject*)
{
    if (!LoggedIn)
        return;
    std::string contract;
    if (QKEnabled->Checked()) {
        const int index = fhydmlist->ItemIndex();
        if (index >= 0)
            contract = QuickContractOf(fhydmlist->Items()[index], QuickContracts);
    } else {
        contract = fhydm->Text();
    }
    if (IsQuotable(contract))
        Client->QQHQ(contract, "#", "#");
}

void TMainForm::Label1Click(TObject*) { Timer2->SetEnabled(true); }

void TMainForm::TabSheet1Enter(TObject*)
{
    if (QuoteHeld())
        Timer2->SetEnabled(true);
}

void TMainForm::TabSheet1Exit(TObject*) { Timer2->SetEnabled(false); }

namespace {

TIniRead IniReader(TFun& fun)
{
    return [&fun](const std::string& key) { return fun.ReadIniString(ClientIniPath(), kCodeSetSection, key, ""); };
}

TIniWrite IniWriter(TFun& fun)
{
    return [&fun](const std::string& key, const std::string& value) {
        fun.WriteIniString(ClientIniPath(), kCodeSetSection, key, value);
    };
}

}  // namespace

void TMainForm::Q1ReadButtonClick(TObject*)
{
    QuickContracts = ReadQuickSet(kQuickContractKey, IniReader(*Myfun));
    for (int n = 0; n < kQuickCount; ++n)
        Q1[static_cast<size_t>(n)]->SetText(QuickContracts[static_cast<size_t>(n)]);
}

void TMainForm::Q2ReadButtonClick(TObject*)
{
    QuickCodes = ReadQuickSet(kQuickCodeKey, IniReader(*Myfun));
    for (int n = 0; n < kQuickCount; ++n)
        Q2[static_cast<size_t>(n)]->SetText(QuickCodes[static_cast<size_t>(n)]);
}

void TMainForm::BitBtn6Click(TObject* sender)
{
    TQuickSet values;
    for (int n = 0; n < kQuickCount; ++n)
        values[static_cast<size_t>(n)] = Q1[static_cast<size_t>(n)]->Text();
    WriteQuickSet(kQuickContractKey, values, IniWriter(*Myfun));
    Q1ReadButtonClick(sender);
}

void TMainForm::BitBtn8Click(TObject* sender)
{
    TQuickSet values;
    for (int n = 0; n < kQuickCount; ++n)
        values[static_cast<size_t>(n)] = Q2[static_cast<size_t>(n)]->Text();
    WriteQuickSet(kQuickCodeKey, values, IniWriter(*Myfun));
    Q2ReadButtonClick(sender);
}

void TMainForm::QKEnabledClick(TObject*)
{
    if (QKEnabled->Checked()) {
        fhydmlist->Items().Clear();
        for (const std::string& item : QuickContractItems(QuickContracts))
            fhydmlist->Items().Add(item);
        fhydmlist->SetVisible(true);
        fhydm->SetVisible(false);
    } else {
        fhydm->SetVisible(true);
        fhydmlist->SetVisible(false);
    }
}

void TMainForm::OpenWelcomePage(const std::string& url) { Myfun->ShellOpen(url); }
