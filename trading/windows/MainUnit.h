#pragma once
// The main window's start-up: the platform's date and time formats, the configuration, the
// caption, the server address, and the login hand-over. The trading pages, timers, reply
// handling and web panes are not built yet; this window holds only what the start-up needs.

#include <string>

#include "framework/Forms.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/myFun.h"

class TMainForm : public TForm, public IClientTask {
    VIDUDO_CLASS(TMainForm, TForm)
public:
    explicit TMainForm(TComponent* owner);
    ~TMainForm() override;

    TFun* Myfun;

    void FormCreate(TObject* sender);
    void FormShow(TObject* sender);

    void Task(int code) override;
    void OpenWelcomePage(const std::string& url) override;

private:
    bool configured_ = false;  // the configuration was read
};

extern TMainForm* MainForm;
// Set when the login window returned OK.
extern bool LoggedIn;
