#pragma once
// The crash reporter's HTTP and HTTPS client for the web bug trackers: one object per
// conversation with one server, over WinInet bound at run time. The tracker dialogues set
// the next page and method, copy hidden inputs and selections from the last page, add their
// own fields, send, and test the page that came back.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "crashreport/delivery/EHttpForm.h"

class THTTPConnectionBase : public THTTPFormConnection {
public:
    // Parses the addresses; a proxy text that is empty or starts with ":" means none. When
    // WinInet can't be bound the object stays empty and every call fails. Open is not called
    // here: a constructor can't reach a derived ShowConnectionStatus, so the creator opens
    // (OpenHTTPConnection does both).
    THTTPConnectionBase(const std::string& serverUrl, const std::string& proxy);
    // Closes quietly, without reporting states (a derived class that shows them calls Close
    // in its own destructor).
    virtual ~THTTPConnectionBase() noexcept;
    THTTPConnectionBase(const THTTPConnectionBase&) = delete;
    THTTPConnectionBase& operator=(const THTTPConnectionBase&) = delete;

    // False when WinInet can't be bound; raises "Cannot create an HTTP connection with the host: %s".
    bool Open() override;
    // Raises "Cannot close the HTTP connection with the host: %s".
    void Close() override;

    // Never raises for network failures: false with the error in the response. Follows 302
    // (and a 200 with a refresh address) as a GET, at most 10 requests in all, and only on
    // this connection's server.
    // A page over PageLimit, or a request not done within twice Timeout, fails: a server that
    // trickles or floods can't hold the reporter.
    bool SendRequest(THTTPResponse& response, bool reportProgress) override;

    // WinInet's connect, send and receive time-out (ms).
    uint32_t Timeout = 30000;
    size_t PageLimit = 4 * 1024 * 1024;

protected:
    void* session_ = nullptr;
    void* connection_ = nullptr;

private:
    bool bound_ = false;
};

// Creates a connection and opens it.
template <typename T, typename... A>
std::unique_ptr<T> OpenHTTPConnection(A&&... args)
{
    auto connection = std::make_unique<T>(std::forward<A>(args)...);
    connection->Open();
    return connection;
}
