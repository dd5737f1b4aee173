#include "trading/connection/HttpExchange.h"

#include <curl/curl.h>

#include <memory>
#include <string>

namespace {

// A hostile server must not be able to exhaust memory with an endless body.
constexpr size_t kMaxBodySize = 64u << 20;

void GlobalInit()
{
    static const bool done = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK;
    if (!done)
        throw EHttpError("libcurl did not initialise");
}

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* body = static_cast<std::string*>(user);
    const size_t n = size * count;
    if (body->size() + n > kMaxBodySize)
        return 0;
    body->append(data, n);
    return n;
}

int AskAbandoned(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* abandoned = static_cast<const std::function<bool()>*>(user);
    return *abandoned && (*abandoned)() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MimeDeleter {
    void operator()(curl_mime* m) const { curl_mime_free(m); }
};
struct SlistDeleter {
    void operator()(curl_slist* s) const { curl_slist_free_all(s); }
};

}  // namespace

THttpSession::THttpSession()
{
    GlobalInit();
    CURLSH* share = curl_share_init();
    if (!share)
        throw EHttpError("libcurl share object");
    // Every exchange runs on the main thread, so the share needs no lock callbacks.
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    share_ = share;
}

THttpSession::~THttpSession() { curl_share_cleanup(static_cast<CURLSH*>(share_)); }

std::string THttpSession::Post(const std::string& url, const std::string& cmd, const TSocksInfo& socks)
{
    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy)
        throw EHttpError("libcurl easy handle");
    CURL* c = easy.get();
    std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(c));
    curl_mimepart* part = curl_mime_addpart(mime.get());
    // A data part without a file name carries no Content-Type of its own.
    curl_mime_name(part, "cmd");
    curl_mime_data(part, cmd.data(), cmd.size());
    // The server doesn't speak "100-continue"; a large command must not wait for it.
    std::unique_ptr<curl_slist, SlistDeleter> headers(curl_slist_append(nullptr, "Expect:"));

    std::string body;
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_SHARE, share_);
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(c, CURLOPT_POSTREDIR, static_cast<long>(CURL_REDIR_POST_ALL));
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, ExchangeTimeoutMs);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, AskAbandoned);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &Abandoned);
    if (socks.Version == TSocksVersion::None) {
        // Empty, not unset: no proxy from the environment either.
        curl_easy_setopt(c, CURLOPT_PROXY, "");
    } else {
        // The scheme is spelt out: a host text such as "http://x" must not pick another proxy kind.
        if (socks.Host.empty() || socks.Host.find_first_of(" \t\r\n/@?#") != std::string::npos)
            throw EHttpError("invalid proxy server '" + socks.Host + "'");
        const bool v6 = socks.Host.find(':') != std::string::npos && socks.Host.front() != '[';
        const std::string proxy = std::string(socks.Version == TSocksVersion::Socks5 ? "socks5://" : "socks4://") +
                                  (v6 ? "[" + socks.Host + "]" : socks.Host) + ":" + std::to_string(socks.Port);
        curl_easy_setopt(c, CURLOPT_PROXY, proxy.c_str());
        if (socks.Authentication) {
            curl_easy_setopt(c, CURLOPT_PROXYUSERNAME, socks.Username.c_str());
            curl_easy_setopt(c, CURLOPT_PROXYPASSWORD, socks.Password.c_str());
            curl_easy_setopt(c, CURLOPT_SOCKS5_AUTH, static_cast<long>(CURLAUTH_BASIC));
        } else {
            curl_easy_setopt(c, CURLOPT_SOCKS5_AUTH, static_cast<long>(CURLAUTH_NONE));
        }
    }
    const CURLcode r = curl_easy_perform(c);
    if (r != CURLE_OK)
        throw EHttpError(Format("%s: %s", curl_easy_strerror(r), error));
    return body;
}
