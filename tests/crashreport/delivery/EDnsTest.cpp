#include <gtest/gtest.h>

#include <string>

#include "crashreport/delivery/EDns.h"

using namespace std::string_literals;

namespace {

const std::string kQuestion = "\x41\x41\x81\x80\x00\x01\x00\x01\x00\x00\x00\x00"
                              "\x01x\x04test\x00\x00\x0F\x00\x01"s;  // name at offset 12

std::string Answer(const std::string& name, uint16_t type, const std::string& data)
{
    std::string a = name + "\x00"s + static_cast<char>(type) + "\x00\x01\x00\x00\x0E\x10"s;
    a += static_cast<char>(data.size() >> 8);
    a += static_cast<char>(data.size() & 0xFF);
    return a + data;
}

}  // namespace

TEST(Dns, BuildMxQuery)
{
    EXPECT_EQ("\x41\x41\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x07"
              "example\x03"
              "com\x00\x00\x0F\x00\x01"s,
              BuildMxQuery("example.com"));
    const std::string domain = MailDomainOf("a@mail.sub.x.test");
    EXPECT_EQ("mail.sub.x.test", domain);
    EXPECT_EQ("\x04mail\x03sub\x01x\x04test\x00"s, EncodeDnsName(domain));
    EXPECT_EQ("x.test", MailDomainOf("x.test"));
    EXPECT_EQ("", BuildMxQuery(""));
    EXPECT_EQ("", BuildMxQuery(std::string(64, 'a') + ".test"));
    EXPECT_EQ("\x01x\x04test\x00"s, EncodeDnsName("x.test."));
    EXPECT_EQ(10050u, MxBaseWait(30000));
    EXPECT_EQ(1050u, MxBaseWait(3000));
}

TEST(Dns, ReadDnsName)
{
    const std::string reply = "\x02mx\x01x\x04test\x00\xC0\x00\x03"
                              "abc\xC0\x03\xC0\x13\xC0\x17\xC0\x15"s;
    const struct {
        size_t position;
        const char* name;
        size_t after;
    } cases[] = {
        {1, "mx.x.test", 12},
        {12, "mx.x.test", 14},
        {14, "abc.x.test", 20},
        {20, "", 20},  // points at itself
        {22, "", 22},  // points forwards
        {24, "", 24},  // back to the forward one: a cycle
        {100, "", 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        size_t position = c.position;
        EXPECT_EQ(c.name, ReadDnsName(reply, position));
        EXPECT_EQ(c.after, position);
    }
    // Seventeen pointers, each one step back, are one too many; sixteen are fine.
    std::string chain = "\x01z\x00"s;
    for (int i = 0; i < 17; ++i)
        chain += "\xC0"s + static_cast<char>(i == 0 ? 0 : 3 + 2 * (i - 1));
    size_t p16 = 3 + 2 * 15 + 1, p17 = 3 + 2 * 16 + 1;
    EXPECT_EQ("z", ReadDnsName(chain, p16));
    EXPECT_EQ("", ReadDnsName(chain, p17));
    size_t cut = 1;
    EXPECT_EQ("", ReadDnsName("\x05mx"s, cut));
    size_t open = 1;
    EXPECT_EQ("", ReadDnsName("\x02mx"s, open));
}

TEST(Dns, ParseMxReply)
{
    const std::string mx = "\x00\x0A\x02mx\x01x\x04test\x00"s;
    const std::string mxCompressed = "\x00\x0A\x02mx\xC0\x0C"s;
    const std::string soa = "\x02ns\xC0\x0C\x02hm\xC0\x0C" + std::string(20, '\x01');
    auto withCounts = [](std::string r, int answers, char rcode) {
        r[7] = static_cast<char>(answers);
        r[3] = static_cast<char>((r[3] & 0xF0) | rcode);
        return r;
    };
    const std::string good = kQuestion + Answer("\xC0\x0C"s, 15, mx);
    const std::string compressed = kQuestion + Answer("\xC0\x0C"s, 15, mxCompressed);
    std::string selfPointer = kQuestion + Answer("\xC0\x0C"s, 15, "\x00\x0A\xC0\x26"s);
    std::string twoCycle = kQuestion + Answer("\xC0\x0C"s, 15, "\x00\x0A\xC0\x28\xC0\x26"s);
    std::string nxdomain = withCounts(kQuestion, 0, 3);
    nxdomain[9] = 1;
    nxdomain += Answer("\xC0\x0C"s, 6, soa);
    const std::string cnameOnly = kQuestion + Answer("\xC0\x0C"s, 5, "\x02mx\xC0\x0C"s);
    const std::string cnameThenMx = withCounts(cnameOnly + Answer("\xC0\x0C"s, 15, mxCompressed), 2, 0);
    std::string notResponse = good;
    notResponse[2] = 0x01;
    std::string otherId = good;
    otherId[0] = 0x42;
    const struct {
        const char* name;
        std::string reply;
        const char* host;
    } cases[] = {
        {"uncompressed", good, "mx.x.test"},
        {"compressed", compressed, "mx.x.test"},
        {"cname then mx", cnameThenMx, "mx.x.test"},
        {"truncated", good.substr(0, good.size() - 3), ""},
        {"header only", good.substr(0, 12), ""},
        {"self pointer", selfPointer, ""},
        {"two-pointer cycle", twoCycle, ""},
        {"nxdomain with soa", nxdomain, ""},
        // Only the error code stands between these and a host.
        {"nxdomain with an mx answer", withCounts(good, 1, 3), ""},
        {"server failure with an mx answer", withCounts(good, 1, 2), ""},
        {"cname only", cnameOnly, ""},
        {"not a response", notResponse, ""},
        {"other identifier", otherId, ""},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.host, ParseMxReply(c.reply));
    }
}
