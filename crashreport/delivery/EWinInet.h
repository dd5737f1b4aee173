#pragma once
// WinInet bound at run time ("wininet.dll", 17 functions), its error texts, and the header
// and file helpers of the web unit.

#include <windows.h>
#include <wininet.h>

#include <string>

struct TWinInetFunctions {
    decltype(&::InternetOpenA) InternetOpenA;
    decltype(&::InternetConnectA) InternetConnectA;
    decltype(&::HttpOpenRequestA) HttpOpenRequestA;
    decltype(&::HttpAddRequestHeadersA) HttpAddRequestHeadersA;
    decltype(&::HttpSendRequestA) HttpSendRequestA;
    decltype(&::HttpSendRequestExA) HttpSendRequestExA;
    decltype(&::InternetWriteFile) InternetWriteFile;
    decltype(&::HttpEndRequestA) HttpEndRequestA;
    decltype(&::HttpQueryInfoA) HttpQueryInfoA;
    decltype(&::InternetCloseHandle) InternetCloseHandle;
    decltype(&::InternetQueryOptionA) InternetQueryOptionA;
    decltype(&::InternetSetOptionA) InternetSetOptionA;
    decltype(&::FtpOpenFileA) FtpOpenFileA;
    decltype(&::InternetGetLastResponseInfoA) InternetGetLastResponseInfoA;
    decltype(&::InternetOpenUrlA) InternetOpenUrlA;
    decltype(&::InternetReadFile) InternetReadFile;
    decltype(&::InternetGetConnectedState) InternetGetConnectedState;
    // Not required: without it a read waits for a whole piece.
    decltype(&::InternetQueryDataAvailable) InternetQueryDataAvailable;
};

// Loads the library and all 17 functions; frees it again and answers false when one is
// missing. True at once when already bound.
bool BindWinInet();
void UnbindWinInet();
bool WinInetBound();
// Valid only while bound.
const TWinInetFunctions& WinInet();

class THTTPResponse;
// The server's last response text, else the table text of code, else empty.
std::string WinInetErrorText(DWORD code);
// When failed: GetLastError and its text go into the response; answers failed.
bool SetLastErrorInfo(bool failed, THTTPResponse& response);
// A header by info level; the refresh header (46) is read by name when the level doesn't
// answer and cut to its "url=" part (false without one).
bool QueryInfoText(HINTERNET request, DWORD infoLevel, std::string& text);

std::string FileToText(const std::string& path);
bool FileExistsNonEmpty(const std::string& path);
