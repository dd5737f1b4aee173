#include "crashreport/delivery/EHttpConnection.h"

#include <cmath>
#include <cstdlib>

#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/EWebText.h"
#include "crashreport/delivery/EWinInet.h"
#include "framework/SysUtils.h"

namespace {

constexpr DWORD kRequestFlags = 0x8460C200;  // reload, no cache write, keep connection, no redirects, no UI
constexpr DWORD kSecureRequestFlags = 0x84E0F200;  // the same, secure, certificate name and date not checked
constexpr DWORD kConnectFlags = 0x04400000;  // keep connection, no cache write
constexpr DWORD kPieceSize = 4096;
constexpr int kMaxRequests = 10;

int connectionsBound = 0;

// One request handle, closed on every way out.
struct TRequestHandle {
    HINTERNET handle = nullptr;
    ~TRequestHandle()
    {
        if (handle && WinInetBound())
            WinInet().InternetCloseHandle(handle);
    }
};

int Percent(double value)
{
    const int p = static_cast<int>(std::lround(value));
    return p < 0 ? 0 : p > 100 ? 100 : p;
}

std::string RandomBoundary()
{
    static bool seeded = false;
    if (!seeded) {
        std::srand(GetTickCount() ^ GetCurrentProcessId());
        seeded = true;
    }
    return MultipartBoundary(static_cast<unsigned>(std::rand()) % 0xFFFF, static_cast<unsigned>(std::rand()) % 0xFFFF,
                             static_cast<unsigned>(std::rand()) % 0xFFFF);
}

void FailWith(THTTPResponse& response, DWORD code)
{
    response.ErrorCode = static_cast<int32_t>(code);
    response.ErrorText = WinInetErrorTableText(code);
}

}  // namespace

THTTPConnectionBase::THTTPConnectionBase(const std::string& serverUrl, const std::string& proxy)
{
    bound_ = BindWinInet();
    usable_ = bound_;
    if (!bound_)
        return;
    ++connectionsBound;
    SetAddresses(serverUrl, proxy);
}

THTTPConnectionBase::~THTTPConnectionBase() noexcept
{
    if (bound_) {
        if (connection_)
            WinInet().InternetCloseHandle(connection_);
        if (session_)
            WinInet().InternetCloseHandle(session_);
        if (--connectionsBound == 0)
            UnbindWinInet();
    }
}

