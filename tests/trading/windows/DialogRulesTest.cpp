#include <gtest/gtest.h>

#include "trading/windows/DialogRules.h"

namespace {

TSysInfo OneSite()
{
    TSysInfo info;
    info.HostNames.Add("主站");
    info.Hosts.Add("10.0.0.1");
    info.Ports.Add("80");
    info.HostCount = 1;
    return info;
}

}  // namespace

TEST(DialogRules, SiteAddress)
{
    const struct {
        const char* host;
        const char* port;
        const char* message;
        TSiteField focus;
    } cases[] = {
        {"", "80", "IP地址不能为空", TSiteField::Host},
        {"  ", "80", "IP地址不能为空", TSiteField::Host},
        {"a.com/x", "80", "格式错误", TSiteField::Host},
        {"u@a.com", "80", "格式错误", TSiteField::Host},
        {"127.0.0.1", "", "端口号非法", TSiteField::Port},
        {"127.0.0.1", "80a", "端口号非法", TSiteField::Port},
        {"127.0.0.1", "70000", "端口号非法", TSiteField::Port},
        {"127.0.0.1", "$50", "端口号非法", TSiteField::Port},
    };
    for (const auto& c : cases) {
        TSysInfo info = OneSite();
        const TSiteCheck check = StoreSiteAddress(info, 0, c.host, c.port);
        EXPECT_EQ(c.message, check.message) << c.host << " " << c.port;
        EXPECT_EQ(c.focus, check.focus) << c.host << " " << c.port;
        EXPECT_EQ("10.0.0.1", info.Hosts[0]) << "nothing stored for " << c.host << " " << c.port;
        EXPECT_EQ("80", info.Ports[0]);
    }
    TSysInfo info = OneSite();
    EXPECT_EQ("", StoreSiteAddress(info, 0, " 127.0.0.1 ", " 8080 ").message);
    EXPECT_EQ("127.0.0.1", info.Hosts[0]);
    EXPECT_EQ("8080", info.Ports[0]);
    // No site selected: accepted, nothing stored, nothing indexed.
    for (int index : {-1, 1, 7}) {
        TSysInfo none = OneSite();
        EXPECT_EQ("", StoreSiteAddress(none, index, "1.2.3.4", "81").message);
        EXPECT_EQ(1, none.Hosts.Count());
        EXPECT_EQ("10.0.0.1", none.Hosts[0]);
    }
}

TEST(DialogRules, AddSite)
{
    const struct {
        const char* name;
        const char* host;
        const char* port;
        const char* message;
    } bad[] = {
        {"", "1.2.3.4", "80", "格式错误"},     {"新站", "", "80", "格式错误"},
        {" ", "1.2.3.4", "80", "格式错误"},    {"新站", "1.2.3.4/x", "80", "格式错误"},
        {"新站", "1.2.3.4", "", "格式错误"},   {"新站", "1.2.3.4", "80a", "端口错误"},
        {"新站", "1.2.3.4", "0", "端口错误"},  {"新站", "1.2.3.4", "65536", "端口错误"},
    };
    for (const auto& c : bad) {
        TSysInfo info = OneSite();
        EXPECT_EQ(c.message, AddSite(info, c.name, c.host, c.port)) << c.name << " " << c.host << " " << c.port;
        EXPECT_EQ(1, info.HostCount);
        EXPECT_EQ(1, info.HostNames.Count());
        EXPECT_EQ(1, info.Hosts.Count());
        EXPECT_EQ(1, info.Ports.Count());
    }
    TSysInfo info = OneSite();
    EXPECT_EQ("", AddSite(info, " 新站 ", " 1.2.3.4 ", " 8080 "));
    EXPECT_EQ(2, info.HostCount);
    EXPECT_EQ("新站", info.HostNames[1]);
    EXPECT_EQ("1.2.3.4", info.Hosts[1]);
    EXPECT_EQ("8080", info.Ports[1]);
}

TEST(DialogRules, ProxyOnWithBadInputStoresNothing)
{
    const struct {
        const char* server;
        const char* port;
        const char* message;
        TSiteField focus;
    } cases[] = {
        {"", "1080", "IP地址不能为空", TSiteField::Host},
        {"proxy:1080", "1080", "格式错误", TSiteField::Host},
        {"127.0.0.1", "abc", "端口号非法", TSiteField::Port},
        {"127.0.0.1", "", "端口号非法", TSiteField::Port},
    };
    for (const auto& c : cases) {
        TSysInfo info;
        info.ProxyServer = "old";
        info.ProxyPort = "1";
        TProxyInput in{true, true, c.server, c.port, "u", "p"};
        const TProxyCheck check = StoreProxy(info, in);
        EXPECT_EQ(c.message, check.message) << c.server << " " << c.port;
        EXPECT_EQ(c.focus, check.focus);
        EXPECT_FALSE(info.ProxyEnabled);
        EXPECT_EQ("old", info.ProxyServer);
        EXPECT_EQ("", info.ProxyType);
    }
}

TEST(DialogRules, ProxyOffAlwaysSticks)
{
    TSysInfo info;
    info.ProxyEnabled = true;
    info.ProxyServer = "old";
    EXPECT_EQ("", StoreProxy(info, {false, false, "", "", "", ""}).message);
    EXPECT_FALSE(info.ProxyEnabled) << "an empty server must not keep the proxy on";
    EXPECT_EQ("old", info.ProxyServer);
}

TEST(DialogRules, ProxyGoodInputStoresEveryField)
{
    TSysInfo info;
    EXPECT_EQ("", StoreProxy(info, {true, false, " 127.0.0.1 ", " 1080 ", " vidudo ", "s3cret "}).message);
    EXPECT_TRUE(info.ProxyEnabled);
    EXPECT_EQ("Socks5", info.ProxyType);
    EXPECT_EQ("127.0.0.1", info.ProxyServer);
    EXPECT_EQ("1080", info.ProxyPort);
    EXPECT_EQ(" vidudo ", info.ProxyUserName) << "user and password as typed";
    EXPECT_EQ("s3cret ", info.ProxyPasswd);
    StoreProxy(info, {false, true, "127.0.0.1", "1081", "", ""});
    EXPECT_FALSE(info.ProxyEnabled);
    EXPECT_EQ("Socks4", info.ProxyType);
    EXPECT_EQ("1081", info.ProxyPort);
}
