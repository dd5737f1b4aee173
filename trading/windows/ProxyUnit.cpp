#include "trading/windows/ProxyUnit.h"

#include "framework/Dialogs.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/DialogRules.h"
#include "trading/windows/FormBuilder.h"
#include "trading/windows/SiteRules.h"

TProxyForm::TProxyForm(TComponent* owner) : TForm(owner)
{
    SetUpDialog(*this, "ProxyForm", "设置代理服务器", 330, 200);
    ProxyEnabled = Place<TCheckBox>(this, this, "ProxyEnabled", 16, 12, 90, 17, "使用代理");
    Socks5 = Place<TRadioButton>(this, this, "Socks5", 120, 12, 70, 17, "Socks5");
    Socks5->SetChecked(true);
    Socks4 = Place<TRadioButton>(this, this, "Socks4", 200, 12, 70, 17, "Socks4");
    GroupBox1 = Place<TGroupBox>(this, this, "GroupBox1", 8, 36, 314, 112);
    Label1 = Place<TLabel>(this, GroupBox1, "Label1", 10, 22, 90, 13, "代理服务器地址");
    ProxyServer = Place<TEdit>(this, GroupBox1, "ProxyServer", 104, 19, 130, 21);
    Label2 = Place<TLabel>(this, GroupBox1, "Label2", 238, 22, 8, 13, ":");
    ProxyPort = Place<TEdit>(this, GroupBox1, "ProxyPort", 248, 19, 56, 21);
    Label3 = Place<TLabel>(this, GroupBox1, "Label3", 10, 52, 90, 13, "用户名");
    ProxyUserName = Place<TEdit>(this, GroupBox1, "ProxyUserName", 104, 49, 130, 21);
    Label4 = Place<TLabel>(this, GroupBox1, "Label4", 10, 82, 90, 13, "密码");
    ProxyPassWd = Place<TEdit>(this, GroupBox1, "ProxyPassWd", 104, 79, 130, 21);
    ProxyPassWd->SetPasswordChar('*');
    BitBtn1 = Place<TBitBtn>(this, this, "BitBtn1", 76, 162, 75, 25, "确认");
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    BitBtn2 = Place<TBitBtn>(this, this, "BitBtn2", 180, 162, 75, 25);
    BitBtn2->SetKind(TBitBtnKind::bkCancel);
    OnCreate = [this](TObject* s) { FormCreate(s); };
    XPMenu1 = new TXPMenu(this);
    XPMenu1->SetName("XPMenu1");
    XPMenu1->SetActive(true);  // last, so it decorates every control above
    AfterConstruction();
}

void TProxyForm::FormCreate(TObject*)
{
    if (IsSocks4ProxyType(SysInfo->ProxyType))
        Socks4->SetChecked(true);
    else
        Socks5->SetChecked(true);
    ProxyEnabled->SetChecked(SysInfo->ProxyEnabled);
    ProxyServer->SetText(SysInfo->ProxyServer);
    ProxyPort->SetText(SysInfo->ProxyPort);
    ProxyUserName->SetText(SysInfo->ProxyUserName);
    ProxyPassWd->SetText(SysInfo->ProxyPasswd);
}

void TProxyForm::BitBtn1Click(TObject*)
{
    const TProxyInput input{ProxyEnabled->Checked(), Socks4->Checked(), ProxyServer->Text(), ProxyPort->Text(),
                            ProxyUserName->Text(), ProxyPassWd->Text()};
    const TProxyCheck check = StoreProxy(*SysInfo, input);
    if (!check.message.empty()) {
        // Closing here would look as if the settings had been saved.
        ShowInformation(check.message);
        (check.focus == TSiteField::Port ? ProxyPort : ProxyServer)->SetFocus();
        return;
    }
    Client->SaveSysinfo();
    SetModalResult(mrOk);
}
