// The main window against the trading-server fixture, driven through the keyboard and mouse
// under Xvfb. The login itself is the login window's business: here a step in its place logs
// in through the connection module.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "framework/Thread.h"
#include "tests/support/UiDriver.h"
#include "tests/support/ClientIni.h"
#include "tests/support/FixturePeer.h"
#include "tests/support/ShellOpenRecorder.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/MainUnit.h"
#include "ui/browser/WbControlComponent.h"

namespace {

using Strings = std::vector<std::string>;

std::string LocaleText(LCID locale, LCTYPE type)
{
    wchar_t buf[80] = {};
    GetLocaleInfoW(locale, type, buf, 80);
    return WideToGbk(buf);
}

// A quote line of the fixture: code, exchange, limits, margin rate and multiplier.
std::string QuoteLine(const std::string& code, const std::string& exchange, const std::string& upper = "3800",
                      const std::string& lower = "3200", const std::string& margin = "0.08",
                      const std::string& multiplier = "10", const std::string& last = "3500")
{
    return R"(["#", "#", "HQXX", ")" + code + R"(", ")" + last + R"(", "3501", "12", "3499", "30", ")" + upper +
           R"(", ")" + lower + R"(", "3550", "3450", ")" + exchange + R"(", ")" + margin + R"(", "0.1", ")" +
           multiplier + R"("])";
}

// Every poll of the contract answers with the same line.
std::string QuoteScript(const std::string& line, int times = 40)
{
    std::string actions;
    for (int i = 0; i < times; ++i)
        actions += std::string(i ? ", " : "") + R"({"lines": [)" + line + "]}";
    return R"("QQHQ": [)" + actions + "]";
}

