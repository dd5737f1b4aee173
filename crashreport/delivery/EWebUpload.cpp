#include "crashreport/delivery/EWebUpload.h"

#include <windows.h>
#include <wininet.h>

#include <cstdlib>
#include <vector>

#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/EWebUploadText.h"
#include "crashreport/delivery/EWinInet.h"
#include "framework/CodePage.h"
#include "framework/NeverDestroyed.h"
#include "framework/SysUtils.h"

namespace {

constexpr DWORD kUploadRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_KEEP_CONNECTION |
                                      INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES |
                                      INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS |
                                      INTERNET_FLAG_NO_UI;
constexpr DWORD kSecureExtraFlags =
    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID | INTERNET_FLAG_IGNORE_CERT_CN_INVALID;
constexpr DWORD kPieceSize = 1024;

TWebProxySettings proxySettings;

// The handles of one upload, closed in reverse order; WinInet released when this bound it.
class TUploadSession {
public:
    TUploadSession() : wasBound_(WinInetBound()) { bound_ = BindWinInet(); }
    ~TUploadSession()
    {
        if (bound_) {
            for (auto it = handles_.rbegin(); it != handles_.rend(); ++it)
                WinInet().InternetCloseHandle(*it);
            if (!wasBound_)
                UnbindWinInet();
        }
    }
    TUploadSession(const TUploadSession&) = delete;
    TUploadSession& operator=(const TUploadSession&) = delete;

    bool Bound() const { return bound_; }
    HINTERNET Keep(HINTERNET handle)
    {
        if (handle)
            handles_.push_back(handle);
        return handle;
    }
    // A handle the caller closed itself.
    void Forget(HINTERNET handle)
    {
        for (auto it = handles_.begin(); it != handles_.end(); ++it)
            if (*it == handle) {
                handles_.erase(it);
                return;
            }
    }
    HINTERNET OpenInternet()
    {
        const TWinInetFunctions& w = WinInet();
        if (!proxySettings.Address.empty())
            return Keep(w.InternetOpenA("DuruvaDod", INTERNET_OPEN_TYPE_PROXY, proxySettings.Address.c_str(), "<local>", 0));
        return Keep(w.InternetOpenA("DuruvaDod", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    }

private:
    bool wasBound_;
    bool bound_ = false;
    std::vector<HINTERNET> handles_;
};

// The failing call's code; the text is WinInet's when the caller has none yet.
int Failed(std::string& errorText)
{
    const DWORD code = GetLastError();
    if (errorText.empty())
        errorText = WinInetErrorText(code);
    return code == 0 ? static_cast<int>(ERROR_INTERNET_INTERNAL_ERROR) : static_cast<int>(code);
}

void Notify(const TUploadStatusEvent& status, int kind, uint64_t total, uint64_t done)
{
    if (status)
        status(kind, total, done);
}

std::string RandomUploadBoundary()
{
    static bool seeded = false;
    if (!seeded) {
        std::srand(GetTickCount() ^ (GetCurrentProcessId() << 8));
        seeded = true;
    }
    return MultipartBoundary(static_cast<unsigned>(std::rand()) % 0xFFFF, static_cast<unsigned>(std::rand()) % 0xFFFF,
                             static_cast<unsigned>(std::rand()) % 0xFFFF);
}

bool ReadReportFile(const std::string& path, std::string& bytes)
{
    return !path.empty() && CorePlatform().ReadFileBytes(path, bytes);
}

}  // namespace

void SetWebProxySettings(TWebProxySettings settings) { proxySettings = std::move(settings); }

void ReviveWebUploadStatics() { ReviveStatic(proxySettings); }

const TWebProxySettings& WebProxySettings() { return proxySettings; }

int HttpUploadReport(const std::string& host, uint16_t port, const std::string& path, const std::string& user,
                     const std::string& password, bool secure, const TStringList& fields, const TStringList& names,
                     const TStringList& files, const TUploadStatusEvent& status, std::string& errorText)
{
    errorText.clear();
    TUploadSession session;
    if (!session.Bound())
        return -1;
    const TWinInetFunctions& w = WinInet();
    const std::string boundary = RandomUploadBoundary();
    const std::string contentType = "Content-Type: multipart/form-data; boundary=" + boundary;
    const std::string body = UploadMultipartBody(boundary, fields, names, files, ReadReportFile);
    const uint64_t length = body.size();
    Notify(status, 0, length, 0);

    HINTERNET internet = session.OpenInternet();
    if (!internet)
        return Failed(errorText);
    HINTERNET connection = session.Keep(
        w.InternetConnectA(internet, host.c_str(), port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection)
        return Failed(errorText);
    Notify(status, 1, length, 0);

    std::string object = path.empty() || path[0] != '/' ? "/" + path : path;
    HINTERNET request = session.Keep(w.HttpOpenRequestA(connection, "POST", object.c_str(), nullptr, nullptr, nullptr,
                                                        kUploadRequestFlags | (secure ? kSecureExtraFlags : 0), 0));
    if (!request)
        return Failed(errorText);
    if (secure) {
        DWORD security = 0, size = sizeof security;
        w.InternetQueryOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security, &size);
        security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA;
        w.InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);
    }
    if (!w.HttpAddRequestHeadersA(request, contentType.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD))
        return Failed(errorText);
    if (!user.empty() || !password.empty()) {
        const std::string authorization = "Authorization: Basic " + Base64EncodeText(user + ":" + password);
        if (!w.HttpAddRequestHeadersA(request, authorization.c_str(), static_cast<DWORD>(-1), HTTP_ADDREQ_FLAG_ADD))
            return Failed(errorText);
    }
    if (!proxySettings.User.empty() || !proxySettings.Password.empty()) {
        w.InternetSetOptionA(request, INTERNET_OPTION_PROXY_USERNAME, const_cast<char*>(proxySettings.User.c_str()),
                             static_cast<DWORD>(proxySettings.User.size() + 1));
        w.InternetSetOptionA(request, INTERNET_OPTION_PROXY_PASSWORD, const_cast<char*>(proxySettings.Password.c_str()),
                             static_cast<DWORD>(proxySettings.Password.size() + 1));
    }

