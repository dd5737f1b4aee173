// E-mail delivery, the send-progress window and the delivery of the running program, against
// the peers of mail_peers.py (aiosmtpd and scripted SMTP servers), a test MAPI provider and a
// fake mail program, under Wine with a display.
#include <windows.h>
#include <commctrl.h>
#include <minizip/unzip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "crashreport/capture/EDialogDispatch.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/EDeliveryWin.h"
#include "crashreport/delivery/EMailSend.h"
#include "crashreport/delivery/ESendProgress.h"
#include "crashreport/delivery/ESockets.h"
#include "crashreport/delivery/EWebSend.h"
#include "framework/CodePage.h"
#include "tests/crashreport/delivery/LogSamples.h"
#include "framework/Dialogs.h"

namespace {

std::string Env(const char* name)
{
    char value[1024];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n && n < sizeof value ? std::string(value, n) : std::string();
}
uint16_t Port(const char* name) { return static_cast<uint16_t>(std::stoi(Env(name))); }

// The peers' folder as Wine sees the host's file system.
std::string PeerDir()
{
    std::string dir = "Z:" + Env("VIDUDO_PEER_DIR");
    std::replace(dir.begin(), dir.end(), '/', '\\');
    return dir + "\\";
}

std::string ReadFile(const std::string& name)
{
    std::ifstream f(name, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& name, const std::string& bytes)
{
    std::ofstream f(name, std::ios::binary);
    f << bytes;
}

std::vector<std::string> FilesLike(const std::string& folder, const std::string& pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + pattern).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// The messages aiosmtpd stored so far, oldest first.
std::vector<std::string> StoredMessages()
{
    std::vector<std::string> messages;
    for (int n = 1;; ++n) {
        const std::string name = PeerDir() + "msg-" + std::to_string(n) + ".eml";
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) return messages;
        messages.push_back(ReadFile(name));
    }
}

std::vector<std::string> WaitMessages(size_t count, int ms = 15000)
{
    for (int waited = 0; waited < ms; waited += 100) {
        auto m = StoredMessages();
        if (m.size() >= count) return m;
        Sleep(100);
    }
    return StoredMessages();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) lines.push_back(text.substr(at, end - at));
    if (at < text.size()) lines.push_back(text.substr(at));
    return lines;
}

std::string Work()
{
    static const std::string dir = [] {
        std::string d = TempFolderPath() + "vidudo-mail-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(d.c_str(), nullptr);
        return d;
    }();
    return dir;
}

std::vector<std::string> traced;
void Trace(const std::string& text) { traced.push_back(text); }

struct MailTest : testing::Test {
    MessageBoxHook previous;
    std::vector<TMessageBoxRequest> boxes;
    void SetUp() override
    {
        StartWinSock();
        previous = SetMessageBoxHook([this](const TMessageBoxRequest& r) {
            boxes.push_back(r);
            return TModalAnswer::Ok;
        });
        traced.clear();
        SetSendProgressTrace(Trace);
        ClearLastWarning();
    }
    void TearDown() override
    {
        SetSendProgressTrace(nullptr);
        SetMessageBoxHook(previous);
    }
};

TMailSend Mail(const std::string& recipients)
{
    TMailSend mail;
    mail.Recipients = recipients;
    mail.Subject = "Crash report";
    mail.Body = "first line\r\n.\r\n.hidden\r\nlast line";
    return mail;
}

TSmtpServer Server(const char* portName, std::string user = "", std::string password = "")
{
    TSmtpServer s;
    s.Sender = "crash@vidudo.test";
    s.Server = "127.0.0.1";
    s.Port = Port(portName);
    s.User = std::move(user);
    s.Password = std::move(password);
    return s;
}