// The main window with the login done by the connection module instead of the login window,
// which is the login window's tests' business.
class TLoggedInMainForm : public TMainForm {
public:
    TLoggedInMainForm(TFixture& fixture, TModalResult answer) : TMainForm(nullptr), fixture_(fixture), answer_(answer) {}
    int requestsBeforeLogin = -1;

protected:
    TModalResult RunLogin() override
    {
        requestsBeforeLogin = static_cast<int>(fixture_.Log().size());
        SysInfo->LoginUser = "80001";
        SysInfo->LoginPasswd = "123456";
        return answer_ == mrOk && Client->Login("80001", "123456") ? mrOk : answer_;
    }

private:
    TFixture& fixture_;
    TModalResult answer_;
};

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = PeerPort("VIDUDO_SERVER_PORT");
        ASSERT_NE(0, port) << "run this test through tests/server/with_peers.py";
        fixture.Reset();
        app = std::make_unique<TApplication>();
        client = std::make_unique<TClient>();
        client->Http().ConnectTimeoutMs = 2000;
        client->Http().ExchangeTimeoutMs = 4000;
        *SysInfo = TSysInfo();
        ServerURL.clear();
        WriteConfig();
    }
    void WriteConfig()
    {
        WriteClientIni("[Application]\r\nAppName=期货练习\r\ngid=1001\r\nVarietyTitle=输入合约代码\r\n"
                 "[NetWork]\r\nHostCount=1\r\nHostIdx=0\r\nHostName0=本地\r\nHost0=127.0.0.1\r\nPort0=" +
                 IntToStr(port) + "\r\n" + codeSet);
    }
    void TearDown() override
    {
        form.reset();
        client.reset();
        app.reset();
        DeleteClientIni();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void Create()
    {
        auto f = std::make_unique<TLoggedInMainForm>(fixture, loginAnswer);
        loggedInForm = f.get();
        form = std::move(f);
        app->SetMainForm(form.get());
    }
    void Open()
    {
        Create();
        const DWORD start = GetTickCount();
        form->Show();
        // No page renders here: the wait for the first one must still end.
        EXPECT_LT(GetTickCount() - start, 15000u);
        ui::Activate(form->Handle());
        ASSERT_TRUE(ui::WaitFor([] { return LoggedIn; }, 8000));
        Settle();
    }
    // The queued exchanges are over: no worker has waited for the main thread for a while (a
    // new worker asks at once).
    void Settle()
    {
        DWORD quietSince = GetTickCount();
        ui::WaitFor([&] {
            if (PendingSynchronizeCount() != 0)
                quietSince = GetTickCount();
            return GetTickCount() - quietSince >= 200;
        }, 15000);
    }
    HWND Control(const char* name) { return ui::FindByName(name, form->Handle()); }
    // Later requests only; a reset would drop the scripts too.
    void Mark() { mark = fixture.Log().size(); }
    std::vector<TFixtureRequest> Since()
    {
        auto log = fixture.Log();
        log.erase(log.begin(), log.begin() + static_cast<long>(std::min(mark, log.size())));
        return log;
    }
    Strings Commands(bool withQuotes = false)
    {
        Strings out;
        for (const auto& r : Since())
            if (withQuotes || r.fields[2] != "QQHQ")
                out.push_back(r.fields[2]);
        return out;
    }
    std::vector<TFixtureRequest> Requests(const std::string& command)
    {
        std::vector<TFixtureRequest> out;
        for (const auto& r : Since())
            if (r.fields[2] == command)
                out.push_back(r);
        return out;
    }
    Strings Boxes()
    {
        Strings out;
        for (const auto& b : boxes.Seen)
            out.push_back(b.text);
        return out;
    }
    void Type(HWND edit, const std::string& text)
    {
        ui::Activate(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        ui::PressKey(VK_DELETE);
        if (!text.empty())
            ui::TypeText(text);
    }
    // Types the contract and leaves the field, which starts the poll; waits for the quote.
    void EnterContract(const std::string& code)
    {
        Type(Control("fhydm"), code);
        const std::string typed = form->fhydm->Text() + "/" + FocusName();
        ui::PressKey(VK_RETURN);
        ASSERT_TRUE(ui::WaitFor([&] { return SameText(client->Hqxx.Code, code); }, 5000))
            << code << " typed " << typed << " text '" << form->fhydm->Text() << "' focus " << FocusName() << " poll "
            << form->Timer2->Enabled() << " sent " << Requests("QQHQ").size();
    }
    // Price and quantity as the fields show them, then Enter in the quantity field submits.
    void Submit(const std::string& price, const std::string& quantity)
    {
        form->fwtjg->SetText(price);
        form->fwtsl->SetText(quantity);
        ui::Activate(Control("fwtsl"));
        Mark();
        boxes.Seen.clear();
        ui::PressKey(VK_RETURN);
        Settle();
    }
    static std::string FocusName()
    {
        TWinControl* focused = TWinControl::FindOwningControl(GetFocus());
        return focused ? focused->Name() : "<none>";
    }
    void Script(const std::string& body) { fixture.Script("{" + body + "}"); }

    int port = 0;
    size_t mark = 0;
    std::string codeSet;
    TModalResult loginAnswer = mrOk;
    TLoggedInMainForm* loggedInForm = nullptr;
    TFixture fixture;
    std::unique_ptr<TApplication> app;
    std::unique_ptr<TClient> client;
    std::unique_ptr<TMainForm> form;
    ui::MessageBoxRecorder boxes;
};

TEST_F(MainFormTest, StartUpCaptionFormatsListsAndPanesInOrder)
{
    Open();
    EXPECT_EQ("期货练习 Ver 3.2", form->Text());
    EXPECT_EQ("期货练习 Ver 3.2", app->Title());
    for (LCID locale : {LOCALE_USER_DEFAULT, LOCALE_SYSTEM_DEFAULT}) {
        EXPECT_EQ("yyyy-MM-dd", LocaleText(locale, LOCALE_SSHORTDATE)) << locale;
        EXPECT_EQ("HH:mm:ss", LocaleText(locale, LOCALE_STIMEFORMAT)) << locale;
    }
    EXPECT_EQ(0, loggedInForm->requestsBeforeLogin) << "something was sent before the login";
    EXPECT_EQ((Strings{"WELCOME", "LOGIN", "CXZJ", "CXWT", "CXCC", "CXZLHY"}), Commands());
    EXPECT_EQ("欢迎使用模拟交易系统", ui::WindowText(Control("pnlHint")));
    EXPECT_EQ("客户姓名:张三", ui::WindowText(Control("pnlInformation")));
    EXPECT_EQ(9, form->PageControl1->ActivePageIndex());
    EXPECT_EQ("93000", ui::WindowText(Control("kyzjCaption")));
    EXPECT_EQ("93000", ui::WindowText(Control("ecCaption")));
    EXPECT_EQ("7.00%", ui::WindowText(Control("fxlCaption")));
    const auto orders = ui::ListViewRows(Control("fwtlb"));
    ASSERT_EQ(1u, orders.size());
    EXPECT_EQ((Strings{"1", "m1105", "开仓", "买入", "3500", "2", "已报", "0", "09:30:00"}), orders[0]);
    EXPECT_EQ((Strings{"委托号", "合约", "开/平", "买/卖", "委托价格", "数量", "状态", "冻结资金", "委托时间"}),
              ui::ListViewColumns(Control("fwtlb")));
    EXPECT_EQ(1u, ui::ListViewRows(Control("fwtlb3")).size());
    const auto positions = ui::ListViewRows(Control("fcclb"));
    ASSERT_EQ(1u, positions.size());
    EXPECT_EQ((Strings{"m1105", "买入", "2", "3500", "7000", "120", "2", "2026-12-10"}), positions[0]);
    EXPECT_EQ(1, form->shzlhyList->Items().Count());
    EXPECT_EQ("铜-cu1105", form->shzlhyList->Items()[0]);
    EXPECT_EQ("沪深300-IF1105", form->zjzlhylist->Items()[0]);

    const std::string site = "http://127.0.0.1:" + IntToStr(port);
    // The autologin page first (it sets the session for the others), then the other three.
    Strings pages;
    ASSERT_TRUE(ui::WaitFor([&] { return (pages = fixture.Pages()).size() >= 4; }, 5000)) << pages.size();
    EXPECT_EQ("/autologinforapp.php?username=ODAwMDE%3D&password=MTIzNDU2", pages[0]);
    Strings rest(pages.begin() + 1, pages.end());
    std::sort(rest.begin(), rest.end());
    EXPECT_EQ((Strings{"/simulate_futures_forapp.php?ac=index&gid=1001",
                       "/simulate_futures_forapp.php?do=lswt&ac=lscj&gid=1001",
                       "/simulate_futures_forapp.php?do=lswt&ac=lswt&gid=1001"}),
              rest);
    EXPECT_TRUE(boxes.Seen.empty()) << boxes.Seen.front().text;
}

// A key pressed from inside the wait for the first page, as the program sees it.
HWND keyTarget = nullptr;
DWORD keyPressedAt = 0;

void CALLBACK PressF3(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    keyPressedAt = GetTickCount();
    PostMessageW(keyTarget, WM_KEYDOWN, VK_F3, 1 | (MapVirtualKeyW(VK_F3, MAPVK_VK_TO_VSC) << 16));
}

TEST_F(MainFormTest, FunctionKeysWorkWhileTheFirstPageLoads)
{
    fixture.DelayPage("/autologinforapp.php", 3);
    Create();
    DWORD shownAt = 0;
    form->TabSheet1->OnShow = [&](TObject*) {
        if (keyPressedAt && !shownAt)
            shownAt = GetTickCount();
    };
    keyTarget = form->Handle();
    keyPressedAt = 0;
    SetTimer(nullptr, 0, 300, PressF3);
    form->Show();
    const DWORD returnedAt = GetTickCount();
    ASSERT_NE(0u, keyPressedAt) << "the key was never pressed";
    EXPECT_LT(keyPressedAt, returnedAt) << "pressed after the page wait";
    ASSERT_NE(0u, shownAt) << "F3 was lost while the first page loaded";
    EXPECT_LT(shownAt - keyPressedAt, 1000u);
    EXPECT_EQ(0, form->PageControl1->ActivePageIndex());
}

void CALLBACK PressF3ThenF1(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    keyPressedAt = GetTickCount();
    SetForegroundWindow(keyTarget);
    ui::QueueKeys({VK_F3, VK_F1});
}

// F3 then F1 typed while the autologin page still loads: the notices pane is not sent to the
// index page before the autologin page is done, so the session is set first.
TEST_F(MainFormTest, PageKeysDuringTheAutologinPageNavigateNoPane)
{
    fixture.DelayPage("/autologinforapp.php", 3);
    Create();
    keyTarget = form->Handle();
    keyPressedAt = 0;
    SetTimer(nullptr, 0, 300, PressF3ThenF1);
    form->Show();
    ASSERT_NE(0u, keyPressedAt) << "the keys were never pressed";
    ui::Pump(500);
    EXPECT_EQ(mpNotices, form->PageControl1->ActivePageIndex()) << "the keys were lost";
    Strings pages;
    ASSERT_TRUE(ui::WaitFor([&] { return (pages = fixture.Pages()).size() >= 4; }, 5000)) << pages.size();
    ui::Pump(500);
    pages = fixture.Pages();
    ASSERT_FALSE(pages.empty());
    EXPECT_EQ(0u, pages[0].find("/autologinforapp.php")) << pages[0];
    EXPECT_EQ(1, std::count(pages.begin(), pages.end(), "/simulate_futures_forapp.php?ac=index&gid=1001"))
        << "the index page was asked for while the autologin page loaded";
}

TEST_F(MainFormTest, ClosingDropsWhatIsQueuedAndShowsNoBoxAfterwards)
{
    Open();
    Mark();
    boxes.Seen.clear();
    // Each would take seconds and answer with a box.
    Script(R"("CXWT": [{"delay": 2, "lines": [["#", "#", "MESSAGE", "迟到的消息"]]}],
              "CXCC": [{"delay": 2, "lines": [["#", "#", "MESSAGE", "迟到的消息"]]}])");
    client->CXWT();
    client->CXCC();
    const DWORD start = GetTickCount();
    SendMessageW(form->Handle(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(form->Handle()));
    ui::Pump(100);
    form.reset();
    client.reset();
    EXPECT_LT(GetTickCount() - start, 1500u);
    EXPECT_TRUE(boxes.Seen.empty()) << boxes.Seen.front().text;
    EXPECT_TRUE(Commands(true).empty()) << "sent after the close: " << Commands(true).front();
}

struct TCloser {
    HWND window;
    UINT message;
    WPARAM wParam;
    std::atomic<DWORD> sentAt{0};
};

DWORD WINAPI PostCloseLater(void* p)
{
    auto* t = static_cast<TCloser*>(p);
    Sleep(700);
    t->sentAt = GetTickCount();
    PostMessageW(t->window, t->message, t->wParam, 0);
    return 0;
}

// A close asked for while an exchange waits for a server that holds its answer for 20 s: the
// window closes and the client is gone within 3 s, whichever way the close was asked for.
TEST_F(MainFormTest, ClosingEndsAnExchangeInFlight)
{
    const char* scaleText = std::getenv("VIDUDO_TIME_SCALE");
    const double scale = scaleText && *scaleText ? std::max(1.0, std::atof(scaleText)) : 1.0;
    struct {
        const char* name;
        UINT message;
        WPARAM wParam;
    } cases[] = {{"close", WM_CLOSE, 0}, {"window menu's Close", WM_SYSCOMMAND, SC_CLOSE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        client->Http().ExchangeTimeoutMs = 30000;  // the program's own limit
        Script(R"("CXWT": [{"delay": 20, "lines": [["#", "#", "MESSAGE", "迟到的消息"]]}])");
        TCloser closer{form->Handle(), c.message, c.wParam};
        // From another thread, as the system asks, once the exchange is under way.
        HANDLE thread = CreateThread(nullptr, 0, PostCloseLater, &closer, 0, nullptr);
        client->CXWT();
        const bool closed = ui::WaitFor([&] { return closer.sentAt && !IsWindowVisible(form->Handle()); }, 25000);
        WaitForSingleObject(thread, 5000);
        CloseHandle(thread);
        form.reset();
        client.reset();
        const DWORD took = GetTickCount() - closer.sentAt;
        std::printf("[ closed an exchange in flight (%s) in %lu ms ]\n", c.name, static_cast<unsigned long>(took));
        EXPECT_TRUE(closed);
        EXPECT_LT(took, static_cast<DWORD>(3000 * scale));
        EXPECT_TRUE(boxes.Seen.empty()) << boxes.Seen.front().text;
        client = std::make_unique<TClient>();
        client->Http().ConnectTimeoutMs = 2000;
        client->Http().ExchangeTimeoutMs = 4000;
    }
}

// The notices pane is the main window's active control; the user goes to another window and
// comes back: the pane has the focus again.
TEST_F(MainFormTest, ComingBackToTheMainWindowGivesTheActivePaneTheFocus)
{
    Open();
    form->PageControl1->SetActivePageIndex(mpNotices);
    ui::Activate(form->Handle());
    form->SetActiveControl(form->gg);
    ui::Pump(100);
    TForm other(nullptr);
    other.SetBounds(40, 40, 240, 140);
    auto* edit = new TEdit(&other);
    edit->SetParent(&other);
    other.Show();
    ui::Activate(edit->Handle());
    ASSERT_EQ(edit->Handle(), GetFocus());
    const HWND pane = form->gg->Handle();
    SetForegroundWindow(form->Handle());
    // The focus control's request to the pane, read before anything else may move the focus.
    MSG msg{};
    bool asked = false;
    for (int i = 0; i < 100 && !asked; ++i) {
        asked = PeekMessageW(&msg, pane, WM_WB_REACTIVATE, WM_WB_REACTIVATE, PM_REMOVE);
        if (!asked)
            Sleep(20);
    }
    EXPECT_TRUE(asked) << "the focus control did not ask the pane to take the focus";
    if (asked)
        DispatchMessageW(&msg);
    EXPECT_TRUE(ui::WaitFor([&] { return GetFocus() == pane || IsChild(pane, GetFocus()); }, 3000))
        << "the focus is on " << ui::WindowText(GetFocus());
    other.Hide();
}

TEST_F(MainFormTest, CancelledLoginQuitsAndSendsNothing)
{
    loginAnswer = mrCancel;
    Create();
    form->Show();
    ui::Pump(100);
    EXPECT_FALSE(LoggedIn);
    MSG msg;
    bool quit = app->Terminated();
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        quit = quit || msg.message == WM_QUIT;
    EXPECT_TRUE(quit) << "no quit posted";
    // Pages shown before the login (F4 here) send nothing either.
    form->PageControl1->SetActivePageIndex(1);
    form->PageControl1->SetActivePageIndex(4);
    ui::Pump(200);
    EXPECT_TRUE(Commands(true).empty()) << Commands(true).front();
}

TEST_F(MainFormTest, ClockShowsTheTimeInTheTimeFormat)
{
    Open();
    ASSERT_TRUE(ui::WaitFor([this] { return !ui::WindowText(Control("pnlClock")).empty(); }, 2500));
    const std::string t = ui::WindowText(Control("pnlClock"));
    ASSERT_EQ(8u, t.size()) << t;
    EXPECT_EQ(':', t[2]) << t;
    EXPECT_EQ(':', t[5]) << t;
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_LE(std::abs(StrToIntDef(t.substr(0, 2), -1) - now.wHour), 1) << t;
}

TEST_F(MainFormTest, FunctionKeysSelectPagesAndAskForTheirLists)
{
    Open();
    const struct {
        WORD key;
        int page;
        Strings sent;
    } cases[] = {
        {VK_F4, 1, {"CXWT"}}, {VK_F5, 2, {"CXCJ"}}, {VK_F6, 3, {"CXCC"}}, {VK_F7, 4, {"CXZJ"}},
        {VK_F8, 5, {}},       {VK_F9, 6, {}},       {VK_F10, 7, {}},      {VK_F3, 0, {}},
        {VK_F1, 9, {}},       {VK_F2, 9, {}},       {VK_F11, 9, {}},
    };
    for (const auto& c : cases) {
        Mark();
        ui::Activate(form->Handle());
        ui::PressKey(c.key);
        Settle();
        ui::Pump(100);
        EXPECT_EQ(c.page, form->PageControl1->ActivePageIndex()) << "key " << c.key;
        EXPECT_EQ(c.sent, Commands()) << "key " << c.key;
    }
    EXPECT_EQ(1u, ui::ListViewRows(Control("fcjlb")).size());
    // The contract page asks only while its list is empty.
    Mark();
    form->PageControl1->SetActivePageIndex(8);
    Settle();
    EXPECT_EQ((Strings{"CXHY"}), Commands());
    const auto contracts = ui::ListViewRows(Control("hylb"));
    ASSERT_EQ(2u, contracts.size());
    EXPECT_EQ("m1105", contracts[0][0]);
    EXPECT_EQ("a", contracts[1][0]);
    EXPECT_EQ("大连", contracts[1][2]);
    form->PageControl1->SetActivePageIndex(0);
    Mark();
    form->PageControl1->SetActivePageIndex(8);
    ui::Pump(100);
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MainFormTest, QuotePollEveryOneAndAHalfSecondsStopsOffThePageAndOnAnUnknownCode)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    Mark();
    EnterContract("m1105");
    EXPECT_EQ("大连 M1105", ui::WindowText(Control("hydmCaption")));
    EXPECT_EQ("3500", ui::WindowText(Control("zxjgCaption")));
    ui::Pump(3300);
    const auto polls = Requests("QQHQ");
    ASSERT_GE(polls.size(), 3u);
    EXPECT_EQ("m1105", polls[0].fields[3]);
    EXPECT_EQ("#", polls[0].fields[4]);
    for (size_t i = 1; i < polls.size(); ++i) {
        const double gap = polls[i].arrival - polls[i - 1].arrival;
        EXPECT_GT(gap, 1.3) << i;
        EXPECT_LT(gap, 2.0) << i;
    }
    // Leaving the order page stops it.
    ui::Activate(form->Handle());
    ui::PressKey(VK_F5);
    ui::Pump(200);
    Mark();
    ui::Pump(2000);
    EXPECT_TRUE(Requests("QQHQ").empty());

    // An unknown code stops it with a box.
    ui::PressKey(VK_F3);
    Script(R"("QQHQ": [{"lines": [["#", "#", "HYDMCW"]]}])");
    boxes.Seen.clear();
    Type(Control("fhydm"), "zz999");
    ui::PressKey(VK_RETURN);
    ASSERT_TRUE(ui::WaitFor([this] { return !boxes.Seen.empty(); }, 4000));
    EXPECT_EQ((Strings{"合约代码输入错误"}), Boxes());
    Mark();
    ui::Pump(2000);
    EXPECT_TRUE(Requests("QQHQ").empty());
}

TEST_F(MainFormTest, FractionalPricesOnlyForTheFinancialExchangeAndGold)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    Submit("3500.5", "1");
    EXPECT_EQ((Strings{"合约委托价格应为整数"}), Boxes());
    EXPECT_TRUE(Requests("XD").empty());

    Script(QuoteScript(QuoteLine("au1106", "A", "400", "300", "0.1", "1000")));
    EnterContract("au1106");
    ASSERT_EQ("au1106", client->Hqxx.Code);
    Submit("350.05", "1");
    EXPECT_EQ((Strings{"委托成功"}), Boxes());
    const auto orders = Requests("XD");
    ASSERT_EQ(1u, orders.size());
    EXPECT_EQ((Strings{"开仓", "买入", "au1106", "350.05", "1", "0"}),
              Strings(orders[0].fields.begin() + 3, orders[0].fields.begin() + 9));
    EXPECT_EQ("CXWT", Commands().back()) << "the order list is asked for again";
}

TEST_F(MainFormTest, FundsCheckAndOrderableQuantity)
{
    Script(R"("CXZJ": [{"lines": [["#", "#", "ZJXX", "10000", "10000", "0", "0", "0", "0", "0", "0", "10000"]]}])");
    Open();
    form->PageControl1->SetActivePageIndex(0);
    Script(QuoteScript(QuoteLine("m1105", "B", "0", "0", "0.1", "10")) +
           R"(, "CXZJ": [{"lines": [["#", "#", "ZJXX", "10000", "10000", "0", "0", "0", "0", "0", "0", "10000"]]},
                         {"lines": [["#", "#", "ZJXX", "10000", "10000", "0", "0", "0", "0", "0", "0", "10000"]]}])");
    EnterContract("m1105");
    Submit("2000", "6");
    EXPECT_EQ((Strings{"可用资金不足"}), Boxes());
    EXPECT_EQ("5", ui::WindowText(Control("csCaption")));
    EXPECT_TRUE(Requests("XD").empty());
    Submit("2000", "5");
    EXPECT_EQ((Strings{"委托成功"}), Boxes());
    EXPECT_EQ(1u, Requests("XD").size());
}

TEST_F(MainFormTest, ZeroMultiplierMeansNothingOrderable)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    Script(QuoteScript(QuoteLine("m1105", "B", "0", "0", "0.1", "0")));
    EnterContract("m1105");
    Submit("2000", "1");
    EXPECT_EQ((Strings{"可用资金不足"}), Boxes());
    EXPECT_EQ("0", ui::WindowText(Control("csCaption")));
    EXPECT_TRUE(Requests("XD").empty());
}

TEST_F(MainFormTest, PriceAndQuantityChecks)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    const struct {
        const char* price;
        const char* quantity;
        const char* box;
        const char* focus;
    } cases[] = {
        {"3801", "1", "价格输入错误,价格不能高于涨停价格", "fwtjg"},
        {"3199", "1", "价格输入错误,价格不能低于跌停价格", "fwtjg"},
        {"0", "1", "无效的委托价格", "fwtjg"},
        {"abc", "1", "无效的委托价格", "fwtjg"},
        {"3500", "0", "无效的委托数量", "fwtsl"},
        {"3500", "abc", "无效的委托数量", "fwtsl"},
        {"3500", "-1", "无效的委托数量", "fwtsl"},
        {"3500", "$10", "无效的委托数量", "fwtsl"},
    };
    for (const auto& c : cases) {
        Submit(c.price, c.quantity);
        EXPECT_EQ((Strings{c.box}), Boxes()) << c.price << " " << c.quantity;
        TWinControl* focused = TWinControl::FindOwningControl(GetFocus());
        EXPECT_EQ(c.focus, focused ? focused->Name() : "<none>") << c.price << " " << c.quantity;
        EXPECT_TRUE(Requests("XD").empty()) << c.price << " " << c.quantity;
        EXPECT_TRUE(form->OkButton->Enabled());
    }
}

TEST_F(MainFormTest, ClosingOrdersGoThroughTheClosableQuantity)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    form->fwtfx->SetItemIndex(2);
    form->fmmfx->SetItemIndex(1);
    Script(R"("CXZDCC": [{"lines": [["#", "#", "ZDCCXX", "m1105", "3", "#"]]}])");
    Submit("3500", "5");
    EXPECT_EQ((Strings{"没有足够的持仓,最多能委托3手"}), Boxes());
    const auto queries = Requests("CXZDCC");
    ASSERT_EQ(1u, queries.size());
    EXPECT_EQ((Strings{"m1105", "平今", "卖出"}), Strings(queries[0].fields.begin() + 3, queries[0].fields.begin() + 6));
    EXPECT_TRUE(Requests("XD").empty());
    EXPECT_EQ("0", ui::WindowText(Control("csCaption")));

    // A failed query after a good one: the older answer doesn't count.
    Script(R"("CXZDCC": [{"status": 500}])");
    Submit("3500", "1");
    EXPECT_EQ((Strings{"服务器忙，请稍后再试"}), Boxes());
    EXPECT_TRUE(Requests("XD").empty());

    Submit("3500", "2");
    EXPECT_EQ((Strings{"委托成功"}), Boxes());
    const auto orders = Requests("XD");
    ASSERT_EQ(1u, orders.size());
    EXPECT_EQ("平今", orders[0].fields[3]);
    EXPECT_EQ("卖出", orders[0].fields[4]);
}

TEST_F(MainFormTest, OrderThatDidNotReachTheServerIsNotReportedPlaced)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    Script(R"("XD": [{"status": 500}])");
    Submit("3500", "1");
    EXPECT_EQ((Strings{"服务器连接失败,网络故障"}), Boxes());
    Submit("3500", "1");
    EXPECT_EQ((Strings{"委托成功"}), Boxes());
}

