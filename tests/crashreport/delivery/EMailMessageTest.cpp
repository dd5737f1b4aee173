#include "crashreport/delivery/EMailMessage.h"

#include <gtest/gtest.h>

namespace {

TMailMessage AsciiMessage()
{
    TMailMessage m;
    m.Date = "Wed, 31 Jan 2024 23:59:59 +0800";
    m.From = SenderHeader("s@x.test", "Zhang San");
    m.Subject = "Crash\r\nreport";
    m.Recipient = "a@x.test";
    m.TickCount = 12345;
    m.Body = "See the files.";
    m.Attachments = {{"shot.png", std::string(120, 'x')}, {"BugReport__PC1.zip", "PK"}};
    return m;
}

TEST(MailMessage, AsciiMailHasThePlainForm)
{
    const std::string b(kMimeBoundary);
    std::string line80;  // 60 bytes of "x" in Base64
    for (int i = 0; i < 20; ++i) line80 += "eHh4";
    const std::string expected =
        "Date: Wed, 31 Jan 2024 23:59:59 +0800\r\n"
        "From: \"Zhang San\" <s@x.test>\r\n"
        "Subject: Crash report\r\n"
        "To: <a@x.test>\r\n"
        "Content-Type: multipart/mixed; boundary=\"" + b + "\";\r\n"
        "MIME-Version: 1.0\r\n"
        "Message-ID: <12345@duruvadod>\r\n\r\n"
        "This is a multi-part message in MIME format\r\n\r\n"
        "--" + b + "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\nSee the files.\r\n"
        "\r\n--" + b + "\r\nContent-Type: image/png;\r\n        name=\"shot.png\"\r\n"
        "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n        filename=\"shot.png\"\r\n\r\n" +
        line80 + "\r\n" + line80 + "\r\n" + "\r\n"
        "\r\n--" + b + "\r\nContent-Type: application/octet-stream;\r\n        name=\"BugReport__PC1.zip\"\r\n"
        "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n        filename=\"BugReport__PC1.zip\"\r\n\r\n"
        "UEs=\r\n"
        "--" + b + "--\r\n";
    EXPECT_EQ(expected, ComposeMimeMessage(AsciiMessage()));
    EXPECT_EQ(expected + ".", SmtpDataText(expected));
}

TEST(MailMessage, ChineseIsMarkedAsGbk)
{
    TMailMessage m = AsciiMessage();
    m.Subject = "\xB1\xC0\xC0\xA3";  // 崩溃
    m.Body = "\xD6\xD0\xCE\xC4";    // 中文
    m.From = SenderHeader("s@x.test", "\xD5\xC5\xC8\xFD");
    const std::string text = ComposeMimeMessage(m);
    EXPECT_NE(std::string::npos, text.find("Subject: =?GBK?B?scDAow==?=\r\n"));
    EXPECT_NE(std::string::npos, text.find("From: =?GBK?B?1cXI/Q==?= <s@x.test>\r\n"));
    EXPECT_NE(std::string::npos, text.find("Content-Type: text/plain; charset=GBK\r\nContent-Transfer-Encoding: base64\r\n\r\n1tDOxA==\r\n"));
}

TEST(MailMessage, SendersAndEnvelopes)
{
    struct {
        const char* sender;
        const char* user;
        const char* header;
        const char* envelope;
    } cases[] = {
        {"s@x.test", "Li \"Lee\" \\", "\"Li \\\"Lee\\\" \\\\\" <s@x.test>", "s@x.test"},
        {"Support <s@x.test>", "Li", "Support <s@x.test>", "s@x.test"},
        {"\"Support\" <s@x.test>", "Li", "\"Support\" <s@x.test>", "s@x.test"},
        {" plain@x.test ", "", "\"\" <plain@x.test>", "plain@x.test"},
        {"\xBC\xBC\xCA\xF5\xD6\xA7\xB3\xD6 <s@x.test>", "Li", "=?GBK?B?vLzK9dans9Y=?= <s@x.test>", "s@x.test"},  // 技术支持
        {"\"\xBC\xBC\xCA\xF5\\\"\xD6\xA7\xB3\xD6\" <s@x.test>", "Li", "=?GBK?B?vLzK9SLWp7PW?= <s@x.test>", "s@x.test"},
        {"\"\x81\x5C\xD6\xD0\" <s@x.test>", "Li", "=?GBK?B?gVzW0A==?= <s@x.test>", "s@x.test"},  // a trail byte "\\"
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.sender);
        const std::string header = SenderHeader(c.sender, c.user);
        EXPECT_EQ(c.header, header);
        EXPECT_EQ(c.envelope, EnvelopeSender(header));
    }
    TStringList r = SplitRecipients(" a@x.test; ;b@y.test,, ");
    ASSERT_EQ(2, r.Count());
    EXPECT_EQ("a@x.test", r[0]);
    EXPECT_EQ("b@y.test", r[1]);
}

