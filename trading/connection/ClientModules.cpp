#include "trading/connection/ClientModules.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "trading/connection/SysInfo.h"

TClient* Client = nullptr;
std::string ServerURL;

namespace {

const char kConnectionFailed[] = "服务器连接失败,网络故障";
const char kProtocolVersion[] = "228";
const long kShutDownWaitMs = 1500;

// The server may only make the client open a web page, never start a program or a file.
bool IsWebAddress(const std::string& text)
{
    const std::string lower = LowerCase(text);
    for (const char* scheme : {"http://", "https://"}) {
        const std::string s = scheme;
        if (lower.size() > s.size() && lower.compare(0, s.size(), s) == 0)
            return text.find_first_of(std::string_view("\"\r\n\t \0", 6)) == std::string::npos;
    }
    return false;
}

// Parts of an account field split at "&": blanks at the start of a part skipped, empty parts dropped.
std::vector<std::string> AccountParts(const std::string& field)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t amp = field.find('&', start);
        std::string part = TrimLeft(field.substr(start, amp == std::string::npos ? std::string::npos : amp - start));
        if (!part.empty())
            parts.push_back(std::move(part));
        if (amp == std::string::npos)
            return parts;
        start = amp + 1;
    }
}

// The exchanges run on the main thread, which sees no message while one waits for the server:
// a close asked for meanwhile (a posted close or quit, the window menu's Close, a press on a
// caption's close button) is read from the queue without taking it, so the close that follows
// need not wait for the server.
bool CloseWaiting()
{
    MSG m;
    const UINT flags = PM_NOREMOVE | PM_QS_POSTMESSAGE | PM_QS_INPUT;
    if (PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, flags) || PeekMessageW(&m, nullptr, WM_CLOSE, WM_CLOSE, flags))
        return true;
    if (PeekMessageW(&m, nullptr, WM_SYSCOMMAND, WM_SYSCOMMAND, flags) && (m.wParam & 0xFFF0) == SC_CLOSE)
        return true;
    return PeekMessageW(&m, nullptr, WM_NCLBUTTONDOWN, WM_NCLBUTTONDOWN, flags) && m.wParam == HTCLOSE;
}

}  // namespace

void TClientHandleThread::Execute()
{
    try {
        Synchronize([this] { SyncRequest(); });
    } catch (...) {
        // Background commands fail silently.
    }
    client_.running_--;
}

void TClientHandleThread::SyncRequest() { client_.ServeUpTo(*this); }

TClient::TClient(TComponent* owner) : TComponent(owner), MyFun(new TFun(this))
{
    MyFun->SetName("MyFun");
    if (!SysInfo)
        SysInfo = new TSysInfo;
    if (!Client)
        Client = this;
    http_.Abandoned = CloseWaiting;
}

TClient::~TClient()
{
    ShutDown();
    // Worker threads hold this module until their request was served.
    while (running_ > 0) {
        CheckSynchronize();
        Sleep(1);
    }
    if (Client == this)
        Client = nullptr;
}

void TClient::ShutDown()
{
    shuttingDown_ = true;
    pending_.clear();
    // Anything still exchanged from here on ends soon.
    http_.ConnectTimeoutMs = std::min(http_.ConnectTimeoutMs, kShutDownWaitMs);
    http_.ExchangeTimeoutMs = std::min(http_.ExchangeTimeoutMs, kShutDownWaitMs);
}

bool TClient::ReadSysinfo() { return ReadSysinfoFile(*SysInfo, *MyFun, ClientIniPath()); }

void TClient::SaveSysinfo() { SaveSysinfoFile(*SysInfo, *MyFun, ClientIniPath()); }

std::string TClient::Exchange(const std::string& text)
{
    return DecodeReplyBody(http_.Post(ServerURL, text, Socksinfo));
}

std::string TClient::GetData(const std::string& text) { return Utf8ToGbk(Exchange(text)); }