TEST_F(MailTest, TwoRecipientsGetOneMessageEach)
{
    const size_t before = StoredMessages().size();
    TMailSend mail = Mail(" a@x.test; ;b@y.test ");
    const std::string png(120, '\x89'), zip = "PK\x03\x04 zip bytes";
    WriteFile(Work() + "shot.png", png);
    WriteFile(Work() + "BugReport.zip", zip);
    mail.Files.Add(Work() + "shot.png");
    mail.Files.Add(Work() + "missing.txt");
    mail.Files.Add(Work() + "BugReport.zip");
    mail.DisplayNames.Add("shot.png");
    mail.DisplayNames.Add("missing.txt");
    mail.DisplayNames.Add("BugReport__PC1.zip");
    ASSERT_TRUE(SendBySmtp(mail, Server("VIDUDO_SMTP_PORT"))) << LastWarningText();
    const auto messages = WaitMessages(before + 2);
    ASSERT_EQ(before + 2, messages.size());
    const char* const recipients[] = {"a@x.test", "b@y.test"};
    for (int i = 0; i < 2; ++i) {
        const std::string& m = messages[before + i];
        SCOPED_TRACE(m.substr(0, 400));
        const auto lines = Lines(m);
        std::vector<std::string> heads;
        for (const auto& l : lines) {
            if (l == "\r") break;
            heads.push_back(l.substr(0, l.find(':')));
        }
        EXPECT_EQ((std::vector<std::string>{"Date", "From", "Subject", "To", "Content-Type", "MIME-Version", "Message-ID"}), heads);
        EXPECT_NE(std::string::npos, m.find("\r\nTo: <" + std::string(recipients[i]) + ">\r\n"));
        EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "To: <" + std::string(recipients[i]) + ">\r"));
        EXPECT_NE(std::string::npos, m.find("Content-Type: multipart/mixed; boundary=\"=_xcjvnxkbhvfkxzhfdbvzldjhfv\";\r\n"));
        EXPECT_NE(std::string::npos, m.find("\r\nfirst line\r\n.\r\n.hidden\r\nlast line\r\n"));
        EXPECT_NE(std::string::npos, m.find("Content-Type: image/png;\r\n        name=\"shot.png\"\r\n"));
        EXPECT_NE(std::string::npos,
                  m.find("Content-Type: application/octet-stream;\r\n        name=\"BugReport__PC1.zip\"\r\n"));
        EXPECT_EQ(std::string::npos, m.find("missing.txt"));
        // 120 bytes: 160 characters of Base64, two lines of 80, each ending CR LF.
        const size_t shot = m.find("filename=\"shot.png\"\r\n\r\n");
        ASSERT_NE(std::string::npos, shot);
        const std::string base64 = m.substr(shot + 23, 164);
        EXPECT_EQ("\r\n", base64.substr(80, 2));
        EXPECT_EQ("\r\n", base64.substr(162, 2));
        EXPECT_EQ("\r\n--=_xcjvnxkbhvfkxzhfdbvzldjhfv--\r\n", m.substr(m.size() - 36));
        EXPECT_NE(std::string::npos, m.find("From: \""));
    }
}

TEST_F(MailTest, ChineseSubjectAndBody)
{
    // Checked after the run by Python's email package (mail_peers.py).
    TMailSend mail = Mail("a@x.test");
    mail.Subject = "崩溃报告 1.0：程序在处理行情数据时访问了无效的地址，请查看附件里的日志和截图";  // two encoded words
    mail.Body = "程序出错了。\r\n第二行";
    TSmtpServer server = Server("VIDUDO_SMTP_PORT");
    server.Sender = "技术支持 <crash@vidudo.test>";
    EXPECT_TRUE(SendBySmtp(mail, server));
}

std::vector<std::string> SessionLines(uint16_t port, size_t before)
{
    std::vector<std::string> sessions = FilesLike(PeerDir(), "session-" + std::to_string(port) + "-*.log");
    if (sessions.size() <= before) return {};
    std::vector<std::string> lines;
    Sleep(300);
    for (auto& l : Lines(ReadFile(PeerDir() + sessions.back())))
        if (l.rfind("D ", 0) != 0) lines.push_back(l.substr(0, l.find_first_of(" \r")));
    return lines;
}

TEST_F(MailTest, CredentialsAreSentOnlyWhenTheServerAsksForThem)
{
    for (const char* portName : {"VIDUDO_SCRIPT_SMTP_PORT", "VIDUDO_AUTH502_PORT"}) {
        SCOPED_TRACE(portName);
        const uint16_t port = Port(portName);
        const size_t before = FilesLike(PeerDir(), "session-" + std::to_string(port) + "-*.log").size();
        EXPECT_TRUE(SendBySmtp(Mail("a@x.test"), Server(portName, "mailer", "s3cret")));
        std::vector<std::string> expected = {"EHLO", "RSET", "AUTH", "bWFpbGVy", "czNjcmV0", "MAIL", "RCPT", "DATA", "<closed>"};
        if (std::string(portName) == "VIDUDO_AUTH502_PORT") expected.erase(expected.begin() + 3, expected.begin() + 5);
        EXPECT_EQ(expected, SessionLines(port, before));
    }
}

