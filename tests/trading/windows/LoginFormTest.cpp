// The login window against the trading-server fixture (two of them, for two sites) and the
// real SOCKS 5 server, driven through the keyboard and mouse under Xvfb.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "TradingWindowsTest.h"
#include "framework/CodePage.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "tests/support/UiDriver.h"
#include "tests/support/FixturePeer.h"
#include "tests/support/ShellOpenRecorder.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/LoginUnit.h"
#include "trading/windows/ProxyUnit.h"
#include "trading/windows/SiteRules.h"

namespace {

using Strings = std::vector<std::string>;

const char kFailed[] = "服务器连接失败,网络故障";

std::string Site(int index, const std::string& name, int port)
{
    const std::string n = IntToStr(index);
    return "HostName" + n + "=" + name + "\r\nHost" + n + "=127.0.0.1\r\nPort" + n + "=" + IntToStr(port) + "\r\n";
}

class LoginFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = PeerPort("VIDUDO_SERVER_PORT");
        port2 = PeerPort("VIDUDO_SERVER2_PORT");
        ASSERT_NE(0, port) << "run this test through tests/server/with_peers.py";
        ASSERT_NE(0, port2);
        fixture.Reset();
        fixture2.Reset();
        app = std::make_unique<TApplication>();
        client = std::make_unique<TClient>();
        client->Http().ConnectTimeoutMs = 2000;
        client->Http().ExchangeTimeoutMs = 3000;
        *SysInfo = TSysInfo();
        ServerURL.clear();
    }
    void TearDown() override
    {
        form.reset();
        client.reset();
        app.reset();
        DeleteClientIni();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    // The configuration as the main window leaves it: read, and the server address built.
    void Configure(const std::string& application, const std::string& network)
    {
        WriteClientIni("[Application]\r\n" + application + "[NetWork]\r\n" + network);
        ASSERT_TRUE(client->ReadSysinfo());
        SelectedServerURL(*SysInfo, ServerURL);
    }
    void OneSite(const std::string& application = "gid=1002\r\n")
    {
        Configure(application, "HostCount=1\r\nHostIdx=0\r\n" + Site(0, "本地", port));
    }
    void Open()
    {
        form = std::make_unique<TLoginForm>(nullptr);
        form->Show();
        ui::Activate(form->Handle());
    }
    HWND Control(const char* name) { return ui::FindByName(name, form->Handle()); }
    void Type(const char* name, const std::string& text) { TypeInto(Control(name), text); }
    void ClickLogin() { ui::Click(Control("loginbutton")); }
    Strings Commands(TFixture& f)
    {
        Strings out;
        for (const auto& r : f.Log())
            out.push_back(r.fields[2]);
        return out;
    }
    Strings Items(TComboBox* combo)
    {
        Strings out;
        for (const auto& s : combo->Items())
            out.push_back(s);
        return out;
    }

    int port = 0, port2 = 0;
    TFixture fixture;
    TFixture fixture2{PeerPort("VIDUDO_SERVER2_PORT")};
    std::unique_ptr<TApplication> app;
    std::unique_ptr<TClient> client;
    std::unique_ptr<TLoginForm> form;
    ui::MessageBoxRecorder boxes;
};

std::vector<std::string> Texts(const std::vector<TMessageBoxRequest>& seen)
{
    std::vector<std::string> out;
    for (const auto& b : seen)
        out.push_back(b.text);
    return out;
}

}  // namespace

TEST_F(LoginFormTest, SavedUserShownOnlyWhenRemembered)
{
    const struct {
        const char* application;
        bool checked;
        const char* user;
    } cases[] = {
        {"SaveUserEnabled=True\r\nUserName=80002\r\n", true, "80002"},
        {"SaveUserEnabled=false\r\nUserName=80002\r\n", false, ""},
        {"UserName=80002\r\n", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.application);
        OneSite(c.application);
        Open();
        EXPECT_EQ(c.checked, form->saveuser->Checked());
        EXPECT_EQ(c.user, ui::WindowText(Control("UserName")));
        form.reset();
    }
}

TEST_F(LoginFormTest, EditedConfigurationIsReadWhenTheWindowOpens)
{
    OneSite();
    // Edited after the main window read it: a second site, the user remembered.
    WriteClientIni("[Application]\r\ngid=1002\r\nSaveUserEnabled=True\r\nUserName=80002\r\n[NetWork]\r\n"
                   "HostCount=2\r\nHostIdx=1\r\n" + Site(0, "本地", port) + Site(1, "二号", port2));
    Open();
    EXPECT_EQ((Strings{"本地", "二号"}), Items(form->HostList));
    EXPECT_EQ(1, form->HostList->ItemIndex());
    EXPECT_EQ("80002", ui::WindowText(Control("UserName")));
}

