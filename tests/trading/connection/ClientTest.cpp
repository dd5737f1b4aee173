// The connection module against the trading-server fixture and real SOCKS servers; run
// through tests/server/with_peers.py, which starts them and passes their ports.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "framework/Thread.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "tests/support/FixturePeer.h"
#include "tests/support/PumpUntil.h"

namespace {

struct TSnapshot {
    int code;
    Thqxx hq;
    Twtxx wt;
    Tcjxx cj;
    Tzjxx zj;
    Tccxx cc;
    Thyxx hy;
    TZDcc zd;
    std::vector<Tzlhy> zl;
};

// Stands in for the main window: every code with a copy of the records at that moment.
class TTaskRecorder : public IClientTask {
public:
    TTaskRecorder(TClient*& client, std::vector<std::string>& events) : client_(client), events_(events) {}
    void Task(int code) override
    {
        events_.push_back(IntToStr(code));
        const TClient& c = *client_;
        snaps.push_back({code, c.Hqxx, c.Wtxx, c.Cjxx, c.Zjxx, c.Ccxx, c.Hyxx, c.ZDcc, c.Zlhy});
        if (onTask)
            onTask(code);
    }
    void OpenWelcomePage(const std::string& url) override { pages.push_back(url); }

    std::vector<TSnapshot> snaps;
    std::vector<std::string> pages;
    std::function<void(int)> onTask;

private:
    TClient*& client_;
    std::vector<std::string>& events_;
};

const char kFailed[] = "box:服务器连接失败,网络故障";

// The background requests were served: no worker has waited for the main thread for a while
// (a new worker asks at once).
bool Drain()
{
    DWORD quietSince = GetTickCount();
    return PumpUntil([&] {
        if (PendingSynchronizeCount() != 0)
            quietSince = GetTickCount();
        return GetTickCount() - quietSince >= 200;
    });
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = PeerPort("VIDUDO_SERVER_PORT");
        ASSERT_NE(0, port) << "run this test through tests/server/with_peers.py";
        fixture.Reset();
        previousHook = SetMessageBoxHook([this](const TMessageBoxRequest& r) {
            events.push_back("box:" + r.text);
            return TModalAnswer::Ok;
        });
        owned = std::make_unique<TClient>();
        client = owned.get();
        client->SetTask(&recorder);
        *SysInfo = TSysInfo();
        SysInfo->gid = "1001";
        ServerURL = FixtureURL(port);
        client->Http().ConnectTimeoutMs = 2000;
        client->Http().ExchangeTimeoutMs = 3000;
    }
    void TearDown() override
    {
        owned.reset();
        SetMessageBoxHook(previousHook);
    }
    bool LoginDefault() { return client->Login("80001", "123456"); }
    std::vector<std::string> Commands()
    {
        std::vector<std::string> out;
        for (const auto& r : fixture.Log())
            out.push_back(r.fields[2]);
        return out;
    }
    // Runs a waiting command whose reply is scripted, so the dispatch is over when it returns.
    void DispatchLines(const std::string& linesJson)
    {
        fixture.Script(R"({"CXZJ": [{"lines": )" + linesJson + "}]}");
        client->CXZJ();
    }

    int port = 0;
    TFixture fixture;
    std::vector<std::string> events;
    std::unique_ptr<TClient> owned;
    TClient* client = nullptr;
    TTaskRecorder recorder{client, events};
    MessageBoxHook previousHook;
};

using Strings = std::vector<std::string>;

}  // namespace