TEST_F(MailTest, OneRefusedRecipientDoesNotStopTheOthers)
{
    const uint16_t port = Port("VIDUDO_SCRIPT_SMTP_PORT");
    const size_t before = FilesLike(PeerDir(), "session-" + std::to_string(port) + "-*.log").size();
    EXPECT_TRUE(SendBySmtp(Mail("bad@x.test;b@x.test"), Server("VIDUDO_SCRIPT_SMTP_PORT")));
    EXPECT_EQ(before + 2, FilesLike(PeerDir(), "session-" + std::to_string(port) + "-*.log").size());
    EXPECT_FALSE(SendBySmtp(Mail("bad@x.test"), Server("VIDUDO_SCRIPT_SMTP_PORT")));
    EXPECT_EQ(TDuruvaDodErrorCode::eeEmailSMTPError, LastWarningCode());
    EXPECT_NE(std::string::npos, LastWarningText().find("[SMTP]")) << LastWarningText();
}

// Only in the namespace of smtp_direct_netns.py, where port 25 and the resolver are the test's.
TEST_F(MailTest, DirectToTheExchangerOfEachRecipient)
{
    if (Env("VIDUDO_SMTP_PORT").size()) GTEST_SKIP() << "needs the namespace";
    TSmtpServer server;
    server.Direct = true;
    server.Sender = "crash@vidudo.test";
    server.Server = "192.0.2.1";  // not asked in direct mode
    server.Port = 2525;           // direct mode uses 25
    EXPECT_TRUE(SendBySmtp(Mail("a@nx.test;b@x.test"), server)) << LastWarningText();
    const auto messages = WaitMessages(1);
    ASSERT_EQ(1u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].find("\r\nTo: <b@x.test>\r\n"));
    EXPECT_NE(std::string::npos, LastWarningText().find("nx.test")) << LastWarningText();
}

// The window of thread mode, opened as the delivery opens it.
struct ProgressTest : MailTest {
    TVurazaModuleOptions options{"C:\\app\\Test.exe"};
    ProgressTest()
    {
        options.SetSendFlags(0x1);
        options.SetMailMethod(2);
    }
    void TearDown() override
    {
        EndSendProgress();
        MailTest::TearDown();
    }
    static int Bar() { return static_cast<int>(SendDlgItemMessageW(SendProgressWindow.load(), 101, PBM_GETPOS, 0, 0)); }
    static std::string Status()
    {
        wchar_t text[256] = {};
        GetDlgItemTextW(SendProgressWindow.load(), 100, text, 256);
        return WideToGbk(text);
    }
};

TEST_F(ProgressTest, NoWindowWithoutTheFlag)
{
    options.SetSendFlags(0);
    BeginSendProgress(options, {}, true);
    EXPECT_FALSE(SendProgressOpen());
    EXPECT_EQ(nullptr, FindWindowW(L"#32770", L"Send."));
    SetSendProgressText("x");
    ShowConnectionStatus(0, 0);
    EXPECT_TRUE(traced.empty());
}

TEST_F(ProgressTest, StatesMoveTheBarForwardAndResetAtTheStart)
{
    BeginSendProgress(options, {}, false);
    ASSERT_TRUE(SendProgressOpen());
    for (int state = 0; state < 5; ++state) {
        ShowConnectionStatus(state, 0);
        EXPECT_EQ(5 * (state + 1), Bar());
    }
    EXPECT_EQ("Searching...", Status());
    SetSendProgressPosition(10);
    EXPECT_EQ(25, Bar());
    ShowConnectionStatus(6, 50);
    EXPECT_EQ(68, Bar());
    ShowConnectionStatus(0, 0);
    EXPECT_EQ(5, Bar());
    ShowUploadStatus(0, 0, 0);
    EXPECT_EQ(0, Bar());
    ShowUploadStatus(2, 0, 0);  // an empty total
    EXPECT_EQ(0, Bar());
    ShowUploadStatus(2, 4, 3);
    EXPECT_EQ(75, Bar());
    EndSendProgress();
    EXPECT_FALSE(SendProgressOpen());
}

