#pragma once
// The site dialog: the host and port of an existing site, and the way to add one.

#include "framework/Buttons.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "ui/components/xpmenu/XPMenu.h"

class TNetSetForm : public TForm {
    VIDUDO_CLASS(TNetSetForm, TForm)
public:
    explicit TNetSetForm(TComponent* owner);

    TLabel* Label1;
    TComboBox* HostList;
    TLabel* Label2;
    TEdit* HOST;
    TLabel* Label3;
    TEdit* Port;
    TBitBtn* BitBtn1;
    TBitBtn* BitBtn2;
    TBitBtn* BitBtn3;

    TXPMenu* XPMenu1;

    void FormCreate(TObject* sender);
    void HostListChange(TObject* sender);
    void BitBtn1Click(TObject* sender);
    void BitBtn2Click(TObject* sender);
    void BitBtn3Click(TObject* sender);
};