void TClient::ApplySocks()
{
    TSocksInfo socks;
    if (SysInfo->ProxyEnabled) {
        int32_t port = 0;
        if (!TryStrToInt(SysInfo->ProxyPort, port) || port < 1 || port > 65535)
            throw EConvertError(Format("'%s' is not a valid proxy port", SysInfo->ProxyPort.c_str()));
        // Only "Socks4" (any case) asks for SOCKS 4; an unknown type means the default, SOCKS 5.
        socks.Version = SameText(SysInfo->ProxyType, "Socks4") ? TSocksVersion::Socks4 : TSocksVersion::Socks5;
        socks.Host = SysInfo->ProxyServer;
        socks.Port = port;
        socks.Authentication = !SysInfo->ProxyUserName.empty();
        if (socks.Authentication) {
            socks.Username = SysInfo->ProxyUserName;
            socks.Password = SysInfo->ProxyPasswd;
        }
    }
    Socksinfo = socks;
}

bool TClient::Login(const std::string& user, const std::string& password)
{
    try {
        ApplySocks();
        TCmdStr cmd = ClearCmd();
        cmd[2] = "WELCOME";
        TCmdStr r = UnpackUtf8Cmd(Exchange(PackCmd(cmd)));
        if (r[2] != "WELCOME")
            return false;
        if (r[3] != kProtocolVersion) {
            ShowInformation("发现更新版本,点击确定后开始升级");
            UpdateStarted = true;
            ShellExecuteText("open", ProgramFolder() + "update.exe", SW_SHOWNORMAL);
            return false;
        }
        if (r[4] != "#" && IsWebAddress(r[4])) {
            if (task_)
                task_->OpenWelcomePage(r[4]);
            else
                MyFun->ShellOpen(r[4]);
        }
        cmd = ClearCmd();
        cmd[0] = user;
        cmd[1] = password;
        cmd[2] = "LOGIN";
        cmd[3] = SysInfo->gid;
        r = UnpackUtf8Cmd(Exchange(PackCmd(cmd)));
        const std::string tag = UpperCase(r[2]);
        if (tag == "MESSAGE") {
            ShowInformation(r[3]);
            return false;
        }
        if (tag == "LOGINOK") {
            Khxx = Tkhxx{r[0], password, r[3], r[4], r[5]};
            return true;
        }
        // Anything else, an empty body included, is no login.
    } catch (...) {
    }
    ShowInformation(kConnectionFailed);
    return false;
}

void TClient::getaccountlist(TStringList& accountname, TStringList& accountvalue)
{
    // The first exchange of a session, before any login: it must not bypass the proxy.
    ApplySocks();
    TCmdStr cmd = ClearCmd();
    cmd[0] = "1";
    cmd[1] = "2";
    cmd[2] = "accountlist";
    const TCmdStr r = UnpackUtf8Cmd(Exchange(PackCmd(cmd)));
    accountname.Clear();
    accountvalue.Clear();
    for (const std::string& field : r) {
        const std::string t = Trim(field);
        if (t.empty() || t == "#")
            continue;
        // Both parts or neither, so the two lists stay aligned.
        const std::vector<std::string> parts = AccountParts(field);
        if (parts.size() < 2)
            continue;
        accountname.Add(parts[0]);
        accountvalue.Add(parts[1]);
    }
}

TCmdStr TClient::SessionCmd(const char* command) const
{
    TCmdStr cmd = ClearCmd();
    cmd[0] = Khxx.Account;
    cmd[1] = Khxx.Password;
    cmd[2] = command;
    return cmd;
}

uint64_t TClient::Enqueue(const std::string& text, TOutcome* outcome)
{
    const uint64_t ticket = nextTicket_++;
    if (!shuttingDown_)
        pending_.push_back(TPending{ticket, text, outcome});
    return ticket;
}

void TClient::runThread(const std::string& text)
{
    try {
        auto thread = std::make_unique<TClientHandleThread>(*this, text);
        thread->Ticket = Enqueue(text);
        thread->FreeOnTerminate = true;
        running_++;
        thread.release()->Resume();
    } catch (...) {
    }
}

