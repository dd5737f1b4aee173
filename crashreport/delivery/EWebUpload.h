#pragma once
// Plain uploads of the report files over WinInet: a multipart form post by HTTP or HTTPS, or
// FTP in passive mode. Each answers 0, -1 when WinInet can't be loaded, the system or WinInet
// error code, or the HTTP status other than 200 (0x7FFFFFFF when it is no number).

#include <cstdint>
#include <functional>
#include <string>

#include "framework/StringList.h"

// kind 0 before connecting, 1 connected, 2 after each written piece (done of total bytes).
using TUploadStatusEvent = std::function<void(int kind, uint64_t total, uint64_t done)>;

// The proxy every web step goes through, set from the options before each step; an empty
// address means the system's own settings.
struct TWebProxySettings {
    std::string Address;  // host ":" port
    std::string User;
    std::string Password;
};
void SetWebProxySettings(TWebProxySettings settings);
// The leak report at exit finds the settings destroyed: made again, empty (each send sets them).
void ReviveWebUploadStatics();
const TWebProxySettings& WebProxySettings();

int HttpUploadReport(const std::string& host, uint16_t port, const std::string& path, const std::string& user,
                     const std::string& password, bool secure, const TStringList& fields, const TStringList& names,
                     const TStringList& files, const TUploadStatusEvent& status, std::string& errorText);

int FtpUploadReport(const std::string& host, uint16_t port, const std::string& folder, const std::string& user,
                    const std::string& password, const TStringList& names, const TStringList& files,
                    const TUploadStatusEvent& status, std::string& errorText);
