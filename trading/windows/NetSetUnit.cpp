#include "trading/windows/NetSetUnit.h"

#include <memory>

#include "framework/Dialogs.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/AddNetUnit.h"
#include "trading/windows/DialogRules.h"
#include "trading/windows/FormBuilder.h"

TNetSetForm::TNetSetForm(TComponent* owner) : TForm(owner)
{
    SetUpDialog(*this, "NetSetForm", "修改网络", 300, 150);
    Label1 = Place<TLabel>(this, this, "Label1", 16, 19, 64, 13, "站点选择:");
    HostList = Place<TComboBox>(this, this, "HostList", 88, 16, 190, 21);
    HostList->SetStyle(TComboBoxStyle::csDropDownList);
    HostList->OnChange = [this](TObject* s) { HostListChange(s); };
    Label2 = Place<TLabel>(this, this, "Label2", 16, 49, 64, 13, "IP地址:");
    HOST = Place<TEdit>(this, this, "HOST", 88, 46, 190, 21);
    Label3 = Place<TLabel>(this, this, "Label3", 16, 79, 64, 13, "端口:");
    Port = Place<TEdit>(this, this, "Port", 88, 76, 80, 21);
    BitBtn1 = Place<TBitBtn>(this, this, "BitBtn1", 30, 112, 75, 25, "确认");
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    BitBtn2 = Place<TBitBtn>(this, this, "BitBtn2", 112, 112, 75, 25, "增加");
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
    BitBtn3 = Place<TBitBtn>(this, this, "BitBtn3", 194, 112, 75, 25);
    BitBtn3->SetKind(TBitBtnKind::bkCancel);
    BitBtn3->OnClick = [this](TObject* s) { BitBtn3Click(s); };
    OnCreate = [this](TObject* s) {
        // "Client.ini" may have been edited since it was last read.
        if (Client)
            Client->ReadSysinfo();
        FormCreate(s);
    };
    XPMenu1 = new TXPMenu(this);
    XPMenu1->SetName("XPMenu1");
    XPMenu1->SetActive(true);  // last, so it decorates every control above
    AfterConstruction();
}

void TNetSetForm::FormCreate(TObject*)
{
    // Runs again after a site was added: start from an empty list.
    HostList->Items().Clear();
    HOST->Clear();
    Port->Clear();
    for (const std::string& name : SysInfo->HostNames)
        HostList->Items().Add(name);
    if (SysInfo->HostCount > 0 && HostList->Items().Count() > 0) {
        HostList->SetItemIndex(0);
        HostListChange(HostList);
    }
}

void TNetSetForm::HostListChange(TObject*)
{
    const int i = HostList->ItemIndex();
    if (i < 0 || i >= SysInfo->Hosts.Count() || i >= SysInfo->Ports.Count())
        return;
    HOST->SetText(SysInfo->Hosts[i]);
    Port->SetText(SysInfo->Ports[i]);
}

void TNetSetForm::BitBtn1Click(TObject*)
{
    const TSiteCheck check = StoreSiteAddress(*SysInfo, HostList->ItemIndex(), HOST->Text(), Port->Text());
    if (!check.message.empty()) {
        ShowInformation(check.message);
        (check.focus == TSiteField::Port ? Port : HOST)->SetFocus();
        return;
    }
    Client->SaveSysinfo();
    SetModalResult(mrOk);
}

void TNetSetForm::BitBtn2Click(TObject*)
{
    {
        auto add = std::make_unique<TAddNetForm>(nullptr);
        add->ShowModal();
    }
    Client->ReadSysinfo();
    FormCreate(this);
}

void TNetSetForm::BitBtn3Click(TObject*) { SetModalResult(mrCancel); }
