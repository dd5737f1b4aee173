// The program's start-up and end, in this process (RunTradingClient, with message boxes
// intercepted) and as the real Vidudo.exe, against the trading-server fixture.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Program.h"
#include "crashreport/capture/ELeakHeader.h"
#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "tests/support/UiDriver.h"
#include "tests/support/FixturePeer.h"
#include "tests/trading/windows/TradingWindowsTest.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/MainUnit.h"

namespace {

using Strings = std::vector<std::string>;

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(GbkToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string LocaleText(LCID locale, LCTYPE type)
{
    wchar_t buf[80] = {};
    GetLocaleInfoW(locale, type, buf, 80);
    return WideToGbk(buf);
}

// The word before the object behind a window of another process (the framework keeps it in
// the window's user data): the leak tracker's guard when new allocated it with tracking on.
bool WordBeforeObject(DWORD pid, HWND window, uint32_t& word)
{
    const auto object = static_cast<uintptr_t>(GetWindowLongPtrW(window, GWLP_USERDATA));
    HANDLE process = OpenProcess(PROCESS_VM_READ, FALSE, pid);
    SIZE_T got = 0;
    if (process && object)
        ReadProcessMemory(process, reinterpret_cast<const void*>(object - 4), &word, 4, &got);
    if (process)
        CloseHandle(process);
    return got == 4;
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = PeerPort("VIDUDO_SERVER_PORT");
        ASSERT_NE(0, port) << "run this test through tests/server/with_peers.py";
        fixture.Reset();
        LoggedIn = false;
        DeleteFileW(GbkToWide(ProgramFolder() + "update.ran").c_str());
        // A run that goes wrong ends by a quit instead of hanging in a modal loop.
        watchdog = Later([] { PostQuitMessage(99); }, 30000);
    }
    void TearDown() override
    {
        CancelLater(watchdog);
        DeleteClientIni();
        // A quit reposted by a modal loop outlives the run that ended on it.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    std::string Ini(const std::string& appName = "测试交易系统")
    {
        return "[Application]\r\nAppName=" + appName + "\r\ngid=1001\r\n[NetWork]\r\nHostCount=1\r\nHostIdx=0\r\n"
               "HostName0=本地\r\nHost0=127.0.0.1\r\nPort0=" + IntToStr(port) + "\r\n";
    }
    Strings Commands()
    {
        Strings out;
        for (const auto& r : fixture.Log())
            out.push_back(r.fields[2]);
        return out;
    }
    Strings Texts()
    {
        Strings out;
        for (const auto& b : boxes.Seen)
            out.push_back(b.text);
        return out;
    }
    // Types the fixture's first account into the login window and clicks 登录.
    static void LogIn(HWND login, const char* password = "123456")
    {
        TypeInto(ui::FindByName("UserName", login), "80001");
        TypeInto(ui::FindByName("Passwd", login), password);
        ui::Click(ui::FindByName("loginbutton", login));
    }

    int port = 0;
    UINT_PTR watchdog = 0;
    TFixture fixture;
    ui::MessageBoxRecorder boxes;
};

}  // namespace

TEST_F(ProgramTest, StartUpThenLogin)
{
    WriteClientIni(Ini());
    bool checked = false;
    std::string loginCaption, title, url, date, time;
    Later([&] {
        HWND login = WaitForNamed("LoginForm");
        if (!login)
            return;
        loginCaption = ui::WindowText(login);
        title = Application ? Application->Title() : "";
        url = ServerURL;
        date = LocaleText(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE);
        time = LocaleText(LOCALE_USER_DEFAULT, LOCALE_STIMEFORMAT);
        LogIn(login);
        checked = true;
        // The main window stays after a login; end the loop as a user closing it would.
        Later([] { PostQuitMessage(0); }, 300);
    });
    EXPECT_EQ(0, RunTradingClient());
    ASSERT_TRUE(checked) << "no login window";
    EXPECT_EQ("测试交易系统 Ver 3.2", loginCaption);
    EXPECT_EQ("测试交易系统 Ver 3.2", title);
    EXPECT_EQ(FixtureURL(port), url);
    EXPECT_EQ("yyyy-MM-dd", date);
    EXPECT_EQ("HH:mm:ss", time);
    EXPECT_TRUE(LoggedIn);
    // After the login the main window asks for funds, orders, positions and main contracts.
    EXPECT_EQ((Strings{"accountlist", "WELCOME", "LOGIN", "CXZJ", "CXWT", "CXCC", "CXZLHY"}), Commands());
    EXPECT_TRUE(boxes.Seen.empty());
}

TEST_F(ProgramTest, ClosingTheLoginBySystemMenuEndsWithZero)
{
    WriteClientIni(Ini());
    bool closed = false;
    Later([&] {
        HWND login = WaitForNamed("LoginForm");
        if (!login)
            return;
        PostMessageW(login, WM_SYSCOMMAND, SC_CLOSE, 0);
        closed = true;
    });
    EXPECT_EQ(0, RunTradingClient());
    EXPECT_TRUE(closed);
    EXPECT_FALSE(LoggedIn);
    EXPECT_EQ((Strings{"accountlist"}), Commands());
}

TEST_F(ProgramTest, UpdateVersionStartsTheUpdaterAndEnds)
{
    WriteClientIni(Ini());
    fixture.Script(R"({"WELCOME": [{"lines": [["#", "#", "WELCOME", "229", "#"]]}]})");
    bool clicked = false;
    Later([&] {
        HWND login = WaitForNamed("LoginForm");
        if (!login)
            return;
        LogIn(login);
        clicked = true;
    });
    EXPECT_EQ(0, RunTradingClient());
    ASSERT_TRUE(clicked);
    EXPECT_EQ((Strings{"发现更新版本,点击确定后开始升级"}), Texts());
    EXPECT_FALSE(LoggedIn);
    EXPECT_EQ((Strings{"accountlist", "WELCOME"}), Commands()) << "no LOGIN after the hand-over";
    EXPECT_TRUE(ui::WaitFor([&] { return FileExists(ProgramFolder() + "update.ran"); }, 10000))
        << "update.exe was not started from the program's folder";
}

TEST_F(ProgramTest, FailedConfigurationReadEndsWithoutALogin)
{
    WriteClientIni("[NetWork]\r\nHostCount=abc\r\n");
    bool sawLogin = false;
    Later([&] { sawLogin = ui::FindByName("LoginForm") != nullptr; }, 10);
    EXPECT_EQ(0, RunTradingClient());
    EXPECT_EQ((Strings{"读出配置文件出错,请重新安装软件!"}), Texts());
    ASSERT_EQ(1u, boxes.Seen.size());
    EXPECT_EQ("Vidudo模拟交易系统", boxes.Seen[0].caption) << "the application's title before the configuration";
    EXPECT_FALSE(sawLogin);
    EXPECT_TRUE(fixture.Log().empty());
}

TEST_F(ProgramTest, FailedRereadInTheLoginWindowEndsTheProgram)
{
    WriteClientIni(Ini());
    bool clicked = false, sawProxyDialog = false;
    Later([&] {
        HWND login = WaitForNamed("LoginForm");
        if (!login)
            return;
        WriteClientIni("[NetWork]\r\nHostCount=x\r\n");
        Later([&] { sawProxyDialog = ui::FindByName("ProxyForm") != nullptr; }, 200);
        ui::Click(ui::FindByName("Button2", login));
        clicked = true;
    });
    EXPECT_EQ(0, RunTradingClient());
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(sawProxyDialog);
    EXPECT_EQ((Strings{"读出配置文件出错,请重新安装软件!"}), Texts());
    EXPECT_FALSE(LoggedIn);
}

TEST_F(ProgramTest, NoUsableSiteBuildsNoAddressAndSendsNothing)
{
    const std::string sites[] = {
        "HostCount=1\r\nHostIdx=4\r\nHostName0=本地\r\nHost0=127.0.0.1\r\nPort0=" + IntToStr(port) + "\r\n",
        "HostCount=0\r\n",
    };
    for (const std::string& network : sites) {
        fixture.Reset();
        ServerURL.clear();
        WriteClientIni("[Application]\r\ngid=1001\r\n[NetWork]\r\n" + network);
        std::string url = "<not seen>";
        Later([&] {
            HWND login = WaitForNamed("LoginForm");
            if (!login)
                return;
            url = ServerURL;
            LogIn(login);
            PostMessageW(login, WM_SYSCOMMAND, SC_CLOSE, 0);
        });
        EXPECT_EQ(0, RunTradingClient()) << network;
        EXPECT_EQ("", url) << network;
        EXPECT_TRUE(fixture.Log().empty()) << network;
        EXPECT_TRUE(boxes.Seen.empty()) << network;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
}

TEST_F(ProgramTest, TheProgramShowsItsLoginAndEndsWithZeroWhenClosed)
{
    // The real program in a folder of its own, with a "Client.ini" for the fixture.
    const std::string folder = ProgramFolder() + "program\\";
    const std::wstring ini = GbkToWide(folder + "Client.ini");
    DeleteFileW(ini.c_str());
    WriteClientIni(Ini("Vidudo期货模拟交易系统"));
    ASSERT_TRUE(CopyFileW(GbkToWide(ProgramFolder() + "Client.ini").c_str(), ini.c_str(), FALSE))
        << "GetLastError=" << GetLastError();
    ui::Program program(folder + "Vidudo.exe", "", folder);
    HWND login = program.WaitForWindow("LoginForm", 20000);
    ASSERT_NE(nullptr, login);
    EXPECT_EQ("Vidudo期货模拟交易系统 Ver 3.2", ui::WindowText(login));
    HWND accounts = ui::FindByName("accountname", login, program.Pid());
    ASSERT_NE(nullptr, accounts);
    EXPECT_TRUE(ui::WaitFor([&] { return ui::WindowText(accounts) == "演示基金"; }, 5000))
        << "the saved gid 1001 is preselected: " << ui::WindowText(accounts);
    // Stamped without leak options: the main form, made by new, carries no guard.
    uint32_t word = 0;
    ASSERT_TRUE(WordBeforeObject(program.Pid(), program.WaitForWindow("MainForm", 5000), word))
        << "GetLastError=" << GetLastError();
    EXPECT_NE(LeakGuard, word);
    PostMessageW(login, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(0, program.Wait(15000));
    EXPECT_EQ((Strings{"accountlist"}), Commands());
    DeleteFileW(ini.c_str());
}

TEST_F(ProgramTest, TheProgramTrackingLeaksLogsInAndEndsInTime)
{
    // Stamped with leak options 0x11: every block tracked, and at exit the leak report runs
    // after every static destructor; the program must still end promptly, each time.
    const std::string folder = ProgramFolder() + "program_leaks\\";
    const std::wstring ini = GbkToWide(folder + "Client.ini");
    // A leak report would travel the road into the log beside the program.
    const std::wstring log = GbkToWide(folder + "Vidudo.elf");
    DeleteFileW(log.c_str());
    WriteClientIni(Ini("Vidudo期货模拟交易系统"));
    ASSERT_TRUE(CopyFileW(GbkToWide(ProgramFolder() + "Client.ini").c_str(), ini.c_str(), FALSE))
        << "GetLastError=" << GetLastError();
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE(run);
        fixture.Reset();
        ui::Program program(folder + "Vidudo.exe", "", folder);
        HWND login = program.WaitForWindow("LoginForm", 20000);
        ASSERT_NE(nullptr, login);
        HWND accounts = ui::FindByName("accountname", login, program.Pid());
        ASSERT_TRUE(ui::WaitFor([&] { return ui::WindowText(accounts) == "演示基金"; }, 5000));
        // Another process's window: its text set and its button clicked by messages.
        SendMessageW(ui::FindByName("UserName", login, program.Pid()), WM_SETTEXT, 0, LPARAM(L"80001"));
        SendMessageW(ui::FindByName("Passwd", login, program.Pid()), WM_SETTEXT, 0, LPARAM(L"123456"));
        PostMessageW(ui::FindByName("loginbutton", login, program.Pid()), BM_CLICK, 0, 0);
        HWND main = program.WaitForWindow("MainForm", 15000);
        ASSERT_NE(nullptr, main);
        // Tracking is on: the main form, made by new, sits behind the tracker's guard.
        uint32_t word = 0;
        ASSERT_TRUE(WordBeforeObject(program.Pid(), main, word)) << "GetLastError=" << GetLastError();
        EXPECT_EQ(LeakGuard, word) << std::hex << word;
        ASSERT_TRUE(ui::WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 15000))
            << "commands: " << testing::PrintToString(Commands()) << " login text: "
            << ui::WindowText(ui::FindByName("UserName", login, program.Pid())) << " login visible "
            << IsWindowVisible(login);
        ASSERT_TRUE(ui::WaitFor([&] {
            const Strings c = Commands();
            return std::find(c.begin(), c.end(), "LOGIN") != c.end();
        }, 5000));
        PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
        const DWORD started = GetTickCount();
        EXPECT_EQ(0, program.Wait(10000));
        EXPECT_LT(GetTickCount() - started, 10000u);
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(log.c_str())) << "the program leaks nothing";
    DeleteFileW(ini.c_str());
}
