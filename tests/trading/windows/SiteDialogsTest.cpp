// The site, add-site and proxy dialogs under Xvfb: their boxes for bad input and the keys of
// "Client.ini" after good input.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "TradingWindowsTest.h"
#include "tests/support/UiDriver.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/AddNetUnit.h"
#include "trading/windows/NetSetUnit.h"
#include "trading/windows/ProxyUnit.h"

namespace {

const char kTwoSites[] =
    "[Application]\r\nSaveUserEnabled=False\r\n"
    "[NetWork]\r\nHostCount=2\r\nHostIdx=0\r\n"
    "HostName0=一号站\r\nHost0=10.0.0.1\r\nPort0=8001\r\n"
    "HostName1=二号站\r\nHost1=10.0.0.2\r\nPort1=8002\r\n"
    "ProxyType=Socks5\r\nProxyServer=10.9.9.9\r\nProxyPort=1080\r\nProxyUserName=old\r\nProxyPasswd=oldpw\r\n";

class SiteDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app = std::make_unique<TApplication>();
        client = std::make_unique<TClient>();
        *SysInfo = TSysInfo();
        Reset(kTwoSites);
    }
    void TearDown() override
    {
        client.reset();
        app.reset();
        DeleteClientIni();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void Reset(const std::string& ini)
    {
        WriteClientIni(ini);
        ASSERT_TRUE(client->ReadSysinfo());
        boxes.Seen.clear();
    }
    template <class T>
    std::unique_ptr<T> Open()
    {
        auto form = std::make_unique<T>(nullptr);
        form->Show();
        ui::Activate(form->Handle());
        return form;
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> out;
        for (const auto& b : boxes.Seen)
            out.push_back(b.text);
        return out;
    }

    std::unique_ptr<TApplication> app;
    std::unique_ptr<TClient> client;
    ui::MessageBoxRecorder boxes;
};

using Strings = std::vector<std::string>;

}  // namespace

TEST_F(SiteDialogsTest, EveryDialogIsABorderedDialogWithTheFlatLook)
{
    auto check = [](TForm& form, TXPMenu* xp, const char* caption) {
        form.HandleNeeded();
        EXPECT_EQ(caption, ui::WindowText(form.Handle()));
        const LONG style = GetWindowLongW(form.Handle(), GWL_STYLE);
        EXPECT_FALSE(style & WS_THICKFRAME) << caption << ": a dialog is not sizeable";
        EXPECT_TRUE(style & WS_CAPTION) << caption;
        ASSERT_NE(nullptr, xp) << caption;
        EXPECT_TRUE(xp->Active()) << caption;
        EXPECT_EQ(&form, xp->Form()) << caption;
        EXPECT_EQ("XPMenu1", xp->Name());
    };
    TNetSetForm net(nullptr);
    check(net, net.XPMenu1, "修改网络");
    TAddNetForm add(nullptr);
    check(add, add.XPMenu1, "增加站点");
    TProxyForm proxy(nullptr);
    check(proxy, proxy.XPMenu1, "设置代理服务器");
}

TEST_F(SiteDialogsTest, SiteDialogReadsTheFileAsItIsWhenItOpens)
{
    // Edited behind the program's back: a third site.
    WriteClientIni("[NetWork]\r\nHostCount=3\r\nHostIdx=0\r\nHostName0=一号站\r\nHost0=10.0.0.1\r\nPort0=8001\r\n"
                   "HostName1=二号站\r\nHost1=10.0.0.2\r\nPort1=8002\r\nHostName2=三号站\r\nHost2=10.0.0.3\r\n"
                   "Port2=8003\r\n");
    auto form = Open<TNetSetForm>();
    Strings names;
    for (const auto& s : form->HostList->Items())
        names.push_back(s);
    EXPECT_EQ((Strings{"一号站", "二号站", "三号站"}), names);
    EXPECT_EQ(3, SysInfo->HostCount);
}

TEST_F(SiteDialogsTest, SiteDialogRefusesBadInputAndStaysOpen)
{
    const struct {
        const char* host;
        const char* port;
        const char* message;
        const char* focus;
    } cases[] = {
        {"", "8001", "IP地址不能为空", "HOST"},
        {"   ", "8001", "IP地址不能为空", "HOST"},
        {"10.0.0.1/x", "8001", "格式错误", "HOST"},
        {"a@b", "8001", "格式错误", "HOST"},
        {"10.0.0.1", "80a", "端口号非法", "Port"},
        {"10.0.0.1", "70000", "端口号非法", "Port"},
        {"10.0.0.1", "", "端口号非法", "Port"},
    };
    for (const auto& c : cases) {
        Reset(kTwoSites);
        auto form = Open<TNetSetForm>();
        TypeInto(ui::FindByName("HOST", form->Handle()), c.host);
        TypeInto(ui::FindByName("Port", form->Handle()), c.port);
        ui::Click(ui::FindByName("BitBtn1", form->Handle()));
        EXPECT_EQ((Strings{c.message}), Texts()) << c.host << " " << c.port;
        EXPECT_EQ(c.focus, FocusedName()) << c.host << " " << c.port;
        EXPECT_EQ(mrNone, form->ModalResult()) << c.host << " " << c.port;
        EXPECT_EQ("10.0.0.1", ClientIniKey("NetWork", "Host0"));
        EXPECT_EQ("8001", ClientIniKey("NetWork", "Port0"));
    }
}

