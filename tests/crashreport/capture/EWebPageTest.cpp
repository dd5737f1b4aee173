#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EWebPage.h"

namespace {

uint32_t FixedId() { return 0x00C0FFEE; }

struct TFixedIds {
    TFixedIds() { SetPageIdSource(FixedId); }
    ~TFixedIds() { SetPageIdSource(nullptr); }
};

size_t Count(const std::string& text, const std::string& part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

}  // namespace

TEST(WebPage, WrapInHtmlLayout)
{
    TFixedIds ids;
    const std::string id = "<!-- DuruvaDod ID: 00C0FFEE -->";
    struct {
        const char* layout;
        const char* page;
    } cases[] = {
        {"<html><title>T</title><body><%HTML_TAG%></body></html>", "<html><title>T</title><body>B&amp;</body></html>"},
        {"<HTML><TITLE>T</TITLE><%html_tag%>|<%HTML_TAG%>", "<HTML><TITLE>T</TITLE>B&amp;|B&amp;"},
        {"<html><body><%Html_Tag%></body></html>", "<html><body><title>Error occurred</title>B&amp;</body></html>"},
        {"<html><title>T</title><body>nothing here</body></html>", "<html><title>T</title><body>nothing here</body></html>"},
        {"<p>no title</p>", "<title>Error occurred</title><p>no title</p>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        TVurazaModuleOptions options("Vidudo.exe");
        options.SetWebPageTemplate(c.layout);
        EXPECT_EQ(std::string(c.page) + id, WrapInHtmlLayout("B&amp;", options));
    }
}

TEST(WebPage, EachPageCarriesItsOwnIdentifier)
{
    TVurazaModuleOptions options("Vidudo.exe");
    options.SetWebPageTemplate(" \r\n\t ");  // blank: the default layout
    const std::string first = GenerateHtmlPage("a  <b>\r\n\"c\" 'd'", true, options);
    const uint32_t firstId = LastPageId();
    const std::string second = GenerateHtmlPage("a  <b>\r\n\"c\" 'd'", true, options);
    const std::regex ending("<!-- DuruvaDod ID: [0-9A-F]{8} -->$");
    EXPECT_TRUE(std::regex_search(first, ending)) << first;
    EXPECT_TRUE(std::regex_search(second, ending)) << second;
    EXPECT_NE(first, second);
    EXPECT_NE(firstId, LastPageId());
    EXPECT_NE(std::string::npos, first.find("a&nbsp;&nbsp;&lt;b&gt;<br>\r\n&quot;c&quot; &#039;d&#039;"));
    EXPECT_EQ(0u, first.find("<html>"));
    EXPECT_EQ(1u, Count(first, WebPageOkButton));
}

TEST(WebPage, OkButtonNeverTwice)
{
    TFixedIds ids;
    const std::string button = WebPageOkButton;
    std::string shouted = button;
    for (char& c : shouted) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    struct {
        std::string layout;
        size_t buttons;
        bool endsWithButton;
    } cases[] = {
        {"<title>T</title><%HTML_TAG%>", 1, false},
        {"<title>T</title>no tag", 1, true},
        {"<title>T</title>" + shouted + " no tag", 0, false},  // written in capitals by the template
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        TVurazaModuleOptions options("Vidudo.exe");
        options.SetWebPageTemplate(c.layout);
        const std::string page = WebErrorPage("Report", options);
        EXPECT_EQ(c.buttons, Count(page, button));
        EXPECT_EQ(c.endsWithButton, page.size() >= button.size() && page.compare(page.size() - button.size(), button.size(), button) == 0);
    }
}

TEST(WebPage, HeaderBeforeThePage)
{
    TVurazaModuleOptions options("Vidudo.exe");
    const std::string page = WebErrorPage("存取地址 00401A2C\r\n", options);
    const std::string cgi = WebErrorPageHeader(page.size(), true) + page;
    const std::regex header("^Status: 200 Error\r\nContent-Type: text/html\r\nContent-Length: ([0-9]+)\r\nContent:\r\n\r\n");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(cgi, m, header)) << cgi.substr(0, 120);
    EXPECT_EQ(std::to_string(cgi.size() - m.length(0)), m[1].str());
    EXPECT_EQ("Content-Type: text/html\r\nContent-Length: 12\r\nContent:\r\n\r\n", WebErrorPageHeader(12, false));
}
