#pragma once
// The add-site dialog: a name, a host and a port appended to the site lists.

#include "framework/Buttons.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "ui/components/xpmenu/XPMenu.h"

class TAddNetForm : public TForm {
    VIDUDO_CLASS(TAddNetForm, TForm)
public:
    explicit TAddNetForm(TComponent* owner);

    TLabel* Label1;
    TEdit* HostName;
    TLabel* Label2;
    TEdit* Host;
    TLabel* Label3;
    TEdit* Port;
    TBitBtn* BitBtn1;
    TBitBtn* BitBtn2;

    TXPMenu* XPMenu1;

    void BitBtn1Click(TObject* sender);
    void BitBtn2Click(TObject* sender);
};