TEST_F(ClientTest, HappyPathOnTheWire)
{
    TStringList names, values;
    client->getaccountlist(names, values);
    EXPECT_EQ((Strings{"演示基金", "成长基金"}), names.Items());
    EXPECT_EQ((Strings{"1001", "1002"}), values.Items());
    ASSERT_TRUE(LoginDefault()) << events.size();
    EXPECT_EQ("80001", client->Khxx.Account);
    EXPECT_EQ("123456", client->Khxx.Password);
    EXPECT_EQ("张三", client->Khxx.Name);
    EXPECT_EQ("演示基金", client->Khxx.FundName);
    EXPECT_EQ("稳健", client->Khxx.Philosophy);
    client->CXZJ();
    client->CXWT();
    client->CXCC();
    client->cxzlhy();
    EXPECT_EQ((Strings{"1128", "1126", "1129", "1134"}), events) << "cxzlhy returned before the earlier requests were served";

    const auto log = fixture.Log();
    ASSERT_EQ(7u, log.size());
    const Strings expected = {"accountlist", "WELCOME", "LOGIN", "CXZJ", "CXWT", "CXCC", "CXZLHY"};
    for (size_t i = 0; i < log.size(); ++i) {
        const auto& r = log[i];
        EXPECT_EQ(expected[i], r.fields[2]) << i;
        EXPECT_EQ("", r.error) << expected[i];
        EXPECT_EQ(i > 0, r.cookieOk) << expected[i] << ": the session cookie must come back";
        EXPECT_FALSE(r.overlap) << expected[i];
        EXPECT_EQ("127.0.0.1", r.peer);
        if (i >= 3) {
            EXPECT_EQ("80001", r.fields[0]) << expected[i];
            EXPECT_EQ("123456", r.fields[1]) << expected[i];
        }
    }
    EXPECT_EQ((Strings{"1", "2"}), (Strings{log[0].fields[0], log[0].fields[1]}));
    EXPECT_EQ((Strings{"80001", "123456", "LOGIN", "1001", "#"}),
              (Strings{log[2].fields[0], log[2].fields[1], log[2].fields[2], log[2].fields[3], log[2].fields[4]}));
}