// Encoded words stay within 75 characters, cut between whole characters and folded.
TEST(MailMessage, LongEncodedWordsAreFolded)
{
    std::string fifteen;
    for (int i = 0; i < 15; ++i) fifteen += "\xB1\xC0\xC0\xA3";  // 崩溃
    const std::string words48 = "=?GBK?B?scDAo7HAwKOxwMCjscDAo7HAwKOxwMCjscDAo7HAwKOxwMCjscDAo7HAwKOxwMCj?=\r\n =?GBK?B?scDAo7HAwKOxwMCj?=";
    const std::string words47 = "=?GBK?B?YbHAwKOxwMCjscDAo7HAwKOxwMCjscDAo7HAwKOxwMCjscDAo7HAwKOxwMCjscA=?=\r\n =?GBK?B?wKOxwMCjscDAo7HAwKM=?=";
    struct {
        const char* field;
        std::string from, subject, header;
    } cases[] = {
        {"Subject: ", SenderHeader("s@x.test", "Li"), fifteen, words48},
        {"Subject: ", SenderHeader("s@x.test", "Li"), "a" + fifteen, words47},  // no pair cut in half
        {"From: ", SenderHeader("s@x.test", fifteen), "s", words48 + " <s@x.test>"},
        {"From: ", SenderHeader(fifteen + " <s@x.test>", "Li"), "s", words48 + " <s@x.test>"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.header);
        TMailMessage m = AsciiMessage();
        m.From = c.from;
        m.Subject = c.subject;
        const std::string text = ComposeMimeMessage(m);
        EXPECT_NE(std::string::npos, text.find("\r\n" + std::string(c.field) + c.header + "\r\n"));
        for (size_t at = text.find("=?GBK?B?"); at != std::string::npos; at = text.find("=?GBK?B?", at + 8))
            EXPECT_LE(text.find("?=", at + 10) + 2 - at, 75u);
    }
}

TEST(MailMessage, DataCannotEndEarly)
{
    EXPECT_EQ("a\r\n..\r\n..hidden\r\nb\r\nc\r\n.", SmtpDataText("a\r\n.\r\n.hidden\rb\nc"));
    EXPECT_EQ(".", SmtpDataText(""));
}

TEST(MailMessage, Base64LinesOfEighty)
{
    const std::string two = Base64Lines(std::string(120, 'x'), 80);
    EXPECT_EQ(164u, two.size());
    EXPECT_EQ("\r\n", two.substr(80, 2));
    EXPECT_EQ("\r\n", two.substr(162, 2));
    EXPECT_EQ(82u, Base64Lines(std::string(60, 'x'), 80).size());
    EXPECT_EQ("eHk=", Base64Lines("xy", 80));
}

TEST(MailMessage, MailtoAddressIsEncodedAndCapped)
{
    EXPECT_EQ("mailto:a@x.test?Subject=Crash%20report&Body=line%0D%0A%25\xD6", MailtoAddress("a@x.test", "Crash report", "line\r\n%\xD6", 1000));
    const std::string big = MailtoAddress("a@x.test", "s", std::string(100000, ' ') + "\xD6\xD0", 32000);
    EXPECT_LE(big.size(), 32000u);
    EXPECT_EQ("%20", big.substr(big.size() - 3));
    const std::string chinese = MailtoAddress("a", "s", "\xD6\xD0\xD6\xD0", 24);  // "mailto:a?Subject=s&Body=" is 24
    EXPECT_EQ("mailto:a?Subject=s&Body=", chinese);
    EXPECT_EQ("mailto:a?Subject=s&Body=\xD6\xD0", MailtoAddress("a", "s", "\xD6\xD0\xD6\xD0", 27));
}

TEST(MailMessage, MailtoCommandLineStaysUnderTheSystemLimit)
{
    EXPECT_EQ("mailer.exe \"mailto:a@x.test?Subject=Crash%20report&Body=a%0D%0Ab\" -x",
              MailtoCommandLine("mailer.exe \"%1\" -x", "a@x.test", "Crash report", "a\r\nb"));
    const std::string report(100 * 1024, 'x');
    for (const char* command : {"mailer.exe %1", "mailer.exe %1 %1"}) {
        const std::string line = MailtoCommandLine(command, "a@x.test", "s", report);
        EXPECT_LT(line.size(), 32767u);
        EXPECT_GT(line.size(), 15000u);
        EXPECT_EQ(0u, line.find("mailer.exe mailto:a@x.test?Subject=s&Body=xxx"));
    }
    EXPECT_EQ("mailer.exe", MailtoCommandLine("mailer.exe", "a@x.test", "s", report));
}

}  // namespace