TClient::TOutcome TClient::RunWaiting(const TCmdStr& cmd)
{
    TOutcome outcome;
    try {
        auto thread = std::make_unique<TClientHandleThread>(*this, PackCmd(cmd));
        thread->Ticket = Enqueue(thread->Request, &outcome);
        running_++;
        thread->Resume();
        thread->WaitFor();
    } catch (...) {
    }
    return outcome;
}

void TClient::ServeUpTo(TClientHandleThread& thread)
{
    // Requests run in the order they were started, whichever thread reached the main thread
    // first; a request served for an earlier thread is gone from the queue.
    while (!pending_.empty() && pending_.front().ticket <= thread.Ticket) {
        const TPending request = std::move(pending_.front());
        pending_.pop_front();
        bool refused = false;
        try {
            const std::string reply = Exchange(request.text);
            if (request.outcome)
                request.outcome->answered = true;
            if (!shuttingDown_)
                DispatchReply(reply, thread.Reply, refused);
        } catch (...) {
            // A failure ends the dispatch of that reply only.
        }
        if (request.outcome)
            request.outcome->refused = refused;
    }
}

void TClient::RunTask(int code)
{
    if (task_)
        task_->Task(code);
}

void TClient::Send(const TCmdStr& cmd)
{
    try {
        runThread(PackCmd(cmd));
    } catch (...) {
        // Background commands fail silently.
    }
}

void TClient::QQHQ(const std::string& code, const std::string& second, const std::string& third)
{
    TCmdStr cmd = SessionCmd("QQHQ");
    cmd[3] = code;
    cmd[4] = second;
    cmd[5] = third;
    Send(cmd);
}

void TClient::CXWT() { Send(SessionCmd("CXWT")); }

void TClient::CXCJ() { Send(SessionCmd("CXCJ")); }

void TClient::CXCC() { Send(SessionCmd("CXCC")); }

void TClient::CXHY() { Send(SessionCmd("CXHY")); }

void TClient::GGMM(const std::string& oldPassword, const std::string& newPassword)
{
    TCmdStr cmd = SessionCmd("GGMM");
    cmd[3] = oldPassword;
    cmd[4] = newPassword;
    Send(cmd);
}

namespace {

TOrderReply OrderReply(bool answered, bool refused)
{
    if (!answered)
        return TOrderReply::Unanswered;
    return refused ? TOrderReply::ServerMessage : TOrderReply::Accepted;
}

}  // namespace

TOrderReply TClient::XD()
{
    TCmdStr cmd = SessionCmd("XD");
    cmd[3] = Wtzl.OpenClose;
    cmd[4] = Wtzl.BuySell;
    cmd[5] = Wtzl.Code;
    // "." whatever the locale: the server reads one number format.
    cmd[6] = FloatToStr(Wtzl.Price);
    cmd[7] = FloatToStr(Wtzl.Quantity);
    cmd[8] = IntToStr(Wtzl.Market);
    const TOutcome o = RunWaiting(cmd);
    return OrderReply(o.answered, o.refused);
}

TOrderReply TClient::WTCD()
{
    TCmdStr cmd = SessionCmd("WTCD");
    cmd[3] = IntToStr(cdwth);
    const TOutcome o = RunWaiting(cmd);
    return OrderReply(o.answered, o.refused);
}

void TClient::CXZJ() { RunWaiting(SessionCmd("CXZJ")); }

void TClient::CXZDCC()
{
    TCmdStr cmd = SessionCmd("CXZDCC");
    cmd[3] = Cxzdcczl.Code;
    cmd[4] = Cxzdcczl.OpenClose;
    cmd[5] = Cxzdcczl.BuySell;
    RunWaiting(cmd);
}

void TClient::cxzlhy() { RunWaiting(SessionCmd("CXZLHY")); }