TEST_F(ProgressTest, TwoRecipientsShowTheirNumbers)
{
    BeginSendProgress(options, {}, true);
    ASSERT_TRUE(SendProgressOpen());
    EXPECT_TRUE(SendBySmtp(Mail("a@x.test;b@y.test"), Server("VIDUDO_SMTP_PORT")));
    EXPECT_FALSE(SendProgressOpen());  // closed once, at the end
    const std::vector<std::string> expected = {
        "Message 1/2: Connecting with server...", "Message 1/2: Connected with server.", "Message 1/2: Sending message...",
        "Message 2/2: Connecting with server...", "Message 2/2: Connected with server.", "Message 2/2: Sending message..."};
    EXPECT_EQ(expected, traced);
}

TEST_F(ProgressTest, InlineWindowLivesInTheCallingThread)
{
    BeginSendProgress(options, {true, false}, false);
    ASSERT_TRUE(SendProgressOpen());
    EXPECT_EQ(GetCurrentThreadId(), GetWindowThreadProcessId(SendProgressWindow.load(), nullptr));
    EXPECT_TRUE(IsWindowVisible(SendProgressWindow.load())) << "the user sees the inline window";
    SetSendProgressText("hello");
    EXPECT_EQ("hello", Status());
    EndSendProgress();
    EXPECT_FALSE(SendProgressOpen());
    BeginSendProgress(options, {true, true}, false);  // the exception dialog failed
    EXPECT_FALSE(SendProgressOpen());
}