TEST_F(MainFormTest, RefusedOrderShowsOnlyTheServersText)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    Script(R"("XD": [{"lines": [["#", "#", "MESSAGE", "资金不足,委托失败"]]}])");
    Submit("3500", "1");
    EXPECT_EQ((Strings{"资金不足,委托失败"}), Boxes());
    ASSERT_EQ(1u, Requests("XD").size());
}

TEST_F(MainFormTest, MarketOrderTakesTheLatestPrice)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    ui::Click(Control("SJWTCheck"));
    EXPECT_FALSE(IsWindowEnabled(Control("fwtjg")));
    form->fwtjg->SetText("");
    client->Hqxx.Code.clear();
    ASSERT_TRUE(ui::WaitFor([this] { return !client->Hqxx.Code.empty(); }, 4000));
    EXPECT_EQ("3500", ui::WindowText(Control("fwtjg")));
    EXPECT_FALSE(IsWindowEnabled(Control("fwtjg")));
    form->fwtsl->SetText("1");
    ui::Activate(Control("fwtsl"));
    Mark();
    boxes.Seen.clear();
    ui::PressKey(VK_RETURN);
    Settle();
    EXPECT_EQ((Strings{"委托成功"}), Boxes());
    const auto orders = Requests("XD");
    ASSERT_EQ(1u, orders.size());
    EXPECT_EQ("3500", orders[0].fields[6]);
    EXPECT_EQ("1", orders[0].fields[8]);
    ui::Click(Control("SJWTCheck"));
    EXPECT_TRUE(IsWindowEnabled(Control("fwtjg")));
}

