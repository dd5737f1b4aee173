#pragma once
// The login window: site, fund account, user name and password, the service's banner page,
// and the way to the site, proxy and registration functions. OK goes on, cancel ends.

#include <string>

#include "framework/Buttons.h"
#include "framework/ComCtrls.h"
#include "framework/ExtCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "ui/components/xpmenu/XPMenu.h"
#include "ui/browser/EmbeddedBrowser.h"

class TLoginForm : public TForm {
    VIDUDO_CLASS(TLoginForm, TForm)
public:
    explicit TLoginForm(TComponent* owner);

    TPanel* Panel1;
    TEmbeddedBrowser* browser;
    TLabel* Label3;
    TLabel* Label4;
    TComboBox* HostList;
    TLabel* Label5;
    TComboBox* accountname;
    TComboBox* accountvalue;
    TLabel* Label6;
    TEdit* UserName;
    TLabel* Label7;
    TEdit* Passwd;
    TCheckBox* saveuser;
    TButton* loginbutton;
    TBitBtn* BitBtn2;
    TButton* Button2;
    TButton* Button1;
    TLabel* Label1;
    TStatusBar* StatusBar1;

    TXPMenu* XPMenu1;

    void FormCreate(TObject* sender);
    void FormShow(TObject* sender);
    void loginbuttonClick(TObject* sender);
    void BitBtn2Click(TObject* sender);
    void Button1Click(TObject* sender);
    void Button2Click(TObject* sender);
    void saveuserClick(TObject* sender);
    void accountnameChange(TObject* sender);
    void HostListChange(TObject* sender);
    void UserNameEnter(TObject* sender);
    void PasswdEnter(TObject* sender);
    void UserNameKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void PasswdKeyDown(TObject* sender, WORD& key, TShiftState shift);
    void Label1Click(TObject* sender);

private:
    // Asks the chosen site for the account list and selects the saved gid.
    void FetchAccounts();
    void ShowBanner(const std::string& url);
};
