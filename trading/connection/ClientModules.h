#pragma once
// The connection module of the trading session: one command per server operation, each one
// HTTP exchange, and the dispatch of reply lines into the records the windows read.

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "framework/Classes.h"
#include "framework/StringList.h"
#include "framework/Thread.h"
#include "trading/connection/ClientRecords.h"
#include "trading/connection/Fun.h"
#include "trading/connection/HttpExchange.h"
#include "trading/connection/ReplyCodes.h"
#include "trading/connection/myFun.h"

// What the connection module tells the main window, so the module needs no window.
class IClientTask {
public:
    virtual ~IClientTask() = default;
    // Once per dispatched reply line, with its TReplyCode.
    virtual void Task(int code) = 0;
    // The greeting's web page, already checked to be an http:// or https:// address.
    virtual void OpenWelcomePage(const std::string& url) = 0;
};

class TClient;

// How an order or a cancel that was waited for ended.
enum class TOrderReply {
    Unanswered,  // no reply reached the program
    ServerMessage,  // the reply held a "MESSAGE" line (a refusal), whose text was shown
    Accepted,
};

class TClientHandleThread : public TThread {
public:
    TClientHandleThread(TClient& client, std::string request) : Request(std::move(request)), client_(client) {}

    std::string Request;  // transfer text
    TCmdStr Reply;        // the reply line being dispatched
    uint64_t Ticket = 0;  // place of the request in the client's queue

    // Runs on the main thread: exchanges the queued requests up to this one and dispatches them.
    void SyncRequest();

protected:
    void Execute() override;

private:
    TClient& client_;
};

class TClient : public TComponent {
    VIDUDO_CLASS(TClient, TComponent)
public:
    // Creates the process's configuration object when there is none yet; the first module
    // becomes the global Client.
    explicit TClient(TComponent* owner = nullptr);
    ~TClient() override;

    TFun* MyFun;
    TSocksInfo Socksinfo;
    THttpSession& Http() { return http_; }  // also the session's cookie store

    Tkhxx Khxx;
    Thqxx Hqxx;
    Twtxx Wtxx;
    Tcjxx Cjxx;
    Tzjxx Zjxx;
    Tccxx Ccxx;
    Thyxx Hyxx;
    Twtzl Wtzl;
    int32_t cdwth = 0;
    Tcxzdcczl Cxzdcczl;
    TZDcc ZDcc;
    bool UpdateStarted = false;
    std::vector<Tzlhy> Zlhy;

    void SetTask(IClientTask* task) { task_ = task; }

    // False after a failed read, which has shown its box and posted the quit.
    bool ReadSysinfo();
    void SaveSysinfo();

    bool Login(const std::string& user, const std::string& password);
    // Fills the two lists at the same indexes; failures reach the caller. Takes the proxy
    // settings from the configuration, as Login does.
    void getaccountlist(TStringList& accountname, TStringList& accountvalue);
    void QQHQ(const std::string& code, const std::string& second, const std::string& third);
    void CXWT();
    void CXCJ();
    void CXCC();
    void CXHY();
    void GGMM(const std::string& oldPassword, const std::string& newPassword);
    // Both wait for their exchange and its dispatch, so the window reports an order or a
    // cancel only once the server has taken it.
    TOrderReply XD();
    TOrderReply WTCD();
    void CXZJ();    // returns after its reply, and every earlier one, was dispatched
    void CXZDCC();  // likewise
    void cxzlhy();  // likewise
    void runThread(const std::string& text);
    // One exchange; the reply decoded to GBK text.
    std::string GetData(const std::string& text);

    // The program is closing: requests not yet sent are dropped, later ones are never sent,
    // and no reply shows a box any more.
    void ShutDown();

private:
    friend class TClientHandleThread;
    std::string Exchange(const std::string& text);  // decoded reply, still UTF-8
    void ApplySocks();
    TCmdStr SessionCmd(const char* command) const;
    void Send(const TCmdStr& cmd);
    struct TOutcome {
        bool answered = false;
        bool refused = false;  // a "MESSAGE" line was dispatched
    };
    TOutcome RunWaiting(const TCmdStr& cmd);
    uint64_t Enqueue(const std::string& text, TOutcome* outcome = nullptr);
    void ServeUpTo(TClientHandleThread& thread);
    // refused is set when a "MESSAGE" or "MESS" line was dispatched.
    void DispatchReply(const std::string& utf8Text, TCmdStr& reply, bool& refused);
    void RunTask(int code);

    THttpSession http_;
    IClientTask* task_ = nullptr;
    struct TPending {
        uint64_t ticket;
        std::string text;
        TOutcome* outcome;  // filled once the exchange was answered; the waiting caller owns it
    };
    std::deque<TPending> pending_;
    uint64_t nextTicket_ = 1;
    std::atomic<int> running_{0};
    bool shuttingDown_ = false;
};

// The module of the process and the address every exchange posts to.
extern TClient* Client;
extern std::string ServerURL;