TEST_F(MainFormTest, CancelAsksFirstAndWaitsForTheServer)
{
    Open();
    ui::PressKey(VK_F4);
    ASSERT_TRUE(ui::WaitFor([this] { return form->fwtlb->Items().Count() == 1; }));
    TListItem* row = form->fwtlb->Items()[0];
    const RECT r = row->DisplayRect();
    const auto cancelRow = [&] {
        Mark();
        boxes.Seen.clear();
        ui::DoubleClick(Control("fwtlb"), (r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Settle();
        ui::Pump(100);
    };
    boxes.Answers.push_back(TModalAnswer::No);
    cancelRow();
    EXPECT_EQ((Strings{"确实要撤单吗?"}), Boxes());
    EXPECT_EQ(TMsgDlgButtons::YesNo, boxes.Seen.at(0).buttons);
    EXPECT_TRUE(Commands().empty());

    Script(R"("WTCD": [{"close": true}])");
    cancelRow();
    EXPECT_EQ((Strings{"确实要撤单吗?", "服务器连接失败,网络故障"}), Boxes());

    cancelRow();
    // The server answers with a message of its own: that one alone is shown.
    EXPECT_EQ((Strings{"确实要撤单吗?", "撤单成功"}), Boxes());
    const auto cancels = Requests("WTCD");
    ASSERT_EQ(1u, cancels.size());
    EXPECT_EQ("1", cancels[0].fields[3]);
    EXPECT_EQ("CXWT", Commands().back());
    Script(R"("CXWT": [{"lines": [{"f": ["#", "#", "WTXX", "1", "m1105", "开仓", "买入", "3500", "2", "0", "0",
                                          "2026-12-10 09:30:00", "已撤单"], "first": true}]}])");
    form->RefreshOrders();
    ASSERT_TRUE(ui::WaitFor([this] {
        const auto rows = ui::ListViewRows(Control("fwtlb"));
        return rows.size() == 1 && rows[0].at(6) == "已撤单";
    }));

    // A cancelled order isn't cancelled again.
    cancelRow();
    EXPECT_TRUE(boxes.Seen.empty());
    EXPECT_TRUE(Commands().empty());
}