bool THTTPConnectionBase::Open()
{
    ShowConnectionStatus(hcsOpening, 0);
    if (!bound_ || !BindWinInet())
        return false;
    const TWinInetFunctions& w = WinInet();
    if (UseProxy) {
        const std::string proxyText = ProxyHost + ":" + std::to_string(ProxyPort);
        session_ = w.InternetOpenA("DuruvaDod", INTERNET_OPEN_TYPE_PROXY, proxyText.c_str(), "<local>", 0);
    } else {
        session_ = w.InternetOpenA("DuruvaDod", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    }
    if (session_) {
        // WinInet waits without end by default.
        DWORD wait = Timeout;
        for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
            w.InternetSetOptionA(session_, option, &wait, sizeof wait);
    }
    if (session_)
        connection_ = w.InternetConnectA(session_, Host.c_str(), Port, UserName.empty() ? nullptr : UserName.c_str(),
                                         Password.empty() ? nullptr : Password.c_str(), INTERNET_SERVICE_HTTP,
                                         kConnectFlags, 0);
    if (!session_ || !connection_) {
        if (session_)
            w.InternetCloseHandle(session_);
        session_ = nullptr;
        throw Exception(Format("Cannot create an HTTP connection with the host: %s", Host.c_str()));
    }
    ShowConnectionStatus(hcsConnected, 0);
    return true;
}

void THTTPConnectionBase::Close()
{
    ShowConnectionStatus(hcsClosing, 0);
    bool closed = bound_ && WinInetBound();
    if (closed) {
        if (connection_ && !WinInet().InternetCloseHandle(connection_))
            closed = false;
        if (session_ && !WinInet().InternetCloseHandle(session_))
            closed = false;
        connection_ = session_ = nullptr;
    }
    if (!closed)
        throw Exception(Format("Cannot close the HTTP connection with the host: %s", Host.c_str()));
    ShowConnectionStatus(hcsClosed, 0);
}

bool THTTPConnectionBase::SendRequest(THTTPResponse& response, bool reportProgress)
{
    response.Clear();
    if (!bound_ || !BindWinInet() || !connection_) {
        FailWith(response, ERROR_INTERNET_INCORRECT_HANDLE_STATE);
        return false;
    }
    const TWinInetFunctions& w = WinInet();
    std::string directory, page, query;
    SplitPath(Path, directory, page, query);
    response.PageName = page;
    const DWORD flags = UseHTTPS ? kSecureRequestFlags : kRequestFlags;
    const DWORD start = GetTickCount();
    const auto late = [&] { return GetTickCount() - start >= 2 * Timeout; };

    for (int requests = 1;; ++requests) {
        std::string verb = "GET", contentType, body, target = query;
        if (RequestMethod == hrmGet) {
            target = AppendQueryFields(query, Fields);
        } else if (RequestMethod == hrmPostUrlEncoded) {
            verb = "POST";
            contentType = "Content-Type: application/x-www-form-urlencoded";
            body = UrlEncodedBody(Fields);
        } else {
            verb = "POST";
            const std::string boundary = RandomBoundary();
            contentType = "Content-Type: multipart/form-data; boundary=" + boundary;
            body = MultipartBody(boundary, Fields, Files, [](const std::string& path, std::string& bytes) {
                return CorePlatform().ReadFileBytes(path, bytes);
            });
        }
        std::string object = directory + page + target;
        if (object.empty() || object[0] != '/')
            object.insert(0, "/");

        TRequestHandle request;
        request.handle = w.HttpOpenRequestA(connection_, verb.c_str(), object.c_str(), nullptr, nullptr, nullptr,
                                            flags, reinterpret_cast<DWORD_PTR>(this));
        if (SetLastErrorInfo(request.handle == nullptr, response))
            return false;
        if (UseHTTPS) {
            DWORD security = 0, length = sizeof security;
            w.InternetQueryOptionA(request.handle, INTERNET_OPTION_SECURITY_FLAGS, &security, &length);
            security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
            w.InternetSetOptionA(request.handle, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
        }
        if (!contentType.empty() &&
            SetLastErrorInfo(!w.HttpAddRequestHeadersA(request.handle, contentType.c_str(), static_cast<DWORD>(-1),
                                                       HTTP_ADDREQ_FLAG_ADD),
                             response))
            return false;
        if (!UserName.empty() || !Password.empty()) {
            const std::string authorization = "Authorization: Basic " + Base64EncodeText(UserName + ":" + Password);
            if (SetLastErrorInfo(!w.HttpAddRequestHeadersA(request.handle, authorization.c_str(),
                                                           static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD),
                                 response))
                return false;
        }
        if (UseProxy) {
            w.InternetSetOptionA(request.handle, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(ProxyUserName.c_str()),
                                 static_cast<DWORD>(ProxyUserName.size() + 1));
            w.InternetSetOptionA(request.handle, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(ProxyPassword.c_str()),
                                 static_cast<DWORD>(ProxyPassword.size() + 1));
        }

        INTERNET_BUFFERSA buffers{};
        buffers.dwStructSize = sizeof buffers;
        buffers.dwBufferTotal = static_cast<DWORD>(body.size());
        if (SetLastErrorInfo(!w.HttpSendRequestExA(request.handle, &buffers, nullptr, 0, 0), response))
            return false;
        for (size_t sent = 0; sent < body.size();) {
            const DWORD piece = static_cast<DWORD>(body.size() - sent < kPieceSize ? body.size() - sent : kPieceSize);
            DWORD written = 0;
            if (!w.InternetWriteFile(request.handle, body.data() + sent, piece, &written) || written == 0) {
                SetLastErrorInfo(true, response);
                const DWORD code = static_cast<DWORD>(response.ErrorCode);
                w.HttpEndRequestA(request.handle, nullptr, 0, 0);
                response.ErrorCode = static_cast<int32_t>(code);
                return false;
            }
            sent += written;
            if (late()) {
                w.HttpEndRequestA(request.handle, nullptr, 0, 0);
                FailWith(response, ERROR_INTERNET_TIMEOUT);
                return false;
            }
            if (reportProgress) {
                const int p = Percent(100.0 * static_cast<double>(sent) / static_cast<double>(body.size()));
                ShowConnectionStatus(hcsProgress, p < 50 ? p : 50);
            }
        }
        if (SetLastErrorInfo(!w.HttpEndRequestA(request.handle, nullptr, 0, 0), response))
            return false;
        if (reportProgress)
            ShowConnectionStatus(hcsProgress, 50);

        std::string text;
        QueryInfoText(request.handle, HTTP_QUERY_STATUS_CODE, text);
        response.StatusCode = StrToInt(text);
        QueryInfoText(request.handle, HTTP_QUERY_STATUS_TEXT, response.StatusText);
        QueryInfoText(request.handle, HTTP_QUERY_RAW_HEADERS_CRLF, response.RawHeaders);
        int32_t contentLength = 0;
        if (!QueryInfoText(request.handle, HTTP_QUERY_CONTENT_LENGTH, text) || !TryStrToInt(text, contentLength) ||
            contentLength <= 0)
            contentLength = 1;
        response.Body.clear();
        for (;;) {
            char piece[kPieceSize];
            // A read waits until its whole piece came: asking only for what is there keeps a
            // trickling server within the deadline.
            DWORD want = sizeof piece;
            if (w.InternetQueryDataAvailable) {
                DWORD available = 0;
                if (SetLastErrorInfo(!w.InternetQueryDataAvailable(request.handle, &available, 0, 0), response))
                    return false;
                if (available == 0)
                    break;
                if (available < want)
                    want = available;
            }
            DWORD got = 0;
            if (SetLastErrorInfo(!w.InternetReadFile(request.handle, piece, want, &got), response))
                return false;
            if (got == 0)
                break;
            response.Body.append(piece, got);
            if (response.Body.size() > PageLimit) {
                FailWith(response, ERROR_HTTP_INVALID_SERVER_RESPONSE);
                return false;
            }
            if (late()) {
                FailWith(response, ERROR_INTERNET_TIMEOUT);
                return false;
            }
            if (reportProgress)
                ShowConnectionStatus(hcsProgress,
                                     Percent(static_cast<double>(response.Body.size()) / contentLength * 50 + 50));
        }

        // Redirects: the new page replaces the path; only 302 (and a refresh) is asked for at once.
        std::string location;
        int status = response.StatusCode;
        if (status == 200 && QueryInfoText(request.handle, HTTP_QUERY_REFRESH, location) && !location.empty())
            status = 302;
        else if (status == 301 || status == 302 || status == 303)
            QueryInfoText(request.handle, HTTP_QUERY_LOCATION, location);
        else
            location.clear();
        if (!location.empty()) {
            // Another server would need a connection of its own; asking this one for its path
            // would send the fields to the wrong place.
            const std::string otherHost = UrlHostOf(location);
            if (!otherHost.empty()) {
                std::string s, u, p, h, pathPart;
                uint16_t port = 0;
                const bool parsed = SplitUrl(location, s, u, p, h, pathPart, port);
                if (port == 0)
                    port = SameText(s, "https") ? 443 : 80;
                if (!parsed || !SameText(h, Host) || port != Port || SameText(s, "https") != UseHTTPS) {
                    FailWith(response, ERROR_HTTP_REDIRECT_FAILED);
                    return false;
                }
            }
            std::string newDirectory, newPage, newQuery;
            SplitPath(location, newDirectory, newPage, newQuery);
            if (!newDirectory.empty())
                directory = newDirectory;
            page = newPage;
            query = newQuery;
            Path = directory + page + query;
            RequestMethod = hrmGet;
            Fields.Clear();
            Files.Clear();
            if (status == 302) {
                if (requests >= kMaxRequests) {
                    FailWith(response, ERROR_HTTP_REDIRECT_FAILED);
                    return false;
                }
                const std::string pageName = page;
                response.Clear();
                response.PageName = pageName;
                continue;
            }
        }
        if (reportProgress)
            ShowConnectionStatus(hcsAnswered, 100);
        ControlCharsToSpaces(response.Body);
        KeepResponse(response);
        return true;
    }
}