TEST_F(ClientTest, NewerServerVersionStartsTheUpdaterInsteadOfLoggingIn)
{
    const std::wstring marker = GbkToWide(ProgramFolder() + "update.ran");
    DeleteFileW(marker.c_str());
    fixture.Script(R"({"WELCOME": [{"lines": [["#", "#", "WELCOME", "229", "#"]]}]})");
    EXPECT_FALSE(LoginDefault());
    EXPECT_TRUE(client->UpdateStarted);
    EXPECT_EQ((Strings{"box:发现更新版本,点击确定后开始升级"}), events);
    EXPECT_TRUE(PumpUntil([&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }))
        << "update.exe in the program folder did not run";
    DeleteFileW(marker.c_str());
    EXPECT_EQ((Strings{"WELCOME"}), Commands());
}

TEST_F(ClientTest, OnlyAWebAddressFromTheGreetingIsOpened)
{
    const struct {
        const char* field4;
        bool opened;
    } cases[] = {
        {"#", false},
        {"http://127.0.0.1/plugins/futures/welcome.php", true},
        {"HTTPS://example.test/a", true},
        {"http://", false},
        {"c:\\\\windows\\\\system32\\\\calc.exe", false},
        {"file:///c:/windows/notepad.exe", false},
        {"notepad.exe", false},
        {"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field4);
        fixture.Reset();
        recorder.pages.clear();
        fixture.Script(std::string(R"({"WELCOME": [{"lines": [["#", "#", "WELCOME", "228", ")") + c.field4 + R"("]]}]})");
        EXPECT_TRUE(LoginDefault());
        EXPECT_EQ(c.opened ? 1u : 0u, recorder.pages.size());
        EXPECT_EQ((Strings{"WELCOME", "LOGIN"}), Commands());
    }
    EXPECT_TRUE(events.empty()) << events.front();
}

TEST_F(ClientTest, LoginReplies)
{
    const struct {
        const char* action;  // scripted LOGIN reply
        bool ok;
        const char* box;  // "" for none
    } cases[] = {
        {R"({"lines": [["80001", "#", "LOGINOK", "王五", "基金", "理念"]]})", true, ""},
        {R"({"lines": [["80001", "#", "loginok", "王五", "基金", "理念"]]})", true, ""},
        {R"({"lines": [["#", "#", "MESSAGE", "密码错误"]]})", false, "box:密码错误"},
        {R"({"lines": [["#", "#", "message", "帐号已冻结"]]})", false, "box:帐号已冻结"},
        {R"({"text": ""})", false, kFailed},
        {R"({"lines": [["80001", "#", "LOGINFAIL"]]})", false, kFailed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        fixture.Reset();
        events.clear();
        client->Khxx = Tkhxx();
        fixture.Script(std::string(R"({"LOGIN": [)") + c.action + "]}");
        EXPECT_EQ(c.ok, LoginDefault());
        EXPECT_EQ(c.ok ? "王五" : "", client->Khxx.Name);
        EXPECT_EQ(*c.box ? Strings{c.box} : Strings{}, events);
    }
    // A wrong greeting ends the login quietly, before LOGIN.
    fixture.Reset();
    events.clear();
    fixture.Script(R"({"WELCOME": [{"lines": [["#", "#", "welcome", "228", "#"]]}]})");
    EXPECT_FALSE(LoginDefault());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ((Strings{"WELCOME"}), Commands());
}

TEST_F(ClientTest, AccountListKeepsNamesAndValuesAligned)
{
    fixture.Script(R"({"ACCOUNTLIST": [{"lines": [["A基金&1", "#", "缺值&", "&2", "  B基金 &  3", "C&4&多余", "   ", "只有名", "D&5"]]}]})");
    TStringList names, values;
    names.Add("old");
    client->getaccountlist(names, values);
    EXPECT_EQ((Strings{"A基金", "B基金 ", "C", "D"}), names.Items());
    EXPECT_EQ((Strings{"1", "3", "4", "5"}), values.Items());
}

TEST_F(ClientTest, AccountListFailureReachesTheCaller)
{
    fixture.Script(R"({"ACCOUNTLIST": [{"status": 500}]})");
    TStringList names, values;
    EXPECT_ANY_THROW(client->getaccountlist(names, values));
}

TEST_F(ClientTest, EveryReplyTagFillsItsRecord)
{
    DispatchLines(R"([
        ["#", "#", "hqxx", "m1105", "3500", "3501.5", "12", "3499", "30", "3800", "3200", "3550", "3450", "B", "0.08", "0.1", "10"],
        {"f": ["#", "#", "WTXX", "17", "m1105", "开仓", "买入", "3500", "2", "0", "7000", "2026-12-10 09:30:00", "已报"], "first": true},
        {"f": ["#", "#", "CJXX", "17", "m1105", "买入", "开仓", "3500", "2", "5", "2026-12-10 09:31:00"], "first": true},
        ["#", "#", "ZJXX", "100000", "93000", "5", "0", "10", "120", "7000", "7.00%", "99000"],
        {"f": ["#", "#", "CCXX", "m1105", "卖出", "3500", "x", "y", "5", "2", "120", "w", "2026-12-09", "7000", "2026-12-10"], "first": true},
        ["#", "#", "HYXX", "  a0 ", "B", "10", "0.08", "5", "0", "豆一", "1"],
        ["#", "#", "ZDCCXX", "m1105", "5.9", "卖出"],
        ["#", "#", "HYDMCW"],
        ["#", "#", "CJHB"]])");
    EXPECT_EQ((Strings{"1125", "1126", "1127", "1128", "1129", "1130", "1131", "1132", "1133"}), events);
    ASSERT_EQ(9u, recorder.snaps.size());
    const auto& hq = recorder.snaps[0].hq;
    EXPECT_EQ("m1105", hq.Code);
    EXPECT_EQ((std::vector<double>{3500, 3501.5, 12, 3499, 30, 3800, 3200, 3550, 3450, 0.08, 0.1}),
              (std::vector<double>{hq.LastPrice, hq.AskPrice, hq.AskVolume, hq.BidPrice, hq.BidVolume, hq.UpperLimit,
                                   hq.LowerLimit, hq.High, hq.Low, hq.MarginRate, hq.SecondRate}));
    EXPECT_EQ("B", hq.Exchange);
    EXPECT_EQ(10, hq.Multiplier);
    const auto& wt = recorder.snaps[1].wt;
    EXPECT_TRUE(wt.First);
    EXPECT_EQ((Strings{"17", "已报", "m1105", "买入", "开仓", "3500", "2", "0", "7000", "2026-12-10 09:30:00"}),
              (Strings{wt.OrderNo, wt.Status, wt.Contract, wt.BuySell, wt.OpenClose, wt.Price, wt.Quantity, wt.FillState,
                       wt.FrozenFunds, wt.OrderTime}));
    const auto& cj = recorder.snaps[2].cj;
    EXPECT_EQ((Strings{"17", "m1105", "买入", "开仓", "3500", "2", "5", "2026-12-10 09:31:00"}),
              (Strings{cj.OrderNo, cj.Contract, cj.BuySell, cj.OpenClose, cj.Price, cj.Quantity, cj.Fee, cj.TradeTime}));
    const auto& zj = recorder.snaps[3].zj;
    EXPECT_EQ((Strings{"100000", "93000", "5", "0", "10", "120", "7000", "7.00%", "99000"}),
              (Strings{zj.Equity, zj.Available, zj.Fee, zj.FrozenToday, zj.ClosedProfit, zj.FloatingProfit, zj.Margin,
                       zj.RiskRatio, zj.OpeningBalance}));
    const auto& cc = recorder.snaps[4].cc;
    EXPECT_EQ((Strings{"m1105", "卖出", "3500", "5", "2", "120", "w", "7000", "2026-12-09", "2026-12-10"}),
              (Strings{cc.Contract, cc.BuySell, cc.OpenPrice, cc.TotalQuantity, cc.ClosedQuantity, cc.Profit, cc.Field11,
                       cc.Margin, cc.OpenDate, cc.TradingDay}));
    const auto& hy = recorder.snaps[5].hy;
    EXPECT_FALSE(hy.First);
    EXPECT_EQ((Strings{"a0", "B", "10", "0.08", "5", "0", "豆一", "1"}),
              (Strings{hy.Code, hy.Exchange, hy.TradingUnit, hy.MarginStandard, hy.Fee, hy.CloseTodayFee, hy.Name,
                       hy.PriceTick}));
    const auto& zd = recorder.snaps[6].zd;
    EXPECT_EQ((Strings{"m1105", "5", "卖出"}), (Strings{zd.Field3, zd.MaxQuantity, zd.Field5}));
    // HYDMCW and CJHB change no record.
    EXPECT_EQ("5", recorder.snaps[8].zd.MaxQuantity);
    EXPECT_EQ("m1105", recorder.snaps[8].hq.Code);
}

TEST_F(ClientTest, ListLinesMessagesAndGbkTrailBytes)
{
    // "東" is 96 7C in GBK: a split after the conversion would cut it at the "|".
    DispatchLines(R"([
        {"f": ["#", "#", "WTXX", "1", "東方"], "first": true},
        ["#", "#", "MESSAGE", "委托成功"],
        ["#", "#", "wtxx", "2", "表"],
        ["#", "#", "Mess", "注意"],
        ["#", "#", "WTXX", "3", "m1105"],
        ["#", "#", "UNKNOWN", "3"]])");
    EXPECT_EQ((Strings{"1126", "box:委托成功", "1126", "box:注意", "1126"}), events);
    ASSERT_EQ(3u, recorder.snaps.size());
    EXPECT_EQ((std::vector<bool>{true, false, false}),
              (std::vector<bool>{recorder.snaps[0].wt.First, recorder.snaps[1].wt.First, recorder.snaps[2].wt.First}));
    EXPECT_EQ((Strings{"東方", "表", "m1105"}),
              (Strings{recorder.snaps[0].wt.Contract, recorder.snaps[1].wt.Contract, recorder.snaps[2].wt.Contract}));
}

TEST_F(ClientTest, MainContractsRaiseTheirCodeOnceAfterTheLastLine)
{
    DispatchLines(R"([
        {"f": ["#", "#", "ZLHYXX", "铜", "cu1105", "1"], "first": true},
        ["#", "#", "ZLHYXX", "豆粕", "m1105", "2"],
        ["#", "#", "ZLHYXX", "白糖", "SR105", "3"],
        ["#", "#", "ZLHYXX", "沪深300", "IF1105", "9"]])");
    EXPECT_EQ((Strings{"1134"}), events);
    ASSERT_EQ(4u, client->Zlhy.size());
    EXPECT_EQ((Strings{"铜", "cu1105", "1"}), (Strings{client->Zlhy[0].Name, client->Zlhy[0].Code, client->Zlhy[0].Exchange}));
    EXPECT_EQ((Strings{"沪深300", "IF1105", "9"}),
              (Strings{client->Zlhy[3].Name, client->Zlhy[3].Code, client->Zlhy[3].Exchange}));

    // Without a "FIRST" line the entries aren't this reply's: nothing is stored or raised.
    events.clear();
    DispatchLines(R"([["#", "#", "ZLHYXX", "新", "x1", "1"], ["#", "#", "ZLHYXX", "新", "x2", "1"]])");
    EXPECT_TRUE(events.empty());
    EXPECT_EQ("铜", client->Zlhy[0].Name);
}

TEST_F(ClientTest, ABadLineLeavesItsRecordAsItWasAndEndsTheReply)
{
    DispatchLines(R"([["#", "#", "HQXX", "m1105", "3500", "1", "1", "1", "1", "1", "1", "1", "1", "B", "0.1", "0.1", "10"]])");
    events.clear();
    DispatchLines(R"([
        ["#", "#", "HQXX", "c1105", "2400", "1", "1", "1", "1", "1", "1", "1", "1", "B", "0.1", "0.1", "ten"],
        ["#", "#", "WTXX", "1", "m1105"]])");
    EXPECT_TRUE(events.empty()) << events.front();
    EXPECT_EQ("m1105", client->Hqxx.Code);
    EXPECT_EQ(3500, client->Hqxx.LastPrice);
    EXPECT_EQ("", client->Wtxx.OrderNo);

    DispatchLines(R"([])");
    EXPECT_TRUE(events.empty());
}

TEST_F(ClientTest, RequestFieldsOfEveryCommand)
{
    ASSERT_TRUE(LoginDefault());
    fixture.Reset();
    client->Wtzl = Twtzl{"平今", "卖出", "m1105", 10, 3500.5, 2, 1};
    client->cdwth = 42;
    client->Cxzdcczl = Tcxzdcczl{"m1105", "平仓", "买入"};
    client->QQHQ("m1105", "#", "#");
    client->XD();
    client->WTCD();
    client->GGMM("123456", "654321");
    client->CXCJ();
    client->CXHY();
    client->CXZDCC();
    const struct {
        Strings fields;  // from field 2 on
    } cases[] = {
        {{"QQHQ", "m1105", "#", "#", "#"}},
        {{"XD", "平今", "卖出", "m1105", "3500.5", "2", "1", "#"}},
        {{"WTCD", "42", "#"}},
        {{"GGMM", "123456", "654321", "#"}},
        {{"CXCJ", "#"}},
        {{"CXHY", "#"}},
        {{"CXZDCC", "m1105", "平仓", "买入", "#"}},
    };
    const auto log = fixture.Log();
    ASSERT_EQ(std::size(cases), log.size());
    for (size_t i = 0; i < log.size(); ++i) {
        Strings got(log[i].fields.begin() + 2, log[i].fields.begin() + 2 + static_cast<long>(cases[i].fields.size()));
        EXPECT_EQ(cases[i].fields, got) << i;
        EXPECT_EQ("80001", log[i].fields[0]);
        EXPECT_EQ("123456", log[i].fields[1]);
        EXPECT_EQ("#", log[i].fields[29]);
    }
}

TEST_F(ClientTest, OrderAndCancelTellWhetherTheServerAnswered)
{
    ASSERT_TRUE(LoginDefault());
    fixture.Reset();
    client->Wtzl = Twtzl{"开仓", "买入", "m1105", 10, 3500, 1, 0};
    client->cdwth = 1;
    fixture.Script(R"({"XD": [{"status": 500}, {"close": true}, {"lines": [["#", "#", "MESSAGE", "资金不足"]]},
                               {"lines": [["#", "#", "Mess", "休市"], ["#", "#", "WTXX", "9"]]}],
                        "WTCD": [{"corrupt": "base64"}, {"lines": [["#", "#", "WTXX", "1"]]}]})");
    // An earlier queued request runs first and doesn't lend its success to the order.
    client->CXWT();
    const TOrderReply unanswered = client->XD();
    EXPECT_EQ((Strings{"CXWT", "XD"}), Commands()) << "XD returned before its exchange";
    events.clear();
    const struct {
        TOrderReply got;
        TOrderReply expected;
        std::vector<std::string> events;
    } cases[] = {
        {unanswered, TOrderReply::Unanswered, {}},
        {client->XD(), TOrderReply::Unanswered, {}},
        {client->WTCD(), TOrderReply::Unanswered, {}},
        {client->XD(), TOrderReply::ServerMessage, {"box:资金不足"}},
        {client->XD(), TOrderReply::ServerMessage, {"box:休市", "1126"}},
        {client->XD(), TOrderReply::Accepted, {"1126"}},
        {client->WTCD(), TOrderReply::Accepted, {"1126"}},
        {client->WTCD(), TOrderReply::ServerMessage, {"box:撤单成功"}},  // the fixture's own answer
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(static_cast<int>(cases[i].expected), static_cast<int>(cases[i].got));
    }
    std::vector<std::string> all;
    for (const auto& c : cases)
        all.insert(all.end(), c.events.begin(), c.events.end());
    EXPECT_EQ(all, events);
    EXPECT_EQ((Strings{"CXWT", "XD", "XD", "WTCD", "XD", "XD", "XD", "WTCD", "WTCD"}), Commands());
}

TEST_F(ClientTest, ExchangesRunOneAtATimeInTheOrderStarted)
{
    ASSERT_TRUE(LoginDefault());
    fixture.Reset();
    // CXWT returns before its exchange happened.
    fixture.Script(R"({"CXWT": [{"delay": 0.3}]})");
    client->CXWT();
    EXPECT_TRUE(fixture.Log().empty());
    client->CXCC();
    // CXZJ returns only after its own reply, and every earlier one, was dispatched.
    client->CXZJ();
    EXPECT_EQ((Strings{"1126", "1129", "1128"}), events);
    EXPECT_EQ("93000", client->Zjxx.Available);

    fixture.Reset();
    for (int i = 0; i < 50; ++i) {
        client->Wtzl = Twtzl{"开仓", "买入", "m1105", 10, 3500, static_cast<double>(i + 1), 0};
        client->XD();
        client->CXWT();
    }
    client->CXZJ();
    const auto log = fixture.Log();
    ASSERT_EQ(101u, log.size());
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ("XD", log[2 * i].fields[2]) << i;
        EXPECT_EQ(IntToStr(i + 1), log[2 * i].fields[7]) << i;
        EXPECT_EQ("CXWT", log[2 * i + 1].fields[2]) << i;
    }
    for (size_t i = 1; i < log.size(); ++i) {
        EXPECT_FALSE(log[i].overlap) << i;
        EXPECT_LE(log[i - 1].finish, log[i].arrival) << i;
    }
}

TEST_F(ClientTest, SynchronisationIsServedWhileAMessageBoxIsOpen)
{
    ASSERT_TRUE(LoginDefault());
    fixture.Reset();
    // The box of the first reply runs a message loop; the request queued meanwhile is served in it.
    SetMessageBoxHook([this](const TMessageBoxRequest& r) {
        events.push_back("box:" + r.text);
        if (r.text == "一")
            PumpUntil([this] { return events.size() == 2; });
        return TModalAnswer::Ok;
    });
    fixture.Script(R"({"CXWT": [{"lines": [["#", "#", "MESSAGE", "一"]]}]})");
    client->CXWT();
    client->CXCC();
    ASSERT_TRUE(PumpUntil([this] { return events.size() == 2; }));
    EXPECT_EQ((Strings{"box:一", "1129"}), events);
}

TEST_F(ClientTest, FaultsShowTheConnectionBoxWithinTheTimeOut)
{
    EXPECT_EQ(10000, THttpSession().ConnectTimeoutMs);
    EXPECT_EQ(30000, THttpSession().ExchangeTimeoutMs);
    client->Http().ConnectTimeoutMs = 1000;
    client->Http().ExchangeTimeoutMs = 3000;
    const int closed = PeerPort("VIDUDO_CLOSED_PORT");
    const int silent = PeerPort("VIDUDO_SILENT_PORT");
    const int blackhole = PeerPort("VIDUDO_BLACKHOLE_PORT");
    const struct {
        const char* name;
        int port;            // 0: the fixture
        const char* action;  // scripted WELCOME reply
        DWORD withinMs;
    } cases[] = {
        {"closed port", closed, "", 1500},
        {"connect never completes", blackhole, "", 1000 + 1500},
        {"never answers", silent, "", 3000 + 1500},
        {"HTTP 500", 0, R"({"status": 500})", 1500},
        {"not Base64", 0, R"({"corrupt": "base64"})", 1500},
        {"corrupt zlib", 0, R"({"corrupt": "zlib"})", 1500},
        {"truncated zlib", 0, R"({"corrupt": "truncate"})", 1500},
        {"silent after the request", 0, R"({"hang": true, "hang_for": 6})", 3000 + 1500},
        {"connection closed", 0, R"({"close": true})", 1500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixture.Reset();
        events.clear();
        ServerURL = FixtureURL(c.port ? c.port : port);
        if (*c.action)
            fixture.Script(std::string(R"({"WELCOME": [)") + c.action + "]}");
        const DWORD start = GetTickCount();
        EXPECT_FALSE(LoginDefault());
        EXPECT_LT(GetTickCount() - start, c.withinMs);
        EXPECT_EQ((Strings{kFailed}), events);

        // In the background the same failure stays silent, and the program goes on.
        events.clear();
        if (*c.action)
            fixture.Script(std::string(R"({"CXWT": [)") + c.action + "]}");
        client->CXWT();
        ASSERT_TRUE(Drain());
        ServerURL = FixtureURL(port);
        client->CXZJ();
        EXPECT_EQ((Strings{"1128"}), events);
    }
}

TEST_F(ClientTest, RedirectsKeepThePost)
{
    fixture.Script(R"({"WELCOME": [{"redirect": 302}], "LOGIN": [{"redirect": 307}]})");
    ASSERT_TRUE(LoginDefault()) << (events.empty() ? "" : events.front());
    const auto log = fixture.Log();
    ASSERT_EQ(4u, log.size());
    EXPECT_EQ((Strings{"WELCOME", "WELCOME", "LOGIN", "LOGIN"}), Commands());
    EXPECT_NE(std::string::npos, log[3].path.find("moved")) << log[3].path;
    EXPECT_EQ("", log[3].error);
}

TEST_F(ClientTest, ProxySettingsFromTheConfiguration)
{
    const struct {
        const char* name;
        const char* type;
        int port;
        const char* user;
        const char* password;
        const char* peer;  // "" when the login must fail
    } cases[] = {
        {"SOCKS 5", "Socks5", PeerPort("VIDUDO_SOCKS5_PORT"), "", "", "127.0.0.2"},
        {"SOCKS 5 with user", "Socks5", PeerPort("VIDUDO_SOCKS5_AUTH_PORT"), "vidudo", "s3cret", "127.0.0.3"},
        {"SOCKS 5 wrong password", "Socks5", PeerPort("VIDUDO_SOCKS5_AUTH_PORT"), "vidudo", "wrong", ""},
        {"SOCKS 5 without user", "Socks5", PeerPort("VIDUDO_SOCKS5_AUTH_PORT"), "", "", ""},
        {"SOCKS 4", "Socks4", PeerPort("VIDUDO_SOCKS4_PORT"), "", "", "127.0.0.4"},
        {"SOCKS 4 in capitals", "SOCKS4", PeerPort("VIDUDO_SOCKS4_PORT"), "", "", "127.0.0.4"},
        {"SOCKS 5 in small letters", "socks5", PeerPort("VIDUDO_SOCKS5_PORT"), "", "", "127.0.0.2"},
        {"unknown type is SOCKS 5", "Socks9", PeerPort("VIDUDO_SOCKS5_PORT"), "", "", "127.0.0.2"},
        {"empty type is SOCKS 5", "", PeerPort("VIDUDO_SOCKS5_PORT"), "", "", "127.0.0.2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_NE(0, c.port);
        fixture.Reset();
        events.clear();
        SysInfo->ProxyEnabled = true;
        SysInfo->ProxyType = c.type;
        SysInfo->ProxyServer = "127.0.0.1";
        SysInfo->ProxyPort = IntToStr(c.port);
        SysInfo->ProxyUserName = c.user;
        SysInfo->ProxyPasswd = c.password;
        const bool ok = *c.peer != 0;
        TStringList names, values;
        if (ok)
            client->getaccountlist(names, values);
        else
            EXPECT_ANY_THROW(client->getaccountlist(names, values));
        EXPECT_EQ(ok, LoginDefault());
        if (!ok) {
            EXPECT_EQ((Strings{kFailed}), events);
            EXPECT_TRUE(fixture.Log().empty());
            continue;
        }
        client->CXZJ();
        const auto log = fixture.Log();
        ASSERT_EQ(4u, log.size());
        for (const auto& r : log)
            EXPECT_EQ(c.peer, r.peer) << c.name << " " << r.fields[2];
    }
    // A port that isn't a number, or a proxy text that isn't a host, is a failed login, not an
    // escaping exception nor a way around the proxy.
    const std::string fixturePort = IntToStr(port);
    const struct {
        const char* server;
        const char* port;
    } bad[] = {{"127.0.0.1", "10 80"}, {"127.0.0.1", "abc"}, {"127.0.0.1", "70000"}, {"", "1080"},
               {"http://127.0.0.1", fixturePort.c_str()}};
    for (const auto& b : bad) {
        fixture.Reset();
        events.clear();
        SysInfo->ProxyServer = b.server;
        SysInfo->ProxyPort = b.port;
        EXPECT_FALSE(LoginDefault()) << b.server << " " << b.port;
        EXPECT_EQ((Strings{kFailed}), events) << b.server << " " << b.port;
        EXPECT_TRUE(fixture.Log().empty()) << b.server << " " << b.port;
    }
    // Switched off again, the next login goes direct.
    SysInfo->ProxyEnabled = false;
    events.clear();
    EXPECT_TRUE(LoginDefault());
    EXPECT_EQ("127.0.0.1", fixture.Log().back().peer);
}