TEST_F(LoginFormTest, BannerPaneShowsTheSitesLoginPage)
{
    OneSite();
    Open();
    const std::string page = "/plugins/futures/loginad.php";
    EXPECT_TRUE(ui::WaitFor([&] {
        for (const auto& p : fixture.Pages())
            if (p == page)
                return true;
        return false;
    }, 10000)) << "the fixture never saw " << page;
    EXPECT_EQ(form->Panel1->Handle(), GetParent(form->browser->Handle()));
}

TEST_F(LoginFormTest, AccountListWithTheGidPreselectedAndAnotherAccountChosen)
{
    OneSite("gid=1002\r\n");
    Open();
    EXPECT_EQ((Strings{"演示基金", "成长基金"}), Items(form->accountname));
    EXPECT_EQ((Strings{"1001", "1002"}), Items(form->accountvalue));
    EXPECT_EQ(1, form->accountname->ItemIndex());
    EXPECT_EQ(1, form->accountvalue->ItemIndex());
    EXPECT_EQ("成长基金", ui::WindowText(Control("accountname")));

    PickItem(Control("accountname"), 0);
    EXPECT_EQ(0, form->accountvalue->ItemIndex()) << "the hidden value list follows the name list";
    Type("UserName", " 80001 ");
    Type("Passwd", "123456 ");
    ClickLogin();
    EXPECT_EQ(mrOk, form->ModalResult());
    const auto log = fixture.Log();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("accountlist", log[0].fields[2]);
    EXPECT_EQ("WELCOME", log[1].fields[2]);
    EXPECT_EQ("LOGIN", log[2].fields[2]);
    EXPECT_EQ("80001", log[2].fields[0]) << "the trimmed user name goes out";
    EXPECT_EQ("123456", log[2].fields[1]);
    EXPECT_EQ("1001", log[2].fields[3]) << "the chosen account's value";
    EXPECT_EQ("1001", ClientIniKey("Application", "gid"));
    EXPECT_EQ("80001", SysInfo->LoginUser) << "the same trimmed pair as the server got";
    EXPECT_EQ("123456", SysInfo->LoginPasswd);
    EXPECT_EQ("张三", client->Khxx.Name);
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST_F(LoginFormTest, EmptyUserOrPasswordSavesAndSendsNothing)
{
    const struct {
        const char* user;
        const char* password;
    } cases[] = {{"80001", ""}, {"", "123456"}, {"   ", "123456"}};
    for (const auto& c : cases) {
        OneSite("gid=1001\r\nSaveUserEnabled=false\r\n");
        fixture.Reset();
        Open();
        Type("UserName", c.user);
        Type("Passwd", c.password);
        ui::Click(Control("saveuser"));
        ClickLogin();
        EXPECT_EQ((Strings{"accountlist"}), Commands(fixture)) << "user \"" << c.user << "\"";
        EXPECT_EQ(mrNone, form->ModalResult());
        EXPECT_TRUE(IsWindowVisible(form->Handle()));
        EXPECT_EQ("True", ClientIniKey("Application", "SaveUserEnabled"));
        EXPECT_EQ(Trim(c.user), ClientIniKey("Application", "UserName")) << "the file keeps no outer blanks";
        EXPECT_EQ("1001", ClientIniKey("Application", "gid"));
        EXPECT_EQ("0", ClientIniKey("NetWork", "HostIdx"));
        EXPECT_TRUE(boxes.Seen.empty());
        form.reset();
    }
}

TEST_F(LoginFormTest, TheChosenSiteGetsTheWholeLogin)
{
    Configure("gid=1001\r\n", "HostCount=2\r\nHostIdx=0\r\n" + Site(0, "一号站", port2) + Site(1, "二号站", port));
    Open();
    EXPECT_EQ((Strings{"accountlist"}), Commands(fixture2));
    PickItem(Control("HostList"), 1);
    EXPECT_EQ(FixtureURL(port), ServerURL) << "the session points at the chosen site at once";
    EXPECT_EQ((Strings{"演示基金", "成长基金"}), Items(form->accountname));
    Type("UserName", "80002");
    Type("Passwd", "654321");
    ClickLogin();
    EXPECT_EQ(mrOk, form->ModalResult());
    EXPECT_EQ((Strings{"accountlist", "WELCOME", "LOGIN"}), Commands(fixture));
    EXPECT_EQ((Strings{"accountlist"}), Commands(fixture2)) << "nothing else went to the first site";
    EXPECT_EQ("1", ClientIniKey("NetWork", "HostIdx"));
}

TEST_F(LoginFormTest, ServerMessageKeepsTheWindowOpen)
{
    OneSite();
    Open();
    Type("UserName", "80001");
    Type("Passwd", "wrong");
    ClickLogin();
    EXPECT_EQ((Strings{"用户名或密码错误"}), Texts(boxes.Seen));
    EXPECT_EQ(mrNone, form->ModalResult());
    EXPECT_TRUE(SysInfo->LoginUser.empty());
    // Another try in the same window.
    Type("Passwd", "123456");
    ClickLogin();
    EXPECT_EQ(mrOk, form->ModalResult());
}

TEST_F(LoginFormTest, FailedOrGarbledAccountListLeavesEmptyLists)
{
    const char* scripts[] = {R"({"ACCOUNTLIST": [{"corrupt": "zlib"}]})", R"({"ACCOUNTLIST": [{"corrupt": "base64"}]})",
                             R"({"ACCOUNTLIST": [{"status": 500}]})", R"({"ACCOUNTLIST": [{"close": true}]})"};
    for (const char* script : scripts) {
        OneSite();
        fixture.Reset();
        fixture.Script(script);
        boxes.Seen.clear();
        Open();
        EXPECT_EQ((Strings{kFailed}), Texts(boxes.Seen)) << script;
        EXPECT_EQ(0, form->accountname->Items().Count()) << script;
        EXPECT_EQ(0, form->accountvalue->Items().Count()) << script;
        // Without an account nothing is saved or sent.
        Type("UserName", "80001");
        Type("Passwd", "123456");
        ClickLogin();
        EXPECT_EQ((Strings{"accountlist"}), Commands(fixture)) << script;
        EXPECT_EQ(mrNone, form->ModalResult());
        form.reset();
    }
}

TEST_F(LoginFormTest, NoUsableSiteSendsNothing)
{
    const struct {
        const char* what;
        std::string network;
    } cases[] = {
        {"no sites", "HostCount=0\r\n"},
        {"HostIdx past the sites", "HostCount=1\r\nHostIdx=3\r\n" + Site(0, "本地", port)},
        {"negative HostIdx", "HostCount=1\r\nHostIdx=-1\r\n" + Site(0, "本地", port)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixture.Reset();
        Configure("gid=1001\r\n", c.network);
        Open();
        EXPECT_EQ(-1, form->HostList->ItemIndex());
        EXPECT_EQ(0, form->accountname->Items().Count());
        Type("UserName", "80001");
        Type("Passwd", "123456");
        ClickLogin();
        EXPECT_TRUE(fixture.Log().empty());
        EXPECT_EQ(mrNone, form->ModalResult());
        EXPECT_TRUE(boxes.Seen.empty());
        form.reset();
    }
}

TEST_F(LoginFormTest, KeysMoveBetweenTheFieldsWithHints)
{
    OneSite();
    Open();
    ui::Activate(Control("UserName"));
    EXPECT_EQ("请输入资金帐号", form->StatusBar1->SimpleText());
    ui::PressKey(VK_RETURN);
    EXPECT_EQ("Passwd", FocusedName());
    EXPECT_EQ("请输入密码", form->StatusBar1->SimpleText());
    ui::PressKey(VK_UP);
    EXPECT_EQ("UserName", FocusedName());
    ui::PressKey(VK_DOWN);
    EXPECT_EQ("Passwd", FocusedName());
    ui::PressKey(VK_DOWN);
    EXPECT_EQ("loginbutton", FocusedName());
    ui::Activate(Control("UserName"));
    ui::PressKey(VK_UP);
    EXPECT_EQ("HostList", FocusedName());
    EXPECT_EQ(0, form->HostList->ItemIndex()) << "the key moved the focus, not the site";
    Type("UserName", "80001");
    ui::PressKey(VK_RETURN);
    ui::TypeText("123456");
    ui::PressKey(VK_RETURN);
    EXPECT_EQ(mrOk, form->ModalResult()) << "Enter in the password clicks 登录";
}

TEST_F(LoginFormTest, RememberTickSurvivesTheProxyDialog)
{
    OneSite("gid=1001\r\nSaveUserEnabled=false\r\n");
    Open();
    ui::Click(Control("saveuser"));
    ASSERT_TRUE(form->saveuser->Checked());
    // The proxy dialog rereads the file, where the switch is still off.
    bool sawDialog = false;
    Later([&] {
        HWND proxy = WaitForNamed("ProxyForm");
        sawDialog = proxy != nullptr;
        if (proxy) {
            ui::Click(ui::FindByName("BitBtn2", proxy));
            EndModal(proxy);
        }
    });
    ui::Click(Control("Button2"));
    ui::WaitFor([&] { return sawDialog && !ui::FindByName("ProxyForm"); });
    ASSERT_TRUE(sawDialog);
    EXPECT_FALSE(SysInfo->SaveUserEnabled) << "the reread took the file's value";
    Type("UserName", "80001");
    Type("Passwd", "123456");
    ClickLogin();
    EXPECT_EQ(mrOk, form->ModalResult());
    EXPECT_EQ("True", ClientIniKey("Application", "SaveUserEnabled"));
    EXPECT_EQ("80001", ClientIniKey("Application", "UserName"));
}

TEST_F(LoginFormTest, CorrectedAddressWorksWithoutARestart)
{
    Configure("gid=1001\r\n", "HostCount=1\r\nHostIdx=0\r\n" + Site(0, "本地", PeerPort("VIDUDO_CLOSED_PORT")));
    Open();
    EXPECT_EQ((Strings{kFailed}), Texts(boxes.Seen));
    EXPECT_EQ(0, form->accountname->Items().Count());
    bool edited = false;
    Later([&] {
        HWND dialog = WaitForNamed("NetSetForm");
        if (!dialog)
            return;
        TypeInto(ui::FindByName("Port", dialog), IntToStr(port));
        ui::Click(ui::FindByName("BitBtn1", dialog));
        edited = EndModal(dialog);
    });
    ui::Click(Control("Button1"));
    ui::WaitFor([&] { return edited && !ui::FindByName("NetSetForm"); });
    ASSERT_TRUE(edited);
    EXPECT_EQ(IntToStr(port), ClientIniKey("NetWork", "Port0"));
    EXPECT_EQ((Strings{"演示基金", "成长基金"}), Items(form->accountname)) << "fetched again from the new address";
    EXPECT_EQ(1, form->HostList->Items().Count()) << "the site list was refilled, not appended to";
    Type("UserName", "80001");
    Type("Passwd", "123456");
    ClickLogin();
    EXPECT_EQ(mrOk, form->ModalResult());
}

TEST_F(LoginFormTest, LoginThroughTheProxySetInTheDialog)
{
    const int socks5 = PeerPort("VIDUDO_SOCKS5_PORT");
    ASSERT_NE(0, socks5);
    OneSite();
    Open();
    bool set = false;
    Later([&] {
        HWND dialog = WaitForNamed("ProxyForm");
        if (!dialog)
            return;
        ui::Click(ui::FindByName("ProxyEnabled", dialog));
        ui::Click(ui::FindByName("Socks5", dialog));
        TypeInto(ui::FindByName("ProxyServer", dialog), "127.0.0.1");
        TypeInto(ui::FindByName("ProxyPort", dialog), IntToStr(socks5));
        ui::Click(ui::FindByName("BitBtn1", dialog));
        set = EndModal(dialog);
    });
    ui::Click(Control("Button2"));
    ui::WaitFor([&] { return set && !ui::FindByName("ProxyForm"); });
    ASSERT_TRUE(set);
    EXPECT_EQ("True", ClientIniKey("Application", "ProxyEnabled"));
    Type("UserName", "80001");
    Type("Passwd", "123456");
    ClickLogin();
    EXPECT_EQ(mrOk, form->ModalResult());
    const auto log = fixture.Log();
    ASSERT_EQ(3u, log.size());
    EXPECT_EQ("127.0.0.1", log[0].peer) << "the account list was asked before the proxy was set";
    EXPECT_EQ("127.0.0.2", log[1].peer) << "WELCOME through microsocks";
    EXPECT_EQ("127.0.0.2", log[2].peer) << "LOGIN through microsocks";
}

TEST_F(LoginFormTest, RegistrationPageOpensThroughTheShell)
{
    const TShellOpenRecorder shell;
    ASSERT_TRUE(shell.Installed()) << "GetLastError=" << GetLastError();
    OneSite();
    Open();
    ui::Click(Control("Label1"));
    const std::string opened = shell.WaitForOpened();
    EXPECT_EQ("http://127.0.0.1:" + IntToStr(port) + "/do.php?ac=5d0e9a7c41b38f26e0c4a9d17b52f38e", opened);
}
