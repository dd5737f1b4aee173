// The client socket and the SMTP client against real peers on loopback (transport_peers.py):
// scripted TCP peers for timing, codes and resets, aiosmtpd for a whole session.
#include <gtest/gtest.h>

#include "crashreport/delivery/EWinSock.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/ESmtp.h"
#include "crashreport/delivery/ESockets.h"

namespace {

uint16_t PeerPort(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        ADD_FAILURE() << name << " is not set: run under transport_peers.py";
    return static_cast<uint16_t>(value ? std::atoi(value) : 0);
}

uint16_t Script(const char* name) { return PeerPort((std::string("VIDUDO_SCRIPT_") + name + "_PORT").c_str()); }

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The error message of what f raises, or "" when it raises nothing.
template <typename F>
std::string SocketErrorOf(F&& f)
{
    try {
        f();
    } catch (const EVurazaSocketError& e) {
        return e.Message();
    }
    return {};
}

// Emulated runs are slower by this factor.
double TimeScale()
{
    const char* value = std::getenv("VIDUDO_TIME_SCALE");
    const double scale = value && *value ? std::atof(value) : 1.0;
    return scale > 0 ? scale : 1.0;
}

}  // namespace

TEST(WinSockBinding, MissingFunctionIsNamed)
{
    EXPECT_NE(nullptr, EWinSock::GetWinSockFunction("recv"));
    try {
        EWinSock::GetWinSockFunction("NoSuchSocketCall");
        ADD_FAILURE() << "found";
    } catch (const EVurazaFuncNotFoundError& e) {
        EXPECT_EQ("WinSock's function \"NoSuchSocketCall\" can not be found", e.Message());
    }
    EXPECT_TRUE(StartWinSock());
    EXPECT_TRUE(StartWinSock());
}

TEST(ClientSocket, RepliesAreReadUntilASecondOfSilence)
{
    {
        TVurazaClientSocket socket("127.0.0.1", 3000, true, Script("SPLIT300"));
        socket.Connect();
        EXPECT_EQ("220 abc", socket.ReceiveWithin());
    }
    {
        TVurazaClientSocket socket("127.0.0.1", 3000, true, Script("SPLIT1500"));
        socket.Connect();
        EXPECT_EQ("220 a", socket.ReceiveWithin());
        EXPECT_EQ("bc", socket.ReceiveWithin());
        EXPECT_EQ(std::string("Connected to 127.0.0.1 port ") + std::to_string(socket.Port) + "\r\n220 abc",
                  socket.SessionLog);
    }
}

TEST(ClientSocket, SendTextGoesInPiecesInOrder)
{
    std::string text;
    for (int i = 0; i < 2500; ++i)
        text += static_cast<char>((i * 7 + i / 256) % 251 + 1);
    TVurazaClientSocket socket("127.0.0.1", 3000, true, Script("SINK"));
    std::vector<int> positions;
    socket.OnSent = [&](TVurazaClientSocket& s, int position, int length) {
        EXPECT_EQ(&socket, &s);
        EXPECT_EQ(2500, length);
        positions.push_back(position);
    };
    socket.Connect();
    EXPECT_EQ(2500, socket.SendText(text));
    EXPECT_EQ((std::vector<int>{1025, 2049, 2501}), positions);
    EXPECT_EQ("got 2500 same", socket.ReceiveText());
}

TEST(ClientSocket, TimeoutMessageCarriesTheLogs)
{
    const uint16_t port = Script("SILENT");
    TVurazaClientSocket socket("127.0.0.1", 500, true, port);
    socket.Connect();
    const DWORD start = GetTickCount();
    const std::string message = SocketErrorOf([&] { socket.ReceiveText(); });
    const DWORD waited = GetTickCount() - start;
    const std::string destination = "127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(0u, message.find("Socket timeout.\r\n\r\nError log:\r\n")) << message;
    EXPECT_NE(std::string::npos, message.find("Socket log:\r\nConnected to 127.0.0.1 port " + std::to_string(port)));
    EXPECT_TRUE(EndsWith(message, "Destination: " + destination)) << message;
    EXPECT_GE(waited, 450u);
    EXPECT_LT(waited, 2000u);

    TVurazaClientSocket chatty("127.0.0.1", 500, true, Script("LOG5K"));
    chatty.Connect();
    EXPECT_EQ(5000u, chatty.ReceiveText().size());
    const std::string cut = SocketErrorOf([&] { chatty.ReceiveText(); });
    EXPECT_EQ(1027u, cut.size());
    EXPECT_TRUE(EndsWith(cut, "LLL...")) << cut.substr(0, 80);
}