TEST_F(MainFormTest, ClosingFromBothPositionLists)
{
    Open();
    ui::PressKey(VK_F6);
    ASSERT_TRUE(ui::WaitFor([this] { return form->fcclb->Items().Count() == 1; }));
    RECT r = form->fcclb->Items()[0]->DisplayRect();
    ui::DoubleClick(Control("fcclb"), (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ui::Pump(100);
    EXPECT_EQ(0, form->PageControl1->ActivePageIndex());
    EXPECT_EQ("m1105", ui::WindowText(Control("fhydm")));
    EXPECT_EQ(1, form->fmmfx->ItemIndex()) << "a bought position closes by selling";
    EXPECT_EQ(1, form->fwtfx->ItemIndex());
    EXPECT_EQ("2", ui::WindowText(Control("fwtsl")));
    EXPECT_EQ("2", ui::WindowText(Control("csCaption")));
    ASSERT_TRUE(ui::WaitFor([this] { return !client->Hqxx.Code.empty(); }, 4000)) << "the poll restarted";

    // The order page's own list: a position opened today fills the today boxes.
    form->fmmfx->SetItemIndex(0);
    form->PageControl2->SetActivePageIndex(1);
    ASSERT_TRUE(ui::WaitFor([this] { return form->fcclb2->Items().Count() == 1; }));
    r = form->fcclb2->Items()[0]->DisplayRect();
    ui::DoubleClick(Control("fcclb2"), (r.left + r.right) / 2, (r.top + r.bottom) / 2);
    Settle();
    ui::Pump(100);
    EXPECT_EQ(1, form->fmmfx->ItemIndex());
    EXPECT_EQ("2", ui::WindowText(Control("fwtsl")));
    EXPECT_EQ("2", ui::WindowText(Control("tbCaption")));
    EXPECT_EQ("0", ui::WindowText(Control("tsCaption")));
    EXPECT_EQ("0", ui::WindowText(Control("bdCaption")));
    EXPECT_EQ("0", ui::WindowText(Control("sdCaption")));
    EXPECT_EQ("2", ui::WindowText(Control("csCaption")));
}

TEST_F(MainFormTest, ArrowsAndEnterMoveBetweenFieldsWithoutChangingTheChoice)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");  // Enter went on to the direction
    const struct {
        WORD key;
        const char* focus;
    } steps[] = {
        {VK_DOWN, "fwtfx"}, {VK_UP, "fmmfx"}, {VK_RETURN, "fwtfx"}, {VK_RETURN, "fwtjg"}, {VK_UP, "fwtfx"},
        {VK_DOWN, "fwtjg"}, {VK_DOWN, "fwtsl"}, {VK_UP, "fwtjg"}, {VK_UP, "fwtfx"}, {VK_UP, "fmmfx"},
        {VK_UP, "fhydm"},
    };
    for (const auto& s : steps) {
        ui::PressKey(s.key);
        ui::Pump(50);
        TWinControl* focused = TWinControl::FindOwningControl(GetFocus());
        EXPECT_EQ(s.focus, focused ? focused->Name() : "<none>") << "key " << s.key;
        EXPECT_EQ(0, form->fmmfx->ItemIndex()) << "key " << s.key;
        EXPECT_EQ(0, form->fwtfx->ItemIndex()) << "key " << s.key;
    }
}

TEST_F(MainFormTest, QuickCodesAndQuickContracts)
{
    codeSet = "[CodeSet]\r\nQCODE1=m1105\r\nQKIND3=5\r\nQKIND5=3\r\nQKIND7=cu1105\r\n";
    WriteConfig();
    Open();
    EXPECT_EQ("m1105", ui::WindowText(Control("Q101")));
    EXPECT_EQ("5", ui::WindowText(Control("Q203")));
    form->PageControl1->SetActivePageIndex(0);
    // A single digit becomes its quick code, once: "3" gives "5", not "3" again and so on.
    Type(Control("fhydm"), "3");
    EXPECT_EQ("5", ui::WindowText(Control("fhydm")));
    Type(Control("fhydm"), "7");
    EXPECT_EQ("cu1105", ui::WindowText(Control("fhydm")));
    EXPECT_EQ(6, static_cast<int>(SendMessageW(Control("fhydm"), EM_GETSEL, 0, 0) >> 16)) << "caret at the end";

    // The quick-contract list: entry 1 only, and the poll quotes it.
    ui::Click(Control("QKEnabled"));
    ASSERT_EQ(1, form->fhydmlist->Items().Count());
    EXPECT_EQ("1 m1105", form->fhydmlist->Items()[0]);
    EXPECT_TRUE(IsWindowVisible(Control("fhydmlist")));
    EXPECT_FALSE(IsWindowVisible(Control("fhydm")));
    form->fhydmlist->SetItemIndex(0);
    Mark();
    ui::Activate(Control("fhydmlist"));
    ui::Activate(Control("fwtsl"));
    ASSERT_TRUE(ui::WaitFor([this] { return !Requests("QQHQ").empty(); }, 1200)) << "the first poll comes at once";
    EXPECT_EQ("m1105", Requests("QQHQ")[0].fields[3]);

    // Saving writes exactly what the edits show.
    form->PageControl1->SetActivePageIndex(7);
    form->Q1[0]->SetText("SR105");
    form->Q1[1]->SetText("");
    ui::Click(Control("BitBtn6"));
    EXPECT_EQ("SR105", ClientIniKey("CodeSet", "QCODE0"));
    EXPECT_EQ("", ClientIniKey("CodeSet", "QCODE1"));
    EXPECT_EQ("", ClientIniKey("CodeSet", "QCODE9"));
    EXPECT_EQ("SR105", QuickContracts[0]);
    EXPECT_EQ("", QuickContracts[1]);
}

TEST_F(MainFormTest, LinesThatDoNotConvertAddNoHalfRows)
{
    Open();
    Script(R"("CXCC": [{"lines": [
                 {"f": ["#", "#", "CCXX", "m1105", "买入", "3500", "#", "#", "5", "2", "120", "0", "2026-12-10", "7000",
                        "2026-12-10"], "first": true},
                 ["#", "#", "CCXX", "cu1105", "卖出", "60000", "#", "#", "#", "0", "10", "0", "2026-12-10", "900",
                  "2026-12-10"]]}],
              "CXCJ": [{"lines": [
                 {"f": ["#", "#", "CJXX", "1", "m1105", "买入", "开仓", "3500", "2", "5", "昨天"], "first": true},
                 ["#", "#", "CJXX", "2", "m1105", "买入", "开仓", "3500", "2", "#", "2026-12-10 09:31:00"]]}])");
    ui::PressKey(VK_F6);
    Settle();
    ui::Pump(100);
    EXPECT_EQ((std::vector<Strings>{{"m1105", "买入", "3", "3500", "7000", "120", "5", "2026-12-10"}}),
              ui::ListViewRows(Control("fcclb")));
    EXPECT_EQ(1, form->fcclb2->Items().Count());
    ui::PressKey(VK_F5);
    Settle();
    ui::Pump(100);
    EXPECT_EQ((std::vector<Strings>{{"1", "m1105", "开仓", "买入", "3500", "2", "5", "昨天"}}),
              ui::ListViewRows(Control("fcjlb")));
}

