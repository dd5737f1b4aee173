#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trading/windows/LoginFlow.h"

namespace {

// Records what the login asked of the connection module.
class TSessionRecorder : public ILoginSession {
public:
    void SaveSysinfo() override
    {
        calls.push_back("save");
        saved = *info;
    }
    bool Login(const std::string& user, const std::string& password) override
    {
        calls.push_back("login " + user + "/" + password + " to " + *url);
        if (startsUpdate)
            update = true;
        return accept;
    }
    bool UpdateStarted() const override { return update; }
    void ClearUpdateStarted() override
    {
        calls.push_back("clear");
        update = false;
    }

    TSysInfo* info = nullptr;
    std::string* url = nullptr;
    bool accept = true;
    bool startsUpdate = false;
    bool update = true;  // left over from an earlier try
    TSysInfo saved;
    std::vector<std::string> calls;
};

class LoginFlow : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* port : {"8001", "8002"}) {
            info.HostNames.Add(std::string("site ") + port);
            info.Hosts.Add("127.0.0.1");
            info.Ports.Add(port);
        }
        info.HostCount = 2;
        info.SaveUserEnabled = false;
        session.info = &info;
        session.url = &url;
        choice.userName = " 80001 ";
        choice.password = " 123456\t";
        choice.hostIndex = 1;
        choice.accountSelected = true;
        choice.accountValue = "1002";
        choice.saveUser = true;
    }
    TLoginOutcome Run() { return RunLogin(choice, info, url, session); }

    TSysInfo info;
    std::string url = "http://old/simulate_futures_app_server.php";
    TSessionRecorder session;
    TLoginChoice choice;
};

using Calls = std::vector<std::string>;
const char kSite2[] = "http://127.0.0.1:8002/simulate_futures_app_server.php";

}  // namespace

TEST_F(LoginFlow, GoodLoginSavesChoicesAndKeepsOneTrimmedPair)
{
    ASSERT_EQ(TLoginOutcome::LoggedIn, Run());
    EXPECT_EQ((Calls{"save", "clear", std::string("login 80001/123456 to ") + kSite2}), session.calls);
    EXPECT_EQ(kSite2, url);
    EXPECT_EQ(" 80001 ", session.saved.UserName);
    EXPECT_EQ(1, session.saved.HostIdx);
    EXPECT_EQ("1002", session.saved.gid);
    EXPECT_TRUE(session.saved.SaveUserEnabled) << "the box's state must reach the file";
    EXPECT_EQ("80001", info.LoginUser);
    EXPECT_EQ("123456", info.LoginPasswd);
}

TEST_F(LoginFlow, UntickedBoxIsSavedEvenIfTheObjectSaysOtherwise)
{
    info.SaveUserEnabled = true;  // as rereading the file in "设置代理" may leave it
    choice.saveUser = false;
    Run();
    EXPECT_FALSE(session.saved.SaveUserEnabled);
}

TEST_F(LoginFlow, NothingSavedOrSentWithoutAnAccount)
{
    choice.accountSelected = false;
    EXPECT_EQ(TLoginOutcome::NoAccount, Run());
    EXPECT_TRUE(session.calls.empty());
    EXPECT_EQ(0, info.HostIdx);
}

TEST_F(LoginFlow, EmptyUserOrPasswordSavesButSendsNothing)
{
    const struct {
        const char* user;
        const char* password;
    } cases[] = {{"", "123456"}, {"80001", ""}, {"   ", "123456"}, {"80001", " \t "}};
    for (const auto& c : cases) {
        session.calls.clear();
        choice.userName = c.user;
        choice.password = c.password;
        EXPECT_EQ(TLoginOutcome::Incomplete, Run()) << "\"" << c.user << "\" \"" << c.password << "\"";
        EXPECT_EQ((Calls{"save", "clear"}), session.calls);
        EXPECT_EQ(kSite2, url) << "the session still points at the chosen site";
        EXPECT_TRUE(info.LoginUser.empty());
    }
}

TEST_F(LoginFlow, NoUsableSiteSendsNothing)
{
    const struct {
        int hostIndex;
        const char* port;
    } cases[] = {{-1, "8002"}, {1, "80a"}, {1, "0"}};
    for (const auto& c : cases) {
        session.calls.clear();
        info.HostIdx = 5;  // out of range from the file
        info.Ports[1] = c.port;
        choice.hostIndex = c.hostIndex;
        EXPECT_EQ(TLoginOutcome::NoSite, Run()) << c.hostIndex << " " << c.port;
        EXPECT_EQ((Calls{"save", "clear"}), session.calls);
        EXPECT_EQ("http://old/simulate_futures_app_server.php", url);
    }
}

TEST_F(LoginFlow, RefusedLoginKeepsTheWindowAndTheSessionFields)
{
    session.accept = false;
    EXPECT_EQ(TLoginOutcome::Refused, Run());
    EXPECT_TRUE(info.LoginUser.empty());
    EXPECT_TRUE(info.LoginPasswd.empty());
}

TEST_F(LoginFlow, UpdateHandOverCancels)
{
    session.accept = false;
    session.startsUpdate = true;
    EXPECT_EQ(TLoginOutcome::Update, Run());
}