TEST_F(SiteDialogsTest, SiteDialogStoresTheChosenSiteTrimmed)
{
    auto form = Open<TNetSetForm>();
    EXPECT_EQ(0, form->HostList->ItemIndex());
    EXPECT_EQ("10.0.0.1", ui::WindowText(ui::FindByName("HOST", form->Handle())));
    PickItem(ui::FindByName("HostList", form->Handle()), 1);
    EXPECT_EQ("10.0.0.2", ui::WindowText(ui::FindByName("HOST", form->Handle())));
    EXPECT_EQ("8002", ui::WindowText(ui::FindByName("Port", form->Handle())));
    TypeInto(ui::FindByName("HOST", form->Handle()), " 127.0.0.1 ");
    TypeInto(ui::FindByName("Port", form->Handle()), " 9000 ");
    ui::Click(ui::FindByName("BitBtn1", form->Handle()));
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ(mrOk, form->ModalResult());
    EXPECT_EQ("127.0.0.1", ClientIniKey("NetWork", "Host1"));
    EXPECT_EQ("9000", ClientIniKey("NetWork", "Port1"));
    EXPECT_EQ("10.0.0.1", ClientIniKey("NetWork", "Host0"));
    EXPECT_EQ("0", ClientIniKey("NetWork", "HostIdx")) << "the session's site is chosen at login";
}

TEST_F(SiteDialogsTest, AddSiteRefusesBadInputAndCloses)
{
    const struct {
        const char* name;
        const char* host;
        const char* port;
        const char* message;
    } cases[] = {
        {"", "10.0.0.3", "8003", "格式错误"},    {"三号站", "", "8003", "格式错误"},
        {"三号站", "10.0.0.3:1", "8003", "格式错误"}, {"三号站", "10.0.0.3", "", "格式错误"},
        {"三号站", "10.0.0.3", "80a", "端口错误"},  {"三号站", "10.0.0.3", "0", "端口错误"},
    };
    for (const auto& c : cases) {
        Reset(kTwoSites);
        auto form = Open<TAddNetForm>();
        TypeInto(ui::FindByName("HostName", form->Handle()), c.name);
        TypeInto(ui::FindByName("Host", form->Handle()), c.host);
        TypeInto(ui::FindByName("Port", form->Handle()), c.port);
        ui::Click(ui::FindByName("BitBtn1", form->Handle()));
        EXPECT_EQ((Strings{c.message}), Texts()) << c.name << " " << c.host << " " << c.port;
        EXPECT_EQ(mrOk, form->ModalResult()) << "closes either way";
        EXPECT_EQ("2", ClientIniKey("NetWork", "HostCount"));
        EXPECT_EQ("<none>", ClientIniKey("NetWork", "HostName2"));
    }
}

TEST_F(SiteDialogsTest, AddSiteFromTheSiteDialog)
{
    auto form = Open<TNetSetForm>();
    bool added = false;
    Later([&] {
        HWND dialog = WaitForNamed("AddNetForm");
        if (!dialog)
            return;
        TypeInto(ui::FindByName("HostName", dialog), " 三号站 ");
        TypeInto(ui::FindByName("Host", dialog), " 10.0.0.3 ");
        TypeInto(ui::FindByName("Port", dialog), "8080 ");
        ui::Click(ui::FindByName("BitBtn1", dialog));
        added = EndModal(dialog);
    });
    ui::Click(ui::FindByName("BitBtn2", form->Handle()));
    ui::WaitFor([&] { return added && !ui::FindByName("AddNetForm"); });
    ASSERT_TRUE(added);
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ("3", ClientIniKey("NetWork", "HostCount"));
    EXPECT_EQ("三号站", ClientIniKey("NetWork", "HostName2"));
    EXPECT_EQ("10.0.0.3", ClientIniKey("NetWork", "Host2"));
    EXPECT_EQ("8080", ClientIniKey("NetWork", "Port2"));
    EXPECT_EQ(3, SysInfo->HostCount);
    std::vector<std::string> items(form->HostList->Items().begin(), form->HostList->Items().end());
    EXPECT_EQ((Strings{"一号站", "二号站", "三号站"}), items) << "refilled, not appended to";
}

