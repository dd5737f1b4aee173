#include <gtest/gtest.h>

#include "trading/windows/SiteRules.h"

namespace {

TSysInfo Sites(std::initializer_list<std::pair<const char*, const char*>> sites)
{
    TSysInfo info;
    for (const auto& [host, port] : sites) {
        info.HostNames.Add("site");
        info.Hosts.Add(host);
        info.Ports.Add(port);
    }
    info.HostCount = info.HostNames.Count();
    return info;
}

}  // namespace

TEST(SiteRules, Ports)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"80", true},     {"1", true},       {"65535", true},  {" 8080 ", true}, {"\t443", true},
        {"", false},      {"  ", false},     {"0", false},     {"65536", false}, {"99999", false},
        {"123456", false}, {"-1", false},    {"+80", false},   {"$50", false},   {"80a", false},
        {"8.0", false},   {"8 0", false},    {"0x50", false},  {"00080", true},  {"4294967377", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, IsValidPort(c.text)) << "port \"" << c.text << "\"";
}

TEST(SiteRules, Hosts)
{
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"127.0.0.1", true},      {" trade.example.com ", true}, {"localhost", true},
        {"交易站", true},          {"\x81\x40host", true},  // '@' as a GBK trail byte is no '@'
        {"", false},              {"   ", false},               {"a/b", false},
        {"user@host", false},     {"host:80", false},           {"two words", false},
        {"tab\there", false},     {"evil.com/x?", false},       {"[::1]", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.valid, IsValidHost(c.text)) << "host \"" << c.text << "\"";
}

TEST(SiteRules, ProxyTypeIgnoresCaseAndDefaultsToSocks5)
{
    const struct {
        const char* text;
        bool socks4;
    } cases[] = {
        {"Socks4", true}, {"SOCKS4", true}, {"socks4", true}, {"Socks5", false},
        {"socks5", false}, {"", false},     {"Socks 4", false}, {"http", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.socks4, IsSocks4ProxyType(c.text)) << "type \"" << c.text << "\"";
    EXPECT_STREQ("Socks4", ProxyTypeName(true));
    EXPECT_STREQ("Socks5", ProxyTypeName(false));
}

TEST(SiteRules, ServerURLOfTheSelectedSite)
{
    TSysInfo info = Sites({{"127.0.0.1", "8080"}, {" 10.0.0.2 ", " 81 "}});
    std::string url = "unchanged";
    info.HostIdx = 1;
    ASSERT_TRUE(SelectedServerURL(info, url));
    EXPECT_EQ("http://10.0.0.2:81/simulate_futures_app_server.php", url);
    info.HostIdx = 0;
    ASSERT_TRUE(SelectedServerURL(info, url));
    EXPECT_EQ("http://127.0.0.1:8080/simulate_futures_app_server.php", url);
}

TEST(SiteRules, NoURLWithoutAUsableSite)
{
    const struct {
        TSysInfo info;
        int index;
        const char* why;
    } cases[] = {
        {Sites({}), 0, "no sites"},
        {Sites({{"127.0.0.1", "80"}}), 1, "index past the lists"},
        {Sites({{"127.0.0.1", "80"}}), -1, "negative index"},
        {Sites({{"127.0.0.1", "80"}}), 1000000, "far past the lists"},
        {Sites({{"", "80"}}), 0, "empty host"},
        {Sites({{"a.com/x", "80"}}), 0, "host with a path"},
        {Sites({{"127.0.0.1", "0"}}), 0, "port 0"},
        {Sites({{"127.0.0.1", "80x"}}), 0, "port with a letter"},
    };
    for (auto c : cases) {
        c.info.HostIdx = c.index;
        std::string url = "unchanged";
        EXPECT_FALSE(SelectedServerURL(c.info, url)) << c.why;
        EXPECT_EQ("unchanged", url) << c.why;
    }
    // Lists of different lengths (a half-edited object): never index past the shorter.
    TSysInfo ragged = Sites({{"127.0.0.1", "80"}});
    ragged.Hosts.Add("10.0.0.1");
    ragged.HostIdx = 1;
    std::string url;
    EXPECT_FALSE(SelectedServerURL(ragged, url));
}
