#pragma once
// One POST to the trading server over libcurl: a multipart form with the single part "cmd",
// cookies kept for the whole session, redirects followed with the POST kept, and the SOCKS
// proxy of the configuration.

#include <functional>
#include <string>

#include "framework/Exception.h"

// Network, proxy or HTTP status failure of an exchange.
class EHttpError : public Exception {
public:
    using Exception::Exception;
};

enum class TSocksVersion { None, Socks4, Socks5 };

struct TSocksInfo {
    TSocksVersion Version = TSocksVersion::None;
    std::string Host;
    int Port = 1080;
    bool Authentication = false;
    std::string Username, Password;
};

class THttpSession {
public:
    THttpSession();
    ~THttpSession();
    THttpSession(const THttpSession&) = delete;
    THttpSession& operator=(const THttpSession&) = delete;

    // Posts field "cmd" and returns the reply body as sent. Raises EHttpError.
    std::string Post(const std::string& url, const std::string& cmd, const TSocksInfo& socks);

    // A silent server must not freeze the program for good.
    long ConnectTimeoutMs = 10000;
    long ExchangeTimeoutMs = 30000;
    // Asked about once a second while an exchange is under way: true ends it at once (an
    // EHttpError), so a closing program need not wait for a slow server.
    std::function<bool()> Abandoned;

private:
    void* share_;  // CURLSH: the session's cookie store
};
