// Page addresses of the web panes: the autologin query keeps Base64's "+", "/" and "=".
#include <gtest/gtest.h>

#include "trading/connection/Base64.h"
#include "trading/windows/WebPanes.h"

namespace {

TEST(WebPanes, PercentEncoding)
{
    EXPECT_EQ("aZ09-._~", PercentEncode("aZ09-._~"));
    EXPECT_EQ("%2B%2F%3D%20%26%3F%25", PercentEncode("+/= &?%"));
    EXPECT_EQ("%D5%C5", PercentEncode("\xD5\xC5"));
}

TEST(WebPanes, Addresses)
{
    const std::string site = "http://127.0.0.1:8080";
    // ">>?" encodes to "Pj4/" and "~~" to "fn4=": both need escaping.
    ASSERT_EQ("Pj4/", EncodeBase64(">>?"));
    ASSERT_EQ("fn4=", EncodeBase64("~~"));
    EXPECT_EQ(site + "/autologinforapp.php?username=Pj4%2F&password=fn4%3D", AutologinURL(site, ">>?", "~~"));
    EXPECT_EQ(site + "/autologinforapp.php?username=ODAwMDE%3D&password=MTIzNDU2",
              AutologinURL(site, "80001", "123456"));
    EXPECT_EQ(site + "/simulate_futures_forapp.php?do=lswt&ac=lswt&gid=1001", HistoryOrdersURL(site, "1001"));
    EXPECT_EQ(site + "/simulate_futures_forapp.php?do=lswt&ac=lscj&gid=1001", HistoryTradesURL(site, "1001"));
    EXPECT_EQ(site + "/simulate_futures_forapp.php?ac=index&gid=1001", IndexURL(site, "1001"));
    EXPECT_EQ(site + "/cp.php?ac=password", PasswordURL(site));
}

}  // namespace
