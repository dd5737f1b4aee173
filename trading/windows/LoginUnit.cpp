#include "trading/windows/LoginUnit.h"

#include <algorithm>
#include <memory>

#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/StringList.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/FormBuilder.h"
#include "trading/windows/LoginFlow.h"
#include "trading/windows/NetSetUnit.h"
#include "trading/windows/ProxyUnit.h"
#include "trading/windows/SiteRules.h"

namespace {

const char kConnectionFailed[] = "服务器连接失败,网络故障";

class TClientLoginSession : public ILoginSession {
public:
    void SaveSysinfo() override { Client->SaveSysinfo(); }
    bool Login(const std::string& user, const std::string& password) override { return Client->Login(user, password); }
    bool UpdateStarted() const override { return Client->UpdateStarted; }
    void ClearUpdateStarted() override { Client->UpdateStarted = false; }
};

// "http://host:port" of the selected site of the configuration.
bool ConfiguredSite(std::string& address) { return SiteAddress(*SysInfo, SysInfo->HostIdx, address); }

}  // namespace

TLoginForm::TLoginForm(TComponent* owner) : TForm(owner)
{
    SetName("LoginForm");
    BorderStyle = TFormBorderStyle::bsDialog;
    Position = TPosition::poScreenCenter;
    SetClientSize(460, 400);
    KeyPreview = false;
    Panel1 = Place<TPanel>(this, this, "Panel1", 0, 0, 460, 130);
    Panel1->BevelOuter = TPanelBevel::bvNone;
    browser = Place<TEmbeddedBrowser>(this, Panel1, "browser", 0, 0, 460, 130);
    Label3 = Place<TLabel>(this, this, "Label3", 24, 140, 412, 13, "请选择你要登录的资金账户，然后输入您的用户名和密码");
    Label4 = Place<TLabel>(this, this, "Label4", 64, 171, 64, 13, "站点选择");
    HostList = Place<TComboBox>(this, this, "HostList", 136, 168, 200, 21);
    HostList->SetStyle(TComboBoxStyle::csDropDownList);
    HostList->OnChange = [this](TObject* s) { HostListChange(s); };
    Label5 = Place<TLabel>(this, this, "Label5", 64, 203, 64, 13, "资金帐号");
    accountname = Place<TComboBox>(this, this, "accountname", 136, 200, 200, 21);
    accountname->SetStyle(TComboBoxStyle::csDropDownList);
    accountname->OnChange = [this](TObject* s) { accountnameChange(s); };
    accountvalue = Place<TComboBox>(this, this, "accountvalue", 340, 200, 100, 21);
    accountvalue->SetVisible(false);
    Label6 = Place<TLabel>(this, this, "Label6", 64, 235, 64, 13, "用户名");
    UserName = Place<TEdit>(this, this, "UserName", 136, 232, 200, 21);
    UserName->OnEnter = [this](TObject* s) { UserNameEnter(s); };
    UserName->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { UserNameKeyDown(s, k, sh); };
    Label7 = Place<TLabel>(this, this, "Label7", 64, 267, 64, 13, "密码");
    Passwd = Place<TEdit>(this, this, "Passwd", 136, 264, 200, 21);
    Passwd->SetPasswordChar('*');
    Passwd->OnEnter = [this](TObject* s) { PasswdEnter(s); };
    Passwd->OnKeyDown = [this](TObject* s, WORD& k, TShiftState sh) { PasswdKeyDown(s, k, sh); };
    saveuser = Place<TCheckBox>(this, this, "saveuser", 344, 234, 90, 17, "记住账号");
    saveuser->OnClick = [this](TObject* s) { saveuserClick(s); };
    loginbutton = Place<TButton>(this, this, "loginbutton", 64, 304, 75, 25, "登录");
    loginbutton->OnClick = [this](TObject* s) { loginbuttonClick(s); };
    BitBtn2 = Place<TBitBtn>(this, this, "BitBtn2", 148, 304, 75, 25);
    BitBtn2->SetKind(TBitBtnKind::bkCancel);
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
    Button2 = Place<TButton>(this, this, "Button2", 232, 304, 75, 25, "设置代理");
    Button2->OnClick = [this](TObject* s) { Button2Click(s); };
    Button1 = Place<TButton>(this, this, "Button1", 316, 304, 75, 25, "修改网络");
    Button1->OnClick = [this](TObject* s) { Button1Click(s); };
    Label1 = Place<TLabel>(this, this, "Label1", 64, 344, 60, 13, "注册账号");
    Label1->Font().SetColor(clBlue);
    Label1->OnClick = [this](TObject* s) { Label1Click(s); };
    StatusBar1 = new TStatusBar(this);
    StatusBar1->SetName("StatusBar1");
    StatusBar1->SetParent(this);
    StatusBar1->SetSimplePanel(true);
    OnCreate = [this](TObject* s) {
        // "Client.ini" may have been edited since the main window read it.
        if (Client)
            Client->ReadSysinfo();
        FormCreate(s);
    };
    OnShow = [this](TObject* s) { FormShow(s); };
    XPMenu1 = new TXPMenu(this);
    XPMenu1->SetName("XPMenu1");
    XPMenu1->SetActive(true);  // last, so it decorates every control above
    AfterConstruction();
}

