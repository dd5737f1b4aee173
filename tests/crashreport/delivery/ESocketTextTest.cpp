#include <gtest/gtest.h>

#include <string>

#include "crashreport/delivery/ESocketText.h"

TEST(SocketText, ErrorMessageLayout)
{
    const std::string log = "Connected to 127.0.0.1 port 25\r\n220 hi\r\n";
    const struct {
        std::string message;
        const char* errorLog;
        std::string expected;
    } cases[] = {
        {"Socket timeout.", "",
         "Socket timeout.\r\n\r\nError log:\r\n\r\n\r\nSocket log:\r\n" + log + "\r\n\r\nDestination: h:25"},
        {log, "554 no",
         "Error log:\r\n554 no\r\n\r\nSocket log:\r\n" + log + "\r\n\r\nDestination: h:25"},
        {"Failed: " + log, "x",
         "Failed: " + log + "\r\n\r\nError log:\r\nx\r\n\r\nDestination: h:25"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(c.expected, BuildSocketErrorMessage(c.message, log, c.errorLog, "h", 25));
    }
    EXPECT_EQ("Invalid socket: \"x\".\r\n\r\nDestination: h:1",
              BuildSocketErrorMessage("Invalid socket: \"x\".", "", "", "h", 1));
    const std::string cut = BuildSocketErrorMessage("Socket timeout.", std::string(5000, 'L'), "", "h", 2);
    EXPECT_EQ(1027u, cut.size());
    EXPECT_EQ("...", cut.substr(1024));
}

TEST(SocketText, SmtpReplies)
{
    const struct {
        const char* reply;
        TReplyCodes codes;
        bool accepted;
    } cases[] = {
        {"250-a\r\n250-b\r\n250 c\r\n", {250}, true},
        {"abc", {250}, false},
        {"", {250}, false},
        {"220 ready", {220}, true},
        {"334 VXNlcm5hbWU6", {334, 500, 502}, true},
        {"502 no", {334, 500, 502}, true},
        {"535 bad", {235}, false},
        {"2500 x", {250}, false},
        {"99999999999999 x", {250}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        EXPECT_EQ(c.accepted, SmtpReplyAccepted(c.reply, c.codes));
    }
    EXPECT_EQ("QUIT\r\n", SmtpCommandLine("QUIT"));
    EXPECT_EQ("QUIT\r\n", SmtpCommandLine("QUIT\r\n"));
}

TEST(SocketText, CredentialsStayOutOfTheLog)
{
    // Each line with the reply the server gives it: what follows a 334 is a credential,
    // even when it reads as a command ("QUIt" is Base64 of "AB-", "STArTTlS" of "I0+M9R").
    TSmtpCredentialMask mask;
    const struct {
        const char* line;
        int reply;
        const char* logged;
    } session[] = {
        {"EHLO me\r\n", 250, "EHLO me\r\n"},
        {"AUTH LOGIN\r\n", 334, "AUTH LOGIN\r\n"},
        {"QUIt\r\n", 334, "***\r\n"},
        {"STArTTlS\r\n", 235, "***\r\n"},
        {"MAIL FROM:<a@b>\r\n", 250, "MAIL FROM:<a@b>\r\n"},
        {"auth login\r\n", 502, "auth login\r\n"},
        {"MAIL FROM:<a@b>\r\n", 250, "MAIL FROM:<a@b>\r\n"},
        {"AUTH PLAIN\r\n", 334, "AUTH PLAIN\r\n"},
        {"AGEAYg==\r\n", 535, "***\r\n"},
        {"RCPT TO:<c@d>\r\n", 250, "RCPT TO:<c@d>\r\n"},
    };
    for (const auto& s : session) {
        SCOPED_TRACE(s.line);
        EXPECT_EQ(s.logged, mask.LogLine(s.line));
        mask.Replied(s.reply);
    }
}
