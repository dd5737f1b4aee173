// The mail-exchanger lookup under Wine inside the network namespace of dns_netns.py, which
// owns port 53 and the resolver list; its rounds pick the tests by name.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "crashreport/delivery/ESmtp.h"

namespace {

std::vector<std::string> Servers()
{
    const TStringList list = ListDnsServers();
    return std::vector<std::string>(list.begin(), list.end());
}

std::string LookupError(const char* address, unsigned budget)
{
    try {
        return "resolved to " + ResolveMailExchanger(address, budget);
    } catch (const EVurazaSocketError& e) {
        return e.Message();
    }
}

}  // namespace

TEST(MailExchangerResolvers, ServerListSkipsTheEmptyAddress)
{
    EXPECT_EQ((std::vector<std::string>{"127.0.0.1", "127.0.0.3", "127.0.0.254"}), Servers());
    EXPECT_STREQ("127.0.0.254", FallbackDnsServer());
}

TEST(MailExchangerResolvers, DnsmasqAnswers)
{
    const DWORD start = GetTickCount();
    EXPECT_EQ("mx.x.test", ResolveMailExchanger("support@x.test", 3000));
    EXPECT_LT(GetTickCount() - start, 3000u);
}

TEST(MailExchangerResolvers, AnAliasIsNoExchanger)
{
    // dnsmasq: no such domain; the crafted responder: a CNAME only; the fallback: silence.
    EXPECT_EQ("Cannot resolve the \"cname.test\" MX record.", LookupError("a@cname.test", 900));
}

TEST(MailExchangerResolvers, UnresolvableHost)
{
    TVurazaClientSocket socket("no-such-host.invalid", 1000, true, 25);
    try {
        socket.Connect();
        ADD_FAILURE() << "connected";
    } catch (const EVurazaSocketError& e) {
        EXPECT_EQ("Unable to resolve host \"no-such-host.invalid\".", e.Message());
    }
}

TEST(MailExchangerSilent, EachServerIsAskedThreeTimes)
{
    EXPECT_EQ((std::vector<std::string>{"127.0.0.2", "127.0.0.254"}), Servers());
    const DWORD start = GetTickCount();
    EXPECT_EQ("Cannot resolve the \"x.test\" MX record.", LookupError("a@x.test", 3000));
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 6500u);
    EXPECT_LT(took, 9000u);
}
