#include "crashreport/capture/EWebOutputWin.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <httpext.h>

#include <regex>
#include <string>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebPage.h"
#include "framework/CodePage.h"
#include "tests/support/IsapiRecorder.h"

namespace {

std::string ProgramFolder()
{
    const std::string self = ModuleFileNameOf(nullptr);
    return self.substr(0, self.find_last_of('\\') + 1);
}

const std::regex pageId("<!-- DuruvaDod ID: [0-9A-F]{8} -->");

TEST(WebOutput, AnIsapiExtensionSendsTheStatusThroughTheServer)
{
    HMODULE dll = LoadLibraryW(GbkToWide(ProgramFolder() + "crashreport_web_isapi.dll").c_str());
    ASSERT_NE(dll, nullptr);
    using TProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
    const auto proc = reinterpret_cast<TProc>(reinterpret_cast<void*>(GetProcAddress(dll, "HttpExtensionProc")));
    ASSERT_NE(proc, nullptr);
    EXTENSION_CONTROL_BLOCK block = RecordingRequestBlock();
    const TRecordedRequest& recorded = RecordedRequest();
    EXPECT_EQ(proc(&block), static_cast<DWORD>(HSE_STATUS_SUCCESS));
    EXPECT_EQ(block.dwHttpStatusCode, 200u);
    EXPECT_EQ(recorded.status, "200 Error");
    EXPECT_EQ(recorded.header, "Content-Type: text/html\r\nContent-Length: " + std::to_string(recorded.body.size()) +
                                   "\r\nContent:\r\n\r\n");
    EXPECT_EQ(recorded.header.find("Status:"), std::string::npos);
    EXPECT_NE(recorded.body.find("Report &lt;1&gt; &amp; &quot;2&quot;"), std::string::npos);
    EXPECT_TRUE(std::regex_search(recorded.body, pageId));
    EXPECT_NE(recorded.body.find(WebPageOkButton), std::string::npos);

    // Outside a request nothing can be sent, and the handling is told so.
    using TOutside = BOOL(WINAPI*)();
    const auto outside = reinterpret_cast<TOutside>(reinterpret_cast<void*>(GetProcAddress(dll, "ShowOutsideRequest")));
    ASSERT_NE(outside, nullptr);
    EXPECT_FALSE(outside());
    FreeLibrary(dll);
}

// Runs this program as a CGI child and returns what it wrote to its standard output.
std::string RunCgiChild()
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = writeEnd;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"\"" + GbkToWide(ModuleFileNameOf(nullptr)) + L"\" cgi-child";
    SetEnvironmentVariableW(L"REQUEST_METHOD", L"GET");
    PROCESS_INFORMATION process{};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process);
    SetEnvironmentVariableW(L"REQUEST_METHOD", nullptr);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) out.append(buffer, read);
        WaitForSingleObject(process.hProcess, 10000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
    return out;
}

TEST(WebOutput, ACgiProgramWritesTheStatusAndTheExactLength)
{
    const std::string out = RunCgiChild();
    ASSERT_EQ(out.rfind("Status: 200 Error\r\nContent-Type: text/html\r\nContent-Length: ", 0), 0u) << out;
    const size_t blank = out.find("\r\n\r\n");
    ASSERT_NE(blank, std::string::npos);
    const size_t lengthAt = out.find("Content-Length: ") + 16;
    const size_t length = std::stoul(out.substr(lengthAt));
    EXPECT_EQ(out.substr(0, blank + 4).find("Content:\r\n\r\n"), blank - 8);
    EXPECT_EQ(out.size() - (blank + 4), length);
    EXPECT_NE(out.find("line one<br>\r\nline two"), std::string::npos);
    EXPECT_TRUE(std::regex_search(out, pageId));
}

TEST(WebOutput, AWindowedRunIsNoWebProgram)
{
    EXPECT_FALSE(IsIsapiExtension());
    EXPECT_FALSE(IsCgiApplication());
    EXPECT_FALSE(IsWinCgiApplication());
    EXPECT_FALSE(IsWebServerApplication());
    TVurazaModuleOptions options(ModuleFileNameOf(nullptr));
    EXPECT_TRUE(ShowWebOutput("Report", options));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "cgi-child") {
        TVurazaModuleOptions options(ModuleFileNameOf(nullptr));
        return IsCgiApplication() && ShowWebOutput("Header\r\n\r\nline one\r\nline two", options) ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
