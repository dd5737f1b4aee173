#include "crashreport/delivery/EWinInet.h"

#include <cstring>
#include <vector>

#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/delivery/EHttpConnection.h"
#include "crashreport/delivery/EWebText.h"
#include "framework/CodePage.h"
#include "framework/SysUtils.h"

namespace {

HMODULE library = nullptr;
TWinInetFunctions functions{};

template <typename F>
bool Resolve(F& function, const char* name)
{
    function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    return function != nullptr;
}

std::string SystemErrorText(DWORD code)
{
    wchar_t buffer[512];
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                   buffer, sizeof buffer / sizeof buffer[0], nullptr);
    return Trim(WideToGbk(std::wstring_view(buffer, n)));
}

}  // namespace

bool BindWinInet()
{
    if (library)
        return true;
    library = LoadLibraryA("wininet.dll");
    if (!library)
        return false;
    TWinInetFunctions& f = functions;
    const bool all = Resolve(f.InternetOpenA, "InternetOpenA") && Resolve(f.InternetConnectA, "InternetConnectA") &&
                     Resolve(f.HttpOpenRequestA, "HttpOpenRequestA") &&
                     Resolve(f.HttpAddRequestHeadersA, "HttpAddRequestHeadersA") &&
                     Resolve(f.HttpSendRequestA, "HttpSendRequestA") &&
                     Resolve(f.HttpSendRequestExA, "HttpSendRequestExA") &&
                     Resolve(f.InternetWriteFile, "InternetWriteFile") && Resolve(f.HttpEndRequestA, "HttpEndRequestA") &&
                     Resolve(f.HttpQueryInfoA, "HttpQueryInfoA") && Resolve(f.InternetCloseHandle, "InternetCloseHandle") &&
                     Resolve(f.InternetQueryOptionA, "InternetQueryOptionA") &&
                     Resolve(f.InternetSetOptionA, "InternetSetOptionA") && Resolve(f.FtpOpenFileA, "FtpOpenFileA") &&
                     Resolve(f.InternetGetLastResponseInfoA, "InternetGetLastResponseInfoA") &&
                     Resolve(f.InternetOpenUrlA, "InternetOpenUrlA") && Resolve(f.InternetReadFile, "InternetReadFile") &&
                     Resolve(f.InternetGetConnectedState, "InternetGetConnectedState");
    if (!all)
        UnbindWinInet();
    else
        Resolve(f.InternetQueryDataAvailable, "InternetQueryDataAvailable");
    return all;
}

void UnbindWinInet()
{
    if (library)
        FreeLibrary(library);
    library = nullptr;
    functions = {};
}

bool WinInetBound() { return library != nullptr; }

const TWinInetFunctions& WinInet() { return functions; }

std::string WinInetErrorText(DWORD code)
{
    if (WinInetBound()) {
        std::vector<char> buffer(3000);
        DWORD error = 0, length = static_cast<DWORD>(buffer.size());
        BOOL ok = functions.InternetGetLastResponseInfoA(&error, buffer.data(), &length);
        if (!ok && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            buffer.resize(length + 100);
            length = static_cast<DWORD>(buffer.size());
            ok = functions.InternetGetLastResponseInfoA(&error, buffer.data(), &length);
        }
        if (ok && length > 0 && length < buffer.size()) {
            std::string text = Trim(std::string(buffer.data(), length));
            if (!text.empty())
                return text;
        }
    }
    return WinInetErrorTableText(code);
}

bool SetLastErrorInfo(bool failed, THTTPResponse& response)
{
    if (!failed)
        return false;
    const DWORD code = GetLastError();
    response.ErrorCode = static_cast<int32_t>(code);
    response.ErrorText = WinInetErrorText(code);
    if (response.ErrorText.empty())
        response.ErrorText = SystemErrorText(code);
    return true;
}

namespace {

// HttpQueryInfoA from an 11-byte buffer grown while too small; name is the header asked for
// with HTTP_QUERY_CUSTOM.
bool QueryHeader(HINTERNET request, DWORD level, const char* name, std::string& text)
{
    std::vector<char> buffer(11);
    for (int round = 0; round < 8; ++round) {
        if (name) {
            const size_t n = strlen(name);
            if (buffer.size() < n + 1)
                buffer.resize(n + 1);
            memcpy(buffer.data(), name, n + 1);
        }
        DWORD length = static_cast<DWORD>(buffer.size());
        if (functions.HttpQueryInfoA(request, level, buffer.data(), &length, nullptr)) {
            text.assign(buffer.data(), length < buffer.size() ? length : buffer.size());
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(length + 1 > buffer.size() ? length + 1 : buffer.size() * 2);
    }
    return false;
}

}  // namespace

bool QueryInfoText(HINTERNET request, DWORD infoLevel, std::string& text)
{
    text.clear();
    if (!WinInetBound())
        return false;
    bool ok = QueryHeader(request, infoLevel, nullptr, text);
    if (infoLevel == HTTP_QUERY_REFRESH) {
        // Wine answers "header not found" for this level even when the header is there.
        if (!ok)
            ok = QueryHeader(request, HTTP_QUERY_CUSTOM, "Refresh", text);
        // Without "url=" it only reloads the same page: nothing to follow.
        if (ok && LowerCase(text).find("url=") == std::string::npos)
            ok = false, text.clear();
        if (ok)
            text = RefreshTarget(text);
    }
    return ok;
}

std::string FileToText(const std::string& path)
{
    std::string bytes;
    if (path.empty() || !CorePlatform().ReadFileBytes(path, bytes))
        return {};
    return bytes;
}

bool FileExistsNonEmpty(const std::string& path)
{
    if (path.empty())
        return false;
    const DWORD attributes = GetFileAttributesW(GbkToWide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