void TLoginForm::FormCreate(TObject*)
{
    // Runs again after the site dialog: the list starts empty each time.
    HostList->Items().Clear();
    const int count = std::min(SysInfo->HostCount, SysInfo->HostNames.Count());
    for (int i = 0; i < count; ++i)
        HostList->Items().Add(SysInfo->HostNames[i]);
    if (count > 0 && SysInfo->HostIdx >= 0 && SysInfo->HostIdx < count)
        HostList->SetItemIndex(SysInfo->HostIdx);
    saveuser->SetChecked(SysInfo->SaveUserEnabled);
    if (saveuser->Checked())
        UserName->SetText(SysInfo->UserName);
    std::string site;
    if (ConfiguredSite(site))
        ShowBanner(site + "/plugins/futures/loginad.php");
}

void TLoginForm::FormShow(TObject*) { FetchAccounts(); }

void TLoginForm::FetchAccounts()
{
    accountname->Items().Clear();
    accountvalue->Items().Clear();
    std::string site;
    if (!SiteAddress(*SysInfo, HostList->ItemIndex(), site))
        return;  // no site to ask
    ServerURL = ServerURLOf(site);
    TStringList names, values;
    try {
        Client->getaccountlist(names, values);
    } catch (...) {
        ShowInformation(kConnectionFailed);
        return;
    }
    if (names.Count() != values.Count()) {
        ShowInformation(kConnectionFailed);
        return;
    }
    int selected = -1;
    for (int i = 0; i < names.Count(); ++i) {
        accountname->Items().Add(names[i]);
        accountvalue->Items().Add(values[i]);
        if (selected < 0 && values[i] == SysInfo->gid)
            selected = i;
    }
    accountvalue->SetItemIndex(selected);
    accountname->SetItemIndex(selected);
}

void TLoginForm::accountnameChange(TObject*) { accountvalue->SetItemIndex(accountname->ItemIndex()); }

void TLoginForm::HostListChange(TObject*) { FetchAccounts(); }

void TLoginForm::saveuserClick(TObject*) { SysInfo->SaveUserEnabled = saveuser->Checked(); }

void TLoginForm::UserNameEnter(TObject*) { StatusBar1->SetSimpleText("请输入资金帐号"); }

void TLoginForm::PasswdEnter(TObject*) { StatusBar1->SetSimpleText("请输入密码"); }

void TLoginForm::UserNameKeyDown(TObject*, WORD& key, TShiftState)
{
    if (key == VK_RETURN || key == VK_DOWN) {
        Passwd->SetFocus();
        key = 0;
    } else if (key == VK_UP) {
        HostList->SetFocus();
        key = 0;
    }
}

void TLoginForm::PasswdKeyDown(TObject*, WORD& key, TShiftState)
{
    if (key == VK_RETURN) {
        key = 0;
        loginbutton->Click();
    } else if (key == VK_DOWN) {
        loginbutton->SetFocus();
        key = 0;
    } else if (key == VK_UP) {
        UserName->SetFocus();
        key = 0;
    }
}

void TLoginForm::loginbuttonClick(TObject*)
{
    TLoginChoice choice;
    choice.userName = UserName->Text();
    choice.password = Passwd->Text();
    choice.hostIndex = HostList->ItemIndex();
    const int account = accountname->ItemIndex();
    choice.accountSelected = account >= 0 && account < accountvalue->Items().Count();
    if (choice.accountSelected)
        choice.accountValue = accountvalue->Items()[account];
    choice.saveUser = saveuser->Checked();
    TClientLoginSession session;
    switch (RunLogin(choice, *SysInfo, ServerURL, session)) {
    case TLoginOutcome::LoggedIn: SetModalResult(mrOk); break;
    case TLoginOutcome::Update: SetModalResult(mrCancel); break;
    default: break;
    }
}

void TLoginForm::BitBtn2Click(TObject*) { SetModalResult(mrCancel); }

void TLoginForm::Button1Click(TObject*)
{
    {
        auto dialog = std::make_unique<TNetSetForm>(nullptr);
        dialog->ShowModal();
    }
    FormCreate(this);
    // A corrected address works at once, without a restart.
    FetchAccounts();
}

void TLoginForm::Button2Click(TObject*)
{
    if (!Client->ReadSysinfo())
        return;  // the quit is posted; the program ends
    auto dialog = std::make_unique<TProxyForm>(nullptr);
    dialog->ShowModal();
}

void TLoginForm::Label1Click(TObject*)
{
    std::string site;
    if (ConfiguredSite(site))
        Client->MyFun->ShellOpen(site + "/do.php?ac=5d0e9a7c41b38f26e0c4a9d17b52f38e");
}

void TLoginForm::ShowBanner(const std::string& url)
{
    // The banner is decoration: a browser that can't start must not keep anyone from logging in.
    try {
        browser->HandleNeeded();
        browser->Navigate(GbkToWide(url));
    } catch (...) {
    }
}