TEST(ClientSocket, ConnectFailuresAreBounded)
{
    const struct {
        const char* what;
        uint16_t port;
    } cases[] = {{"closed", PeerPort("VIDUDO_CLOSED_PORT")}, {"blackhole", PeerPort("VIDUDO_BLACKHOLE_PORT")}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TVurazaClientSocket socket("127.0.0.1", 700, true, c.port);
        const DWORD start = GetTickCount();
        const std::string message = SocketErrorOf([&] { socket.Connect(); });
        EXPECT_EQ(0u, message.find("Connection error: \"")) << message;
        EXPECT_TRUE(EndsWith(message, "Destination: 127.0.0.1:" + std::to_string(c.port))) << message;
        EXPECT_LT(GetTickCount() - start, 3000u);
        EXPECT_FALSE(socket.Connected);
    }
}

TEST(ClientSocket, NoPeerHoldsTheReader)
{
    const struct {
        const char* script;
        const char* message;
    } cases[] = {{"TRICKLE", "Socket timeout.\r\n"}, {"FLOOD", "Reply longer than 65536 bytes.\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        TVurazaClientSMTP smtp("127.0.0.1", 2000, Script(c.script));
        const DWORD start = GetTickCount();
        const std::string message = SocketErrorOf([&] { smtp.Connect(); });
        const DWORD took = GetTickCount() - start;
        EXPECT_EQ(0u, message.find(c.message)) << message.substr(0, 200);
        EXPECT_LE(message.size(), kSocketMessageLimit + 3);
        EXPECT_FALSE(smtp.Connected);
        EXPECT_LT(took, static_cast<DWORD>((smtp.ReplyTimeLimit() + 2000) * TimeScale())) << took;
        std::printf("%s ended after %lu ms\n", c.script, static_cast<unsigned long>(took));
    }
}

TEST(ClientSocket, APeerThatStopsReadingCantHoldTheSender)
{
    TVurazaClientSMTP smtp("127.0.0.1", 2000, Script("STOPREAD"));
    smtp.Connect();
    EXPECT_TRUE(smtp.SendSmtpCommand("DATA", {354}));
    // Far more than both ends' buffers hold.
    const std::string text(32 * 1024 * 1024, 'm');
    const DWORD start = GetTickCount();
    const std::string message = SocketErrorOf([&] { smtp.SendSmtpCommand(text, {250}); });
    const DWORD took = GetTickCount() - start;
    EXPECT_EQ(0u, message.find("Error into \"send\": \"")) << message.substr(0, 200);
    EXPECT_FALSE(smtp.Connected);
    EXPECT_LT(took, static_cast<DWORD>(20000 * TimeScale())) << took;
    std::printf("the stalled send ended after %lu ms\n", static_cast<unsigned long>(took));
}

TEST(ClientSocket, EachDatagramIsAReplyOfItsOwn)
{
    TVurazaClientSocket socket("127.0.0.1", 3000, false, PeerPort("VIDUDO_UDP_TWICE_PORT"));
    socket.Connect();
    ASSERT_EQ(3, socket.SendText("ask"));
    EXPECT_EQ("one", socket.ReceiveWithin());
    EXPECT_EQ("two", socket.ReceiveWithin());
}

TEST(ClientSocket, ReleasingAResetSocketIsQuiet)
{
    auto* socket = new TVurazaClientSocket("127.0.0.1", 2000, true, Script("RESET"));
    socket->Connect();
    EXPECT_EQ("220 bye\r\n", socket->ReceiveText());
    Sleep(300);
    // The peer is gone with a reset: a send fails, as a socket error that drops the handle,
    // and the socket is released without raising.
    std::string message;
    for (int i = 0; i < 5 && message.empty(); ++i) {
        message = SocketErrorOf([&] { socket->SendText("QUIT\r\n"); });
        Sleep(100);
    }
    EXPECT_EQ(0u, message.find("Error into \"send\": \"")) << message;
    EXPECT_FALSE(socket->Connected);
    EXPECT_NO_THROW(delete socket);
}

TEST(Smtp, SessionWithAiosmtpd)
{
    TVurazaClientSMTP smtp("127.0.0.1", 5000, PeerPort("VIDUDO_SMTP_PORT"));
    smtp.Connect();
    EXPECT_TRUE(smtp.SendSmtpCommand("EHLO vidudo", {250}));
    EXPECT_TRUE(smtp.SendSmtpCommand("AUTH LOGIN", {334, 500, 502}));
    EXPECT_TRUE(smtp.SendSmtpCommand(Base64EncodeText("mailer"), {334}));
    EXPECT_TRUE(smtp.SendSmtpCommand(Base64EncodeText("s3cret"), {235}));
    EXPECT_TRUE(smtp.SendSmtpCommand("MAIL FROM:<crash@vidudo.test>", {250}));
    EXPECT_TRUE(smtp.SendSmtpCommand("RCPT TO:<support@vidudo.test>", {250, 251}));
    EXPECT_TRUE(smtp.SendSmtpCommand("DATA", {354}));
    EXPECT_TRUE(smtp.SendSmtpCommand("Subject: crash\r\n\r\nbody line\r\n.", {250}));
    EXPECT_FALSE(smtp.SendSmtpCommand("", {250}));
    EXPECT_EQ(std::string::npos, smtp.SessionLog.find(Base64EncodeText("s3cret")));
    EXPECT_EQ(std::string::npos, smtp.SessionLog.find(Base64EncodeText("mailer")));
    const size_t login = smtp.SessionLog.find("AUTH LOGIN\r\n334 ");
    ASSERT_NE(std::string::npos, login) << smtp.SessionLog;
    const size_t user = smtp.SessionLog.find("\r\n***\r\n334 ", login);
    ASSERT_NE(std::string::npos, user) << smtp.SessionLog;
    EXPECT_NE(std::string::npos, smtp.SessionLog.find("\r\n***\r\n235 ", user + 5)) << smtp.SessionLog;
    smtp.SendSmtpCommand("QUIT", {221});
    smtp.Close();

    const char* dir = std::getenv("VIDUDO_PEER_DIR");
    ASSERT_NE(nullptr, dir);
    std::ifstream mail(std::string("Z:") + dir + "/mail.txt", std::ios::binary);
    std::stringstream stored;
    stored << mail.rdbuf();
    EXPECT_NE(std::string::npos, stored.str().find("FROM crash@vidudo.test\nTO support@vidudo.test\n"));
    EXPECT_NE(std::string::npos, stored.str().find("body line"));
}

TEST(Smtp, RepliesOutsideTheCodesRaise)
{
    {
        TVurazaClientSMTP smtp("127.0.0.1", 3000, Script("GREET554"));
        const std::string message = SocketErrorOf([&] { smtp.Connect(); });
        EXPECT_EQ(0u, message.find("Error log:\r\n")) << message;
        EXPECT_NE(std::string::npos,
                  message.find("Socket log:\r\nConnected to 127.0.0.1 port " + std::to_string(smtp.Port) + "\r\n554 go away\r\n"))
            << message;
    }
    {
        TVurazaClientSMTP smtp("127.0.0.1", 3000, Script("MULTILINE"));
        smtp.Connect();
        EXPECT_TRUE(smtp.SendSmtpCommand("EHLO vidudo", {250}));
        const std::string message = SocketErrorOf([&] { smtp.SendSmtpCommand("NOOP", {250}); });
        EXPECT_NE(std::string::npos, message.find("NOOP\r\nabc\r\n")) << message;
    }
    {
        TVurazaClientSMTP smtp("127.0.0.1", 3000, Script("AUTHREFUSE"));
        smtp.Connect();
        smtp.SendSmtpCommand("EHLO vidudo", {250});
        smtp.SendSmtpCommand("AUTH LOGIN", {334, 500, 502});
        smtp.SendSmtpCommand(Base64EncodeText("mailer"), {334});
        const std::string message = SocketErrorOf([&] { smtp.SendSmtpCommand(Base64EncodeText("pa55word"), {235}); });
        EXPECT_NE(std::string::npos, message.find("535 5.7.8 Authentication failed")) << message;
        EXPECT_EQ(std::string::npos, message.find("pa55word"));
        EXPECT_EQ(std::string::npos, message.find(Base64EncodeText("pa55word")));
        EXPECT_EQ(std::string::npos, message.find(Base64EncodeText("mailer")));
    }
}

TEST(Smtp, ALineAnsweringAChallengeIsNeverLogged)
{
    // Base64 of these reads as SMTP verbs: "QUIt" and "STArTTlS".
    const std::string user = "AB-", password = "I0+M9R";
    TVurazaClientSMTP smtp("127.0.0.1", 3000, Script("AUTHREFUSE"));
    smtp.Connect();
    smtp.SendSmtpCommand("EHLO vidudo", {250});
    smtp.SendSmtpCommand("AUTH LOGIN", {334, 500, 502});
    smtp.SendSmtpCommand(Base64EncodeText(user), {334});
    const std::string message = SocketErrorOf([&] { smtp.SendSmtpCommand(Base64EncodeText(password), {235}); });
    EXPECT_NE(std::string::npos, message.find("535 5.7.8 Authentication failed")) << message;
    for (const std::string& secret : {Base64EncodeText(user), Base64EncodeText(password), password}) {
        EXPECT_EQ(std::string::npos, message.find(secret)) << message;
        EXPECT_EQ(std::string::npos, smtp.SessionLog.find(secret)) << smtp.SessionLog;
    }
}

TEST(Smtp, ARefusedUserLineEndsTheLogin)
{
    TVurazaClientSMTP smtp("127.0.0.1", 3000, Script("USERREFUSE"));
    smtp.Connect();
    smtp.Login("mailer", "pa55word");
    EXPECT_EQ(502, smtp.LastReplyCode);
    // The peer names a password that came after its refusal.
    EXPECT_TRUE(smtp.SendSmtpCommand("MAIL FROM:<crash@vidudo.test>", {250})) << smtp.SessionLog;
}