// MAPI and mailto through the test provider and the fake mail program.
struct ShellMailTest : MailTest {
    std::string folder, log, mailerLog;
    void SetUp() override
    {
        MailTest::SetUp();
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, MAX_PATH);
        folder = exe;
        folder.resize(folder.rfind('\\') + 1);
        log = Work() + "mapi.log";
        mailerLog = Work() + "mailer.log";
        DeleteFileA(log.c_str());
        DeleteFileA(mailerLog.c_str());
        SetEnvironmentVariableA("VIDUDO_MAPI_LOG", log.c_str());
        SetEnvironmentVariableA("VIDUDO_MAILER_LOG", mailerLog.c_str());
        SetKey(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail", nullptr, "VidudoTestMail");
        SetKey(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail\\VidudoTestMail", "DLLPath", folder + "mapi_provider.dll");
        SetKey(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, "\"" + folder + "fake_mailer.exe\" %1");
    }
    static void SetKey(HKEY root, const char* path, const char* name, const std::string& value)
    {
        HKEY key;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
};

TEST_F(ShellMailTest, TheProviderGetsTheRecipientsAndTheZip)
{
    WriteFile(Work() + "BugReport.zip", "zip");
    TMailSend mail = Mail("a@x.test");
    mail.Files.Add(Work() + "BugReport.zip");
    mail.DisplayNames.Add("BugReport__PC1.zip");
    mail.ShowDialog = true;
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    for (const char* result : {"0", "1"}) {
        DeleteFileA(log.c_str());
        SetEnvironmentVariableA("VIDUDO_MAPI_RESULT", result);
        EXPECT_TRUE(SendByMapi(mail));
        const std::string text = ReadFile(log);
        EXPECT_NE(std::string::npos, text.find("logon parent=0 profile=(null) password=(null) flags=1\n")) << text;
        EXPECT_NE(std::string::npos, text.find(" flags=9 subject=Crash report note=first line")) << text;
        EXPECT_NE(std::string::npos, text.find("recip class=1 name=a@x.test address=SMTP:a@x.test\n")) << text;
        EXPECT_NE(std::string::npos,
                  text.find("file flags=0 position=-1 path=" + Work() + "BugReport.zip name=BugReport__PC1.zip\n")) << text;
        EXPECT_NE(std::string::npos, text.find("logoff session=77 parent=0 flags=0")) << text;
        char after[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, after);
        EXPECT_STREQ(before, after);
    }
    // Long names stay in their buffers; no more than 32 recipients and 32 attachments.
    std::string many;
    for (int i = 0; i < 40; ++i) many += std::string(300, 'a' + i % 26) + "@x.test;";
    TMailSend crowded = Mail(many);
    for (int i = 0; i < 40; ++i) {
        const std::string name = Work() + "file" + std::to_string(i) + ".txt";
        WriteFile(name, "x");
        crowded.Files.Add(name);
    }
    DeleteFileA(log.c_str());
    SetEnvironmentVariableA("VIDUDO_MAPI_RESULT", "0");
    EXPECT_TRUE(SendByMapi(crowded));
    const std::string text = ReadFile(log);
    EXPECT_NE(std::string::npos, text.find("recips=32 files=32")) << text.substr(0, 300);
    EXPECT_NE(std::string::npos, text.find("path=" + Work() + "file31.txt name=file31.txt\n"));
    EXPECT_EQ(std::string::npos, text.find("file32.txt"));
    EXPECT_NE(std::string::npos, text.find("name=" + std::string(256, 'a') + " address=SMTP:" + std::string(251, 'a') + "\n"));
    EXPECT_EQ(GetFileAttributesA(mailerLog.c_str()), INVALID_FILE_ATTRIBUTES);

    // A path longer than a name's 256 bytes goes whole.
    const std::string deep = Work() + std::string(258 - Work().size() - 4, 'p') + ".zip";
    ASSERT_GT(deep.size(), 256u);
    WriteFile(deep, "zip");
    TMailSend deepMail = Mail("a@x.test");
    deepMail.Files.Add(deep);
    deepMail.DisplayNames.Add("BugReport.zip");
    DeleteFileA(log.c_str());
    EXPECT_TRUE(SendByMapi(deepMail));
    EXPECT_NE(std::string::npos, ReadFile(log).find("path=" + deep + " name=BugReport.zip\n")) << ReadFile(log);
    DeleteFileA(deep.c_str());
}

TEST_F(ShellMailTest, AFailedSendFallsBackToTheMailProgram)
{
    TVurazaModuleOptions options("C:\\app\\Test.exe");
    options.SetMailMethod(1);
    options.SetMailRecipients("a@x.test");
    options.SetMailSubject("Crash report");
    options.SetMailBody("Hello");
    options.SetSendFlags(0x2);
    options.SetBehaviourFlags(0);
    options.SetLogFilePath(Work() + "Test.elf");
    TDeliveryJob job;
    job.Options = &options;
    job.Report.Files.TempFolder = Work();
    job.Report.Files.ProcessId = GetCurrentProcessId();
    job.Report.LogReportText = "log";
    job.Report.LastReportText = std::string(100 * 1024, 'r');
    SetEnvironmentVariableA("VIDUDO_MAPI_RESULT", "2");
    StartSendReport(job);
    const std::string line = ReadFile(mailerLog);
    EXPECT_EQ(0u, line.find("\"" + folder + "fake_mailer.exe\" mailto:a@x.test?Subject=Crash%20report&Body=Hello%0D%0A%0D%0A%0D%0Arrr"))
        << line.substr(0, 300);
    EXPECT_LT(line.size(), 32767u);
    EXPECT_NE(std::string::npos, ReadFile(log).find("send session=77"));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("The message was sent successfully.", boxes[0].text);
    EXPECT_EQ(TMsgDlgType::Information, boxes[0].type);
}

// The whole delivery of the running program, inline and in its thread.
struct DriverTest : MailTest {
    TVurazaModuleOptions options{"C:\\app\\Test.exe"};
    TDeliveryJob job;
    DriverTest()
    {
        options.SetMailMethod(2);
        options.SetSmtpServer("127.0.0.1");
        options.SetSmtpServerPort(static_cast<int16_t>(Port("VIDUDO_SMTP_PORT")));
        options.SetMailRecipients("a@x.test");
        options.SetSendFlags(0x2 | 0x100);
        options.SetBehaviourFlags(0);
        options.SetLogFilePath(Work() + "Test.elf");
        job.Options = &options;
        job.Report.Files.TempFolder = Work();
        job.Report.Files.ProcessId = GetCurrentProcessId();
        job.Report.Files.ExceptionTime = 45322.999988;
        job.Report.LogReportText = "the report in the log";
        job.Report.LastReportText = "the report";
    }
    std::string WorkFolder() const { return ReportWorkFolder(job.Report.Files); }
};

TEST_F(DriverTest, InlineDeliveryMailsTheZipAndCleansUp)
{
    const size_t before = StoredMessages().size();
    StartSendReport(job);
    const auto messages = WaitMessages(before + 1);
    ASSERT_EQ(before + 1, messages.size());
    EXPECT_NE(std::string::npos, messages.back().find("name=\"BugReport__20240131235959.zip\""));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("The message was sent successfully.", boxes[0].text);
    EXPECT_EQ(2u, FilesLike(WorkFolder(), "*").size());  // only "." and "..": SendReport deleted its files
    CheckCrashRate(job);  // the road's next step
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WorkFolder().c_str()));
}