TEST_F(MainFormTest, TradeReportRefreshesOrdersPositionsAndTrades)
{
    Open();
    ASSERT_EQ(1, form->fcclb2->Items().Count());
    Script(R"("CXZJ": [{"lines": [["#", "#", "CJHB"]]}])");
    Mark();
    ui::PressKey(VK_F7);
    Settle();
    EXPECT_EQ((Strings{"CXZJ", "CXWT", "CXCC", "CXCJ"}), Commands());
    EXPECT_EQ(1, form->fcclb2->Items().Count());
    EXPECT_EQ(1u, ui::ListViewRows(Control("fwtlb")).size());
    EXPECT_EQ(1u, ui::ListViewRows(Control("fcjlb")).size());
}

TEST_F(MainFormTest, DoubleClickOnAQuotePriceTakesItAndItsDirection)
{
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("m1105");
    const struct {
        const char* label;
        const char* price;
        int direction;
    } cases[] = {{"SPCaption", "3501", 1}, {"BCCaption", "3499", 0}, {"SCCaption", "3501", 1}, {"BPCaption", "3499", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ui::DoubleClick(Control(c.label));
        EXPECT_EQ(c.price, ui::WindowText(Control("fwtjg")));
        EXPECT_EQ(c.direction, form->fmmfx->ItemIndex());
    }
    ui::DoubleClick(Control("zxjgCaption"));
    EXPECT_EQ("3500", ui::WindowText(Control("fwtjg")));
    EXPECT_EQ(0, form->fmmfx->ItemIndex()) << "the latest price leaves the direction";
}

// The user's locale writes "3500,5"; the quote labels hold "3500.5".
class CommaLocale {
public:
    CommaLocale()
    {
        GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved_, 8);
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L",");
    }
    ~CommaLocale() { SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, saved_[0] ? saved_ : L"."); }

