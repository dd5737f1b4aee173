#include "trading/windows/MainUnit.h"

#include <windows.h>

#include <memory>

#include "framework/CodePage.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/LoginUnit.h"
#include "trading/windows/SiteRules.h"

TMainForm* MainForm = nullptr;
bool LoggedIn = false;

namespace {

const char kVersionSuffix[] = " Ver 3.2";

// The reply times are read with these formats; the change outlives the program.
void SetPlatformDateTimeFormats()
{
    for (LCID locale : {LOCALE_SYSTEM_DEFAULT, LOCALE_USER_DEFAULT}) {
        SetLocaleInfoW(locale, LOCALE_SSHORTDATE, L"yyyy-MM-dd");
        SetLocaleInfoW(locale, LOCALE_STIMEFORMAT, L"HH:mm:ss");
    }
}

}  // namespace

TMainForm::TMainForm(TComponent* owner) : TForm(owner), Myfun(new TFun(this))
{
    Myfun->SetName("Myfun");
    SetName("MainForm");
    SetBounds(0, 0, 1000, 700);
    Position = TPosition::poScreenCenter;
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    if (!MainForm)
        MainForm = this;
    if (Client)
        Client->SetTask(this);
    AfterConstruction();
}

TMainForm::~TMainForm()
{
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
    TModalResult result;
    {
        auto login = std::make_unique<TLoginForm>(nullptr);
        login->SetText(Text());
        result = login->ShowModal();
    }
    if (result != mrOk) {
        PostQuitMessage(0);
        return;
    }
    LoggedIn = true;
    if (Application)
        Application->SetTitle(Text());
}

void TMainForm::Task(int) {}

void TMainForm::OpenWelcomePage(const std::string& url) { Myfun->ShellOpen(url); }