TEST_F(DriverTest, ThreadDeliveryHoldsTheLockAndTellsTheHandlers)
{
    options.SetSendFlags(0x2 | 0x80);
    std::atomic<int> locked{0}, unlocked{0};
    std::atomic<unsigned> heir{0}, holder{0};
    std::vector<int> actions;
    TDeliveryHooks hooks;
    hooks.PassHandlingLock = [&](unsigned threadId) { heir = threadId; };
    hooks.EnterHandlingLock = [&] {
        holder = GetCurrentThreadId();
        ++locked;
    };
    hooks.LeaveHandlingLock = [&] { ++unlocked; };
    hooks.ActionNotify = [&](int action, bool&) { actions.push_back(action); };
    SetDeliveryHooks(hooks);
    const size_t before = StoredMessages().size();
    StartSendReport(job);
    for (int waited = 0; unlocked == 0 && waited < 20000; waited += 50) Sleep(50);
    SetDeliveryHooks({});
    EXPECT_EQ(1, locked.load());
    EXPECT_EQ(1, unlocked.load());
    // The lock was passed on to the thread that then took it.
    EXPECT_NE(0u, heir.load());
    EXPECT_EQ(heir.load(), holder.load());
    EXPECT_EQ((std::vector<int>{4, 5}), actions);
    EXPECT_EQ(before + 1, StoredMessages().size());
    EXPECT_EQ(1u, boxes.size());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WorkFolder().c_str()));
}

// A hook whose second copy on the sending thread raises: the thread's own copy of the hooks
// goes through, making its platform object fails.
struct TSecondCopyRaises {
    static inline thread_local int copies = 0;
    static inline std::atomic<DWORD> sender{0};
    TSecondCopyRaises() = default;
    TSecondCopyRaises(const TSecondCopyRaises&)
    {
        if (GetCurrentThreadId() == sender.load() && ++copies == 2)
            throw std::runtime_error("no platform");
    }
    void operator()(int, bool&) const {}
};

TEST_F(DriverTest, ThreadDeliveryLeavesTheLockWhenItsPlatformCannotBeMade)
{
    options.SetSendFlags(0x2 | 0x80);
    std::atomic<int> locked{0}, unlocked{0};
    TDeliveryHooks hooks;
    hooks.PassHandlingLock = [&](unsigned threadId) { TSecondCopyRaises::sender = threadId; };
    hooks.EnterHandlingLock = [&] { ++locked; };
    hooks.LeaveHandlingLock = [&] { ++unlocked; };
    hooks.ActionNotify = TSecondCopyRaises();
    SetDeliveryHooks(hooks);
    StartSendReport(job);
    EXPECT_TRUE(WaitForBackgroundSenders(20000));
    SetDeliveryHooks({});
    TSecondCopyRaises::sender = 0;
    EXPECT_EQ(1, locked.load());
    EXPECT_EQ(1, unlocked.load());
}

TEST_F(DriverTest, AClearedContinueFlagSendsNothingAndReportsFailure)
{
    TDeliveryHooks hooks;
    hooks.ActionNotify = [](int action, bool& continueFlag) {
        if (action == 4) continueFlag = false;
    };
    SetDeliveryHooks(hooks);
    options.SetUploadMethod(1);  // the web channel still runs
    options.SetUploadAddress("http://127.0.0.1:" + Env("VIDUDO_UPLOAD_PORT") + "/upload.php");
    const size_t before = StoredMessages().size();
    const size_t uploads = FilesLike(PeerDir(), "upload-*.bin").size();
    StartSendReport(job);
    SetDeliveryHooks({});
    Sleep(500);
    EXPECT_EQ(before, StoredMessages().size());
    EXPECT_EQ(uploads + 1, FilesLike(PeerDir(), "upload-*.bin").size());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Sorry, sending the message didn't work.", boxes[0].text);
    EXPECT_EQ(TMsgDlgType::Error, boxes[0].type);
}

