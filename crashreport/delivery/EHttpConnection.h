#pragma once
// The crash reporter's HTTP and HTTPS client for the web bug trackers: one object per
// conversation with one server, over WinInet bound at run time. The tracker dialogues set
// the next page and method, copy hidden inputs and selections from the last page, add their
// own fields, send, and test the page that came back.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/StringList.h"

class THTTPResponse {
public:
    int32_t StatusCode = 0;
    std::string StatusText;
    std::string RawHeaders;
    std::string Body;
    std::string PageName;
    int32_t ErrorCode = 0;  // system or WinInet error code
    std::string ErrorText;

    void Assign(const THTTPResponse* source);  // raises for a missing source
    void Clear();
};

enum THTTPRequestMethod : int { hrmGet = 0, hrmPostUrlEncoded = 1, hrmPostMultipart = 2 };

// States of ShowConnectionStatus; the tracker dialogues report 2 to 5 themselves.
enum : int {
    hcsOpening = 0, hcsConnected = 1, hcsProgress = 6, hcsAnswered = 7, hcsClosing = 8, hcsClosed = 9,
};

class THTTPConnectionBase {
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
    virtual bool Open();
    // Raises "Cannot close the HTTP connection with the host: %s".
    virtual void Close();
    virtual void ShowConnectionStatus(int state, int percent) = 0;

    void SetRequestPage(std::string_view page, int method);
    void AddFormField(std::string_view name, std::string_view value);
    void AddFormFile(std::string_view name, std::string_view path);
    void CopyFormFields(const TStringList& list);
    void CopyPageInput(std::string_view name);
    void CopyPageTextArea(std::string_view name);
    void CopyPageSelect(std::string_view name);
    void CopyPageSelectIfSet(std::string_view name);
    void CopyPageOption(std::string_view name, std::string_view optionText);
    bool BumpPageCounter(std::string_view name);
    void AddSummaryField(std::string_view name, std::string_view a, std::string_view b, std::string_view c);
    void AddSearchField(std::string_view name, std::string_view a, std::string_view b);
    bool PageIs(std::string_view pageName, std::string_view mustContain, std::string_view mustNotContain) const;

    // Never raises for network failures: false with the error in the response. Follows 302
    // (and a 200 with a refresh address) as a GET, at most 10 requests in all, and only on
    // this connection's server.
    bool SendRequest(THTTPResponse& response, bool reportProgress);

    const THTTPResponse& LastResponse() const { return *response_; }

    std::string Path;      // of the next request, with query
    std::string BasePath;  // of the server address, ending with "/"
    std::string Host;
    std::string UserName;
    std::string Password;
    uint16_t Port = 0;
    int RequestMethod = hrmGet;
    bool UseHTTPS = false;
    bool UseProxy = false;
    std::string ProxyHost;
    uint16_t ProxyPort = 0;
    std::string ProxyUserName;
    std::string ProxyPassword;
    TStringList Fields;  // name=value
    TStringList Files;   // field name=file path

protected:
    void* session_ = nullptr;
    void* connection_ = nullptr;

private:
    bool bound_ = false;
    std::unique_ptr<THTTPResponse> response_;
};

// Creates a connection and opens it.
template <typename T, typename... A>
std::unique_ptr<T> OpenHTTPConnection(A&&... args)
{
    auto connection = std::make_unique<T>(std::forward<A>(args)...);
    connection->Open();
    return connection;
}
