#include "trading/windows/AddNetUnit.h"

#include "framework/Dialogs.h"
#include "trading/connection/ClientModules.h"
#include "trading/windows/DialogRules.h"
#include "trading/windows/FormBuilder.h"

TAddNetForm::TAddNetForm(TComponent* owner) : TForm(owner)
{
    SetUpDialog(*this, "AddNetForm", "增加站点", 280, 150);
    Label1 = Place<TLabel>(this, this, "Label1", 16, 19, 64, 13, "站点名称:");
    HostName = Place<TEdit>(this, this, "HostName", 88, 16, 170, 21);
    Label2 = Place<TLabel>(this, this, "Label2", 16, 49, 64, 13, "IP地址:");
    Host = Place<TEdit>(this, this, "Host", 88, 46, 170, 21);
    Label3 = Place<TLabel>(this, this, "Label3", 16, 79, 64, 13, "端口:");
    Port = Place<TEdit>(this, this, "Port", 88, 76, 80, 21);
    BitBtn1 = Place<TBitBtn>(this, this, "BitBtn1", 56, 112, 75, 25, "确认");
    BitBtn1->ModalResult = mrOk;  // closes whatever the check said
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    BitBtn2 = Place<TBitBtn>(this, this, "BitBtn2", 148, 112, 75, 25);
    BitBtn2->SetKind(TBitBtnKind::bkCancel);
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
    XPMenu1 = new TXPMenu(this);
    XPMenu1->SetName("XPMenu1");
    XPMenu1->SetActive(true);  // last, so it decorates every control above
    AfterConstruction();
}

void TAddNetForm::BitBtn1Click(TObject*)
{
    const std::string message = AddSite(*SysInfo, HostName->Text(), Host->Text(), Port->Text());
    if (!message.empty()) {
        ShowInformation(message);
        return;
    }
    Client->SaveSysinfo();
}

void TAddNetForm::BitBtn2Click(TObject*) { SetModalResult(mrCancel); }