TEST_F(DriverTest, NoChannelLeavesNoFilesAndShowsNoBox)
{
    options.SetMailMethod(0);
    // Inline with the thread's flag: the road leaves the crash rate to the delivery.
    options.SetSendFlags(0x2 | 0x8 | 0x40 | 0x80);
    job.InlineHandling = true;
    job.Report.LastHTMLPage = "<html></html>";
    job.Report.Files.HasLastHtmlPage = true;
    std::vector<int> actions;
    TDeliveryHooks hooks;
    hooks.ActionNotify = [&](int action, bool&) { actions.push_back(action); };
    SetDeliveryHooks(hooks);
    StartSendReport(job);
    SetDeliveryHooks({});
    EXPECT_TRUE(actions.empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WorkFolder().c_str()));
}

TEST_F(DriverTest, AFailedUploadKeepsTheTenLastReportZips)
{
    const std::string logs = Work() + "logs\\";
    CreateDirectoryA(logs.c_str(), nullptr);
    for (const std::string& name : FilesLike(logs, "*")) DeleteFileA((logs + name).c_str());
    for (int i = 0; i < 12; ++i) WriteFile(logs + "BugReport__2024010100" + std::to_string(1000 + i) + ".zip", "old");
    WriteFile(logs + "photos.zip", "mine");
    options.SetLogFilePath(logs + "Test.elf");
    options.SetMailMethod(0);
    options.SetUploadMethod(1);  // fails: nothing listens there
    options.SetUploadAddress("http://127.0.0.1:1/upload");
    options.SetBehaviourFlags(0x20);
    StartSendReport(job);
    CheckCrashRate(job);
    std::vector<std::string> expected;
    for (int i = 3; i < 12; ++i) expected.push_back("BugReport__2024010100" + std::to_string(1000 + i) + ".zip");
    expected.push_back("BugReport__20240131235959.zip");
    expected.push_back("photos.zip");
    EXPECT_EQ(expected, FilesLike(logs, "*.zip"));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Sorry, sending the message didn't work.", boxes[0].text);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WorkFolder().c_str()));
}

std::string Between(const std::string& text, const std::string& from, const std::string& to)
{
    const size_t a = text.find(from);
    if (a == std::string::npos) return {};
    const size_t b = text.find(to, a + from.size());
    return text.substr(a + from.size(), b == std::string::npos ? std::string::npos : b - a - from.size());
}

// The entries of a zip in their order, name and bytes, read back with minizip.
std::vector<std::pair<std::string, std::string>> ZipEntries(const std::string& bytes)
{
    std::vector<std::pair<std::string, std::string>> entries;
    const std::string name = Work() + "read-back.zip";
    WriteFile(name, bytes);
    unzFile zip = unzOpen(name.c_str());
    if (!zip) return entries;
    for (int at = unzGoToFirstFile(zip); at == UNZ_OK; at = unzGoToNextFile(zip)) {
        char entry[MAX_PATH];
        unz_file_info info;
        if (unzGetCurrentFileInfo(zip, &info, entry, sizeof entry, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        std::string data(info.uncompressed_size, '\0');
        if (unzOpenCurrentFile(zip) != UNZ_OK) break;
        const int n = unzReadCurrentFile(zip, data.data(), static_cast<unsigned>(data.size()));
        unzCloseCurrentFile(zip);
        entries.emplace_back(entry, n == static_cast<int>(data.size()) ? data : "(unreadable)");
    }
    unzClose(zip);
    DeleteFileA(name.c_str());
    return entries;
}

std::vector<std::string> Names(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.first);
    return names;
}

TEST_F(DriverTest, MailAndUploadEachGetTheirZip)
{
    options.SetUploadMethod(1);
    options.SetUploadAddress("http://127.0.0.1:" + Env("VIDUDO_UPLOAD_PORT") + "/upload.php");
    options.SetSendFlags(0x2 | 0x8 | 0x100);  // the XML form is read from the log copy
    job.Report.LogReportText = SampleReport("6.1.01 RC 1");
    const std::string zipName = "BugReport__20240131235959.zip";
    for (bool append : {false, true}) {
        SCOPED_TRACE(append);
        options.SetAppendReportToMessage(append);
        boxes.clear();
        const size_t mails = StoredMessages().size();
        const size_t uploads = FilesLike(PeerDir(), "upload-*.bin").size();
        StartSendReport(job);
        CheckCrashRate(job);
        const auto messages = WaitMessages(mails + 1);
        ASSERT_EQ(mails + 1, messages.size());
        ASSERT_EQ(uploads + 1, FilesLike(PeerDir(), "upload-*.bin").size());
        const std::string body = ReadFile(PeerDir() + "upload-" + std::to_string(uploads + 1) + ".bin");
        const std::string webZip = Between(body, "filename=\"" + zipName + "\";\r\nContent-Type: application/octet-stream\r\n\r\n", "\r\n--");
        const auto web = ZipEntries(webZip);
        ASSERT_EQ((std::vector<std::string>{"Test.elf", "Test.xml"}), Names(web));
        EXPECT_EQ(job.Report.LogReportText + "\r\n\r\n\r\n", web[0].second);  // the log copy
        EXPECT_EQ(0u, web[1].second.find("<Doc>\r\n  <Log Version=\"6.1.01 RC 1\">")) << web[1].second.substr(0, 100);
        EXPECT_NE(std::string::npos, web[1].second.find("1A2B"));  // made from the report

        const std::string& mail = messages.back();
        std::string base64 = Between(mail, "filename=\"" + zipName + "\"\r\n\r\n", "\r\n--");
        base64.erase(std::remove(base64.begin(), base64.end(), '\r'), base64.end());
        base64.erase(std::remove(base64.begin(), base64.end(), '\n'), base64.end());
        const auto mailed = ZipEntries(Base64DecodeString(base64));
        // With the report in the message the mail's zip leaves the log copy out.
        EXPECT_EQ(append ? decltype(web)(web.begin() + 1, web.end()) : web, mailed);
        EXPECT_EQ(append, mail.find("\r\n\r\n\r\nDuruvaDod 6.1.01 RC 1\r\n") != std::string::npos);
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ("The message was sent successfully.", boxes[0].text);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(WorkFolder().c_str()));
    }
}