private:
    wchar_t saved_[8] = {};
};

TEST_F(MainFormTest, PricesTheProgramWroteWorkUnderACommaLocale)
{
    const CommaLocale comma;
    ASSERT_EQ(',', UserDecimalSeparator());
    Script(QuoteScript(QuoteLine("au1106", "A", "400", "300", "0.1", "1000", "350.5")));
    Open();
    form->PageControl1->SetActivePageIndex(0);
    EnterContract("au1106");
    ASSERT_EQ("350.5", ui::WindowText(Control("zxjgCaption")));
    const auto order = [&](const char* what, const std::function<void()>& setPrice) {
        SCOPED_TRACE(what);
        setPrice();
        form->fwtsl->SetText("1");
        ui::Activate(Control("fwtsl"));
        Mark();
        boxes.Seen.clear();
        ui::PressKey(VK_RETURN);
        ui::WaitFor([this] { return !Requests("XD").empty() || !boxes.Seen.empty(); }, 5000);
        ui::Pump(200);
        EXPECT_EQ((Strings{"委托成功"}), Boxes());
        const auto orders = Requests("XD");
        ASSERT_EQ(1u, orders.size());
        EXPECT_EQ("350.5", orders[0].fields[6]) << "the server reads one number format";
    };
    order("double-clicked latest price", [&] { ui::DoubleClick(Control("zxjgCaption")); });
    order("typed with the user's separator", [&] { form->fwtjg->SetText("350,5"); });
    order("linked price", [&] {
        ui::Click(Control("LianDong"));
        ASSERT_TRUE(ui::WaitFor([this] { return ui::WindowText(Control("fwtjg")) == "350.5"; }, 4000));
    });
    ui::Click(Control("LianDong"));
    order("market order", [&] {
        ui::Click(Control("SJWTCheck"));
        ASSERT_TRUE(ui::WaitFor([this] { return ui::WindowText(Control("fwtjg")) == "350.5"; }, 4000));
    });
}

TEST_F(MainFormTest, ChangePasswordOpensTheSiteInTheUsersBrowser)
{
    const TShellOpenRecorder shell;
    ASSERT_TRUE(shell.Installed()) << "GetLastError=" << GetLastError();
    Open();
    ui::Activate(form->Handle());
    ui::PressKey(VK_F10);
    ui::Click(Control("BitBtn1"));
    const std::string opened = shell.WaitForOpened();
    EXPECT_EQ("http://127.0.0.1:" + IntToStr(port) + "/cp.php?ac=password", opened);
}

}  // namespace