TEST_F(SiteDialogsTest, ProxyDialogShowsTheSettings)
{
    const struct {
        const char* type;
        bool socks4;
    } cases[] = {{"Socks4", true}, {"SOCKS4", true}, {"socks4", true}, {"Socks5", false}, {"Socks9", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        SysInfo->ProxyType = c.type;
        SysInfo->ProxyEnabled = true;
        auto form = Open<TProxyForm>();
        EXPECT_EQ(c.socks4, form->Socks4->Checked());
        EXPECT_EQ(!c.socks4, form->Socks5->Checked());
        EXPECT_TRUE(form->ProxyEnabled->Checked());
        EXPECT_EQ("10.9.9.9", ui::WindowText(ui::FindByName("ProxyServer", form->Handle())));
        EXPECT_EQ("old", ui::WindowText(ui::FindByName("ProxyUserName", form->Handle())));
    }
}

TEST_F(SiteDialogsTest, ProxyDialogWithTheSwitchOnRefusesBadInput)
{
    const struct {
        const char* server;
        const char* port;
        const char* message;
        const char* focus;
    } cases[] = {
        {"", "1080", "IP地址不能为空", "ProxyServer"},
        {"proxy host", "1080", "格式错误", "ProxyServer"},
        {"127.0.0.1", "abc", "端口号非法", "ProxyPort"},
        {"127.0.0.1", "", "端口号非法", "ProxyPort"},
    };
    for (const auto& c : cases) {
        Reset(kTwoSites);
        auto form = Open<TProxyForm>();
        ui::Click(ui::FindByName("ProxyEnabled", form->Handle()));
        ASSERT_TRUE(form->ProxyEnabled->Checked());
        TypeInto(ui::FindByName("ProxyServer", form->Handle()), c.server);
        TypeInto(ui::FindByName("ProxyPort", form->Handle()), c.port);
        ui::Click(ui::FindByName("BitBtn1", form->Handle()));
        EXPECT_EQ((Strings{c.message}), Texts()) << c.server << " " << c.port;
        EXPECT_EQ(c.focus, FocusedName()) << c.server << " " << c.port;
        EXPECT_EQ(mrNone, form->ModalResult()) << "stays open, nothing pretends to be saved";
        EXPECT_NE("True", ClientIniKey("Application", "ProxyEnabled"));
        EXPECT_EQ("10.9.9.9", ClientIniKey("NetWork", "ProxyServer"));
    }
}

TEST_F(SiteDialogsTest, ProxyDialogAlwaysStoresTheSwitchOff)
{
    std::string ini = kTwoSites;
    ini.insert(ini.find("SaveUserEnabled"), "ProxyEnabled=True\r\n");
    Reset(ini);
    ASSERT_TRUE(SysInfo->ProxyEnabled);
    auto form = Open<TProxyForm>();
    ui::Click(ui::FindByName("ProxyEnabled", form->Handle()));
    ASSERT_FALSE(form->ProxyEnabled->Checked());
    TypeInto(ui::FindByName("ProxyServer", form->Handle()), "");
    ui::Click(ui::FindByName("BitBtn1", form->Handle()));
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ(mrOk, form->ModalResult());
    EXPECT_EQ("False", ClientIniKey("Application", "ProxyEnabled"));
    EXPECT_EQ("10.9.9.9", ClientIniKey("NetWork", "ProxyServer")) << "the rest of the bad input is not stored";
}

TEST_F(SiteDialogsTest, ProxyDialogStoresGoodInput)
{
    auto form = Open<TProxyForm>();
    ui::Click(ui::FindByName("ProxyEnabled", form->Handle()));
    ui::Click(ui::FindByName("Socks4", form->Handle()));
    TypeInto(ui::FindByName("ProxyServer", form->Handle()), " 127.0.0.1 ");
    TypeInto(ui::FindByName("ProxyPort", form->Handle()), "1081 ");
    TypeInto(ui::FindByName("ProxyUserName", form->Handle()), "vidudo");
    TypeInto(ui::FindByName("ProxyPassWd", form->Handle()), "s3cret");
    EXPECT_EQ('*', static_cast<char>(SendMessageW(ui::FindByName("ProxyPassWd", form->Handle()), EM_GETPASSWORDCHAR, 0, 0)));
    ui::Click(ui::FindByName("BitBtn1", form->Handle()));
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_EQ(mrOk, form->ModalResult());
    EXPECT_EQ("True", ClientIniKey("Application", "ProxyEnabled"));
    EXPECT_EQ("Socks4", ClientIniKey("NetWork", "ProxyType"));
    EXPECT_EQ("127.0.0.1", ClientIniKey("NetWork", "ProxyServer"));
    EXPECT_EQ("1081", ClientIniKey("NetWork", "ProxyPort"));
    EXPECT_EQ("vidudo", ClientIniKey("NetWork", "ProxyUSerName"));
    EXPECT_EQ("s3cret", ClientIniKey("NetWork", "ProxyPasswd"));
}