TEST_F(DriverTest, AClosedBugShowsOnlyItsOwnBox)
{
    options.SetMailMethod(0);
    options.SetUploadMethod(wsmMantis);
    options.SetUploadAddress("http://127.0.0.1:" + Env("VIDUDO_TRACKER_PORT") + "/mantis/");
    options.SetTrackerLogin("reporter");
    options.SetTrackerLoginPassword("pw");
    options.SetTrackerProject("Vidudo");
    options.SetSendFlags(0x1 | 0x2 | 0x100);
    job.Report.Facts.AppVersion = "1.0";
    job.Report.Facts.ExceptionClass = "EAccessViolation";
    // The peer files a bug whose summary holds "closed" as closed; the second report finds it.
    job.Report.Facts.BugId = "closed-" + std::to_string(GetCurrentProcessId());
    const struct {
        const char* box;
        TMsgDlgType type;
    } runs[] = {{"The message was sent successfully.", TMsgDlgType::Information}, {nullptr, TMsgDlgType::Information}};
    for (const auto& run : runs) {
        const std::string expected = run.box ? run.box : options.MessageText(146);
        SCOPED_TRACE(expected);
        boxes.clear();
        StartSendReport(job);
        CheckCrashRate(job);
        EXPECT_FALSE(SendProgressOpen());
        ASSERT_EQ(1u, boxes.size());
        EXPECT_EQ(expected, boxes[0].text);
        EXPECT_EQ(run.type, boxes[0].type);
    }
    const std::string log = ReadFile(PeerDir() + "tracker.log");
    EXPECT_NE(std::string::npos, log.find(" bug_report.php "));
    EXPECT_NE(std::string::npos, log.find(" bug_update_page.php "));
    EXPECT_EQ(std::string::npos, log.find(" bug_update.php "));  // a closed bug is left as it is
}

#ifdef VIDUDO_NO_DIALOG_RESOURCES
TEST_F(DriverTest, WithoutTheWindowDeliveryGoesOn)
{
    options.SetSendFlags(0x1 | 0x2);
    const size_t before = StoredMessages().size();
    const DWORD start = GetTickCount();
    BeginSendProgress(options, {}, true);
    EXPECT_LT(GetTickCount() - start, 6000u);
    EXPECT_FALSE(SendProgressOpen());
    StartSendReport(job);
    EXPECT_EQ(before + 1, WaitMessages(before + 1).size());
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("The message was sent successfully.", boxes[0].text);
}
#endif

}  // namespace
