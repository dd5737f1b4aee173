// The plain uploads and the tracker dialogues under Wine against real peers of upload_peers.py:
// the recording HTTP and HTTPS servers, pyftpdlib, vsftpd, tinyproxy and the fake trackers.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/delivery/EWebSend.h"
#include "crashreport/delivery/EWebText.h"
#include "crashreport/delivery/EWebUpload.h"
#include "crashreport/delivery/EWebUploadText.h"
#include "framework/Dialogs.h"
#include "tests/crashreport/delivery/UploadPeers.h"

namespace {

namespace fs = std::filesystem;

uint16_t PortOf(const char* name) { return static_cast<uint16_t>(std::atoi(Env(name).c_str())); }

std::string Slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Spill(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

int RequestCount()
{
    int n = 0;
    for (const auto& entry : fs::directory_iterator(PeerDir()))
        if (entry.path().extension() == ".req")
            ++n;
    return n;
}

std::string LastRequest() { return Slurp(PeerDir() / ("http-" + std::to_string(RequestCount()) + ".req")); }

std::string HeaderValue(const std::string& request, const std::string& name)
{
    const size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return {};
    const size_t begin = at + name.size() + 4;
    return request.substr(begin, request.find("\r\n", begin) - begin);
}

std::string BodyOf(const std::string& request) { return request.substr(request.find("\r\n\r\n") + 4); }

// Files of a test in a scratch folder; the list's second file never exists.
struct TFiles {
    TFiles()
    {
        dir = fs::temp_directory_path() / ("upload-" + std::to_string(GetCurrentProcessId()));
        fs::create_directories(dir);
        a = std::string("PK\x03\x04 zip bytes \x00\xFF", 18);
        c = std::string(3000, 'c') + "\r\nend";
        Spill(dir / "a.zip", a);
        Spill(dir / "c.png", c);
        files.Add((dir / "a.zip").string());
        files.Add((dir / "missing.txt").string());
        files.Add((dir / "c.png").string());
        names.Add("BugReport__PC.zip");
        names.Add("missing.txt");
        names.Add("shot__PC.png");
    }
    ~TFiles() { fs::remove_all(dir); }
    fs::path dir;
    std::string a, c;
    TStringList files, names;
};

struct TStatusLog {
    std::vector<std::vector<uint64_t>> events;
    TUploadStatusEvent Event()
    {
        return [this](int kind, uint64_t total, uint64_t done) { events.push_back({uint64_t(kind), total, done}); };
    }
};

TEST(HttpUpload, FieldsThenThePresentFilesByTheirPlaces)
{
    TFiles f;
    TStringList fields;
    fields.Add("product=Vidudo");
    fields.Add("note=中文");
    TStatusLog status;
    std::string error;
    SetWebProxySettings({});
    const int before = RequestCount();
    ASSERT_EQ(0, HttpUploadReport("127.0.0.1", PortOf("VIDUDO_HTTP_PORT"), "up/receive.php", "u", "p", false, fields,
                                  f.names, f.files, status.Event(), error))
        << error;
    ASSERT_EQ(before + 1, RequestCount());
    const std::string request = LastRequest();
    EXPECT_EQ(0u, request.find("POST /up/receive.php HTTP/1.1\r\n"));
    EXPECT_EQ("Basic dTpw", HeaderValue(request, "Authorization"));
    EXPECT_EQ("DuruvaDod", HeaderValue(request, "User-Agent"));
    const std::string body = BodyOf(request);
    EXPECT_EQ(std::to_string(body.size()), HeaderValue(request, "Content-Length"));
    const std::string type = HeaderValue(request, "Content-Type");
    ASSERT_EQ(0u, type.find("multipart/form-data; boundary=---------------------------"));
    const std::string boundary = type.substr(type.find('=') + 1);
    EXPECT_EQ(39u, boundary.size());
    const std::string dash = "--" + boundary + "\r\n";
    EXPECT_EQ(dash + "Content-Disposition: form-data; name=\"product\";\r\n\r\nVidudo\r\n" + dash +
                  "Content-Disposition: form-data; name=\"note\";\r\n\r\n中文\r\n" + dash +
                  "Content-Disposition: form-data; name=\"el_upload_file_0\"; filename=\"BugReport__PC.zip\";\r\n"
                  "Content-Type: application/octet-stream\r\n\r\n" + f.a + "\r\n" + dash +
                  "Content-Disposition: form-data; name=\"el_upload_file_2\"; filename=\"shot__PC.png\";\r\n"
                  "Content-Type: application/octet-stream\r\n\r\n" + f.c + "\r\n--" + boundary + "--\r\n",
              body);
    ASSERT_GE(status.events.size(), 4u);
    EXPECT_EQ((std::vector<uint64_t>{0, body.size(), 0}), status.events[0]);
    EXPECT_EQ((std::vector<uint64_t>{1, body.size(), 0}), status.events[1]);
    EXPECT_EQ((std::vector<uint64_t>{2, body.size(), 1024}), status.events[2]);
    EXPECT_EQ((std::vector<uint64_t>{2, body.size(), body.size()}), status.events.back());
}

TVurazaModuleOptions& Options()
{
    static TVurazaModuleOptions options("");
    return options;
}

TWebSendInput WebInput(const TFiles& f, const std::string& address)
{
    TVurazaModuleOptions& options = Options();
    options.SetUploadAddress(address);
    options.SetUploadPort(0);
    options.SetUploadLogin("");
    options.SetUploadPassword("");
    options.SetProxyServer("");
    TWebSendInput input;
    input.Options = &options;
    input.Files = f.files;
    input.DisplayNames = f.names;
    input.Facts.AppVersion = "1.2.3.4";
    input.Facts.BugId = "1A2B";
    input.Facts.ExceptionMessage = "Access violation at 0041";
    input.Facts.ExceptionClass = "EAccessViolation";
    input.Facts.OsType = "Windows 7";
    input.Facts.OsBuild = "7601";
    input.Facts.ReproduceText = "Open 行情";
    return input;
}

TEST(HttpUpload, ARedirectFailsWithItsStatusAfterOneRequest)
{
    TFiles f;
    TWebSendInput input = WebInput(f, "http://127.0.0.1:" + Env("VIDUDO_HTTP_PORT") + "/up/found.php");
    const int before = RequestCount();
    ClearLastWarning();
    bool shown = false;
    EXPECT_FALSE(SendWebReport(wsmHttp, input, {}, shown));
    EXPECT_EQ(before + 1, RequestCount());
    EXPECT_EQ(TDuruvaDodErrorCode::eeWebHTTPError, LastWarningCode());
    EXPECT_EQ("HTTP error code: 302 (Found)", LastWarningText());
    EXPECT_FALSE(shown);
}

TEST(HttpUpload, NoFilesSucceedWithoutAConnection)
{
    TFiles f;
    TWebSendInput input = WebInput(f, "http://127.0.0.1:" + Env("VIDUDO_HTTP_PORT") + "/up/receive.php");
    input.Files.Clear();
    input.DisplayNames.Clear();
    const int before = RequestCount();
    bool shown = false;
    // The progress window opened for the step closes with it.
    int closed = 0;
    TWebSendHooks hooks;
    hooks.CloseProgress = [&] { ++closed; };
    for (int method : {wsmHttp, wsmHttps, wsmFtp})
        EXPECT_TRUE(SendWebReport(method, input, hooks, shown)) << method;
    EXPECT_EQ(before, RequestCount());
    EXPECT_EQ(3, closed);
}

TEST(HttpUpload, HttpsToASelfSignedPeerOnItsPort)
{
    TFiles f;
    // The port given at the end of the address, and the same through the options' port.
    for (bool optionPort : {false, true}) {
        SCOPED_TRACE(optionPort);
        TWebSendInput input =
            WebInput(f, optionPort ? "https://127.0.0.1/up/tls.php"
                                   : "https://127.0.0.1/up/tls.php:" + Env("VIDUDO_HTTPS_PORT"));
        if (optionPort)
            Options().SetUploadPort(PortOf("VIDUDO_HTTPS_PORT"));
        Options().SetUploadLogin("u");
        Options().SetUploadPassword("p");
        const int before = RequestCount();
        bool shown = false;
        ASSERT_TRUE(SendWebReport(wsmHttps, input, {}, shown)) << LastWarningText();
        ASSERT_EQ(before + 1, RequestCount());
        const std::string request = LastRequest();
        EXPECT_EQ(0u, request.find("POST /up/tls.php HTTP/1.1\r\n"));
        EXPECT_EQ("Basic dTpw", HeaderValue(request, "Authorization"));
        EXPECT_NE(std::string::npos, BodyOf(request).find(f.c));
    }
}

TEST(HttpUpload, ThroughTheProxy)
{
    TFiles f;
    const std::string port = Env("VIDUDO_HTTP_PROXIED_PORT");
    TWebSendInput input = WebInput(f, "http://127.0.0.1:" + port + "/up/proxied.php");
    Options().SetProxyServer("127.0.0.1");
    Options().SetProxyServerPort(PortOf("VIDUDO_PROXY_PORT"));
    bool shown = false;
    const bool sent = SendWebReport(wsmHttp, input, {}, shown);
    Options().SetProxyServer("");
    SetWebProxySettings({});
    ASSERT_TRUE(sent) << LastWarningText();
    const std::string log = Slurp(PeerDir() / "tinyproxy.log");
    EXPECT_NE(std::string::npos, log.find("POST http://127.0.0.1:" + port + "/up/proxied.php")) << log;
}

TEST(FtpUpload, BothServersFolderWithOrWithoutSlash)
{
    TFiles f;
    const struct {
        const char* port;
        const char* root;
    } servers[] = {{"VIDUDO_FTP_PORT", "ftp1"}, {"VIDUDO_VSFTPD_PORT", "ftp2"}};
    for (const auto& s : servers) {
        for (const char* folder : {"up", "up/"}) {
            SCOPED_TRACE(std::string(s.root) + " " + folder);
            const fs::path up = PeerDir() / s.root / "up";
            TStatusLog status;
            std::string error;
            SetWebProxySettings({});
            ASSERT_EQ(0, FtpUploadReport("127.0.0.1", PortOf(s.port), folder, "", "", f.names, f.files, status.Event(),
                                         error))
                << error;
            EXPECT_EQ(f.a, Slurp(up / "BugReport__PC.zip"));
            EXPECT_EQ(f.c, Slurp(up / "shot__PC.png"));
            EXPECT_FALSE(fs::exists(up / "missing.txt"));
            const uint64_t total = f.a.size() + f.c.size();
            ASSERT_FALSE(status.events.empty());
            EXPECT_EQ((std::vector<uint64_t>{0, total, 0}), status.events.front());
            EXPECT_EQ((std::vector<uint64_t>{2, total, total}), status.events.back());
            fs::remove(up / "BugReport__PC.zip");
            fs::remove(up / "shot__PC.png");
        }
    }
}

TEST(FtpUpload, AWrongPasswordIsRefusedWith530)
{
    TFiles f;
    std::string error;
    const int code = FtpUploadReport("127.0.0.1", PortOf("VIDUDO_FTP_PORT"), "up", "u", "wrong", f.names, f.files, {},
                                     error);
    EXPECT_NE(0, code);
    EXPECT_NE(std::string::npos, error.find("530")) << code << " " << error;
    // The step's warning carries it.
    TWebSendInput input = WebInput(f, "ftp://127.0.0.1/up");
    Options().SetUploadPort(PortOf("VIDUDO_FTP_PORT"));
    Options().SetUploadLogin("u");
    Options().SetUploadPassword("wrong");
    bool shown = false;
    EXPECT_FALSE(SendWebReport(wsmFtp, input, {}, shown));
    EXPECT_EQ(TDuruvaDodErrorCode::eeWebFTPError, LastWarningCode());
    EXPECT_EQ(0u, LastWarningText().find("FTP error code: "));
    EXPECT_NE(std::string::npos, LastWarningText().find("530"));
    std::string user;
    EXPECT_EQ(0, FtpUploadReport("127.0.0.1", PortOf("VIDUDO_FTP_PORT"), "up", "u", "p", f.names, {}, {}, user));
}

}  // namespace

namespace {

// Only inside the namespace of https_netns.py, where port 443 is the test's own.
TEST(HttpsDefaultPort, AnAddressWithoutPortGoesTo443)
{
    if (!std::getenv("VIDUDO_HTTPS_443"))
        GTEST_SKIP() << "run by https_netns.py";
    TFiles f;
    TWebSendInput input = WebInput(f, "https://127.0.0.1/up/default.php");
    const int before = RequestCount();
    bool shown = false;
    ASSERT_TRUE(SendWebReport(wsmHttps, input, {}, shown)) << LastWarningText();
    ASSERT_EQ(before + 1, RequestCount());
    EXPECT_EQ(0u, LastRequest().find("POST /up/default.php HTTP/1.1\r\n"));
    EXPECT_EQ("127.0.0.1", HeaderValue(LastRequest(), "Host"));
}

}  // namespace
