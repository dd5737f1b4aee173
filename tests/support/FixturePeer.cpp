#include "tests/support/FixturePeer.h"

#include <curl/curl.h>

#include <cstdlib>
#include <stdexcept>

#include "framework/CodePage.h"
#include "framework/StringList.h"
#include "framework/SysUtils.h"

namespace {

size_t Append(char* data, size_t size, size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

std::string Call(const std::string& url, const std::string* postBody)
{
    CURL* c = curl_easy_init();
    std::string out;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &out);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, 10L);
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    if (postBody) {
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, postBody->c_str());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE, static_cast<long>(postBody->size()));
    }
    const CURLcode r = curl_easy_perform(c);
    curl_easy_cleanup(c);
    if (r != CURLE_OK)
        throw std::runtime_error("fixture control " + url + ": " + curl_easy_strerror(r));
    return out;
}

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> cols;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        cols.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return cols;
        start = tab + 1;
    }
}

}  // namespace

int PeerPort(const char* name)
{
    const char* v = std::getenv(name);
    return v ? StrToIntDef(v, 0) : 0;
}

std::string FixtureURL(int port)
{
    return "http://127.0.0.1:" + IntToStr(port) + "/simulate_futures_app_server.php";
}

TFixture::TFixture() : TFixture(PeerPort("VIDUDO_SERVER_PORT")) {}

TFixture::TFixture(int port) : base_("http://127.0.0.1:" + IntToStr(port) + "/control/") {}

void TFixture::Reset()
{
    const std::string empty;
    Call(base_ + "reset", &empty);
}

void TFixture::Script(const std::string& scriptJson)
{
    const std::string body = GbkToUtf8(scriptJson);
    Call(base_ + "script", &body);
}

std::vector<std::string> TFixture::Pages()
{
    std::vector<std::string> pages;
    for (std::string_view line : SplitLines(Call(base_ + "pages", nullptr)))
        pages.emplace_back(line);
    return pages;
}

void TFixture::DelayPage(const std::string& path, double seconds)
{
    const std::string body = "{\"" + path + "\": " + FloatToStr(seconds) + "}";
    Call(base_ + "pagedelay", &body);
}

std::vector<TFixtureRequest> TFixture::Log()
{
    std::vector<TFixtureRequest> log;
    const std::string text = Call(base_ + "log.tsv", nullptr);
    for (std::string_view line : SplitLines(text)) {
        const auto cols = SplitTabs(std::string(line));
        if (cols.size() < 8)
            continue;
        TFixtureRequest r;
        r.peer = cols[0];
        r.cookieOk = cols[1] == "1";
        r.overlap = cols[2] == "1";
        r.path = cols[3];
        r.arrival = StrToFloat(cols[4]);
        r.finish = StrToFloat(cols[5]);
        r.error = cols[6];
        r.fields = UnpackUtf8Cmd(cols[7] + "|");
        log.push_back(std::move(r));
    }
    return log;
}
