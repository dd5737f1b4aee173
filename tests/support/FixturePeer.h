#pragma once
// The test's side of the trading-server fixture and the SOCKS servers that with_peers.py
// started: their ports, the fixture's control calls and its log of decoded requests.

#include <string>
#include <vector>

#include "trading/connection/Fun.h"

struct TFixtureRequest {
    std::string peer;  // the address the request came from: tells which proxy carried it
    bool cookieOk = false;
    bool overlap = false;
    std::string path;
    double arrival = 0, finish = 0;
    std::string error;  // why the fixture rejected it; empty when valid
    TCmdStr fields;     // GBK
};

// A port from the environment; 0 when with_peers.py didn't set it.
int PeerPort(const char* name);

std::string FixtureURL(int port);  // the server address form of the client

class TFixture {
public:
    TFixture();
    explicit TFixture(int port);  // the fixture on another port
    void Reset();
    // scriptJson: {"CMD": [action, ...]} in GBK, converted to UTF-8 here.
    void Script(const std::string& scriptJson);
    std::vector<TFixtureRequest> Log();
    // Paths of the web pages (GETs) asked for since the last reset.
    std::vector<std::string> Pages();
    // The web page at path (no query) answers only after seconds.
    void DelayPage(const std::string& path, double seconds);

private:
    std::string base_;
};