    INTERNET_BUFFERSA buffers{};
    buffers.dwStructSize = sizeof buffers;
    buffers.dwBufferTotal = static_cast<DWORD>(length);
    if (!w.HttpSendRequestExA(request, &buffers, nullptr, 0, 0))
        return Failed(errorText);
    for (size_t sent = 0; sent < body.size();) {
        const DWORD piece = static_cast<DWORD>(body.size() - sent < kPieceSize ? body.size() - sent : kPieceSize);
        DWORD written = 0;
        if (!w.InternetWriteFile(request, body.data() + sent, piece, &written) || written == 0) {
            const int code = Failed(errorText);
            w.HttpEndRequestA(request, nullptr, 0, 0);
            return code;
        }
        sent += written;
        Notify(status, 2, length, sent < length ? sent : length);
    }
    if (!w.HttpEndRequestA(request, nullptr, 0, 0))
        return Failed(errorText);

    std::string text;
    if (!QueryInfoText(request, HTTP_QUERY_STATUS_CODE, text))
        return Failed(errorText);
    int32_t code = 0;
    if (!TryStrToInt(Trim(text), code))
        return 0x7FFFFFFF;
    if (code == 200)
        return 0;
    QueryInfoText(request, HTTP_QUERY_STATUS_TEXT, errorText);
    errorText = Trim(errorText);
    if (errorText.empty())
        errorText = WinInetErrorText(static_cast<DWORD>(code));
    return code;
}

int FtpUploadReport(const std::string& host, uint16_t port, const std::string& folder, const std::string& user,
                    const std::string& password, const TStringList& names, const TStringList& files,
                    const TUploadStatusEvent& status, std::string& errorText)
{
    errorText.clear();
    if (files.Empty())
        return 0;
    TUploadSession session;
    if (!session.Bound())
        return -1;
    const TWinInetFunctions& w = WinInet();
    uint64_t total = 0;
    for (const std::string& file : files) {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!file.empty() && GetFileAttributesExW(GbkToWide(file).c_str(), GetFileExInfoStandard, &data) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    Notify(status, 0, total, 0);

    HINTERNET internet = session.OpenInternet();
    if (!internet)
        return Failed(errorText);
    HINTERNET connection = session.Keep(w.InternetConnectA(internet, host.c_str(), port,
                                                           user.empty() ? nullptr : user.c_str(),
                                                           password.empty() ? nullptr : password.c_str(),
                                                           INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0));
    if (!connection)
        return Failed(errorText);
    Notify(status, 1, total, 0);

    uint64_t done = 0;
    for (int i = 0; i < files.Count(); ++i) {
        std::string bytes;
        if (!ReadReportFile(files[i], bytes))
            continue;
        const std::string remote = FtpRemoteName(folder, i < names.Count() ? names[i] : files[i]);
        HINTERNET file = session.Keep(w.FtpOpenFileA(connection, remote.c_str(), GENERIC_WRITE,
                                                     FTP_TRANSFER_TYPE_BINARY, 0));
        if (!file)
            return Failed(errorText);
        for (size_t sent = 0; sent < bytes.size();) {
            const DWORD piece = static_cast<DWORD>(bytes.size() - sent < kPieceSize ? bytes.size() - sent : kPieceSize);
            DWORD written = 0;
            if (!w.InternetWriteFile(file, bytes.data() + sent, piece, &written) || written == 0)
                return Failed(errorText);
            sent += written;
            done += written;
            Notify(status, 2, total, done < total ? done : total);
        }
        // Closing the remote file ends the transfer; its failure is the server's refusal.
        const BOOL closed = w.InternetCloseHandle(file);
        session.Forget(file);
        if (!closed)
            return Failed(errorText);
    }
    return 0;
}
