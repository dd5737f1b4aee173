#pragma once
// What a tracker dialogue sees of an HTTP conversation: the next page and method, the form
// fields and files it will send, the last page received and the readers over it. The WinInet
// client (THTTPConnectionBase) fills it; tests put scripted pages behind it. No Win32 here.

#include <cstdint>
#include <functional>
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

class THTTPFormConnection {
public:
    THTTPFormConnection();
    virtual ~THTTPFormConnection() noexcept;
    THTTPFormConnection(const THTTPFormConnection&) = delete;
    THTTPFormConnection& operator=(const THTTPFormConnection&) = delete;

    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual void ShowConnectionStatus(int state, int percent) = 0;
    // Never raises for network failures: false with the error in the response.
    virtual bool SendRequest(THTTPResponse& response, bool reportProgress) = 0;

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
    // Splits the server and proxy addresses into the fields above; a proxy text that is empty
    // or starts with ":" means none.
    void SetAddresses(const std::string& serverUrl, const std::string& proxy);
    // A successful request's answer becomes the last page.
    void KeepResponse(const THTTPResponse& response) { response_->Assign(&response); }

    bool usable_ = true;  // false: every page check fails

private:
    std::unique_ptr<THTTPResponse> response_;
};

// The connection class of a tracker dialogue: creates a connection to a server (through a
// proxy, empty for none), not yet opened.
using THTTPConnectionClass =
    std::function<std::unique_ptr<THTTPFormConnection>(const std::string& serverUrl, const std::string& proxy)>;
