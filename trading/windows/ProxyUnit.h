#pragma once
// The proxy dialog: the SOCKS proxy the next login goes through.

#include "framework/Buttons.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "ui/components/xpmenu/XPMenu.h"

class TProxyForm : public TForm {
    VIDUDO_CLASS(TProxyForm, TForm)
public:
    explicit TProxyForm(TComponent* owner);

    TCheckBox* ProxyEnabled;
    TRadioButton* Socks5;
    TRadioButton* Socks4;
    TGroupBox* GroupBox1;
    TLabel* Label1;
    TEdit* ProxyServer;
    TLabel* Label2;
    TEdit* ProxyPort;
    TLabel* Label3;
    TEdit* ProxyUserName;
    TLabel* Label4;
    TEdit* ProxyPassWd;
    TBitBtn* BitBtn1;
    TBitBtn* BitBtn2;

    TXPMenu* XPMenu1;

    void FormCreate(TObject* sender);
    void BitBtn1Click(TObject* sender);
};
