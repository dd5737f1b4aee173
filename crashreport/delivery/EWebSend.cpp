#include "crashreport/delivery/EWebSend.h"

#include <windows.h>

#include <exception>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/delivery/EHttpConnection.h"
#include "crashreport/delivery/ETrackers.h"
#include "crashreport/delivery/EWebText.h"
#include "crashreport/delivery/EWebUploadText.h"
#include "framework/Dialogs.h"

namespace {

// The WinInet connection of a tracker when the delivery shows no progress.
class TQuietHTTPConnection : public THTTPConnectionBase {
public:
    using THTTPConnectionBase::THTTPConnectionBase;
    void ShowConnectionStatus(int, int) override {}
};

struct TUploadTarget {
    std::string Host;
    std::string Path;
    std::string User;
    std::string Password;
    uint16_t Port = 0;
};

// The upload address with the options' port and credentials in place of its own.
TUploadTarget UploadTargetOf(const TVurazaModuleOptions& options, uint16_t defaultPort)
{
    TUploadTarget target;
    std::string scheme;
    SplitUrl(options.UploadAddress(), scheme, target.User, target.Password, target.Host, target.Path, target.Port);
    if (options.UploadPort() != 0 && options.UploadPort() <= 0xFFFF)
        target.Port = static_cast<uint16_t>(options.UploadPort());
    if (target.Port == 0)
        target.Port = defaultPort;
    if (!options.UploadLogin().empty() || !options.UploadPassword().empty()) {
        target.User = options.UploadLogin();
        target.Password = options.UploadPassword();
    }
    return target;
}

void CloseProgress(const TWebSendHooks& hooks)
{
    if (hooks.CloseProgress)
        hooks.CloseProgress();
}

bool PlainUpload(int method, const TWebSendInput& input, const TWebSendHooks& hooks)
{
    const TVurazaModuleOptions& options = *input.Options;
    SetWebProxySettings(ProxySettingsOf(options));
    if (input.Files.Empty()) {
        CloseProgress(hooks);
        return true;
    }
    const bool ftp = method == wsmFtp;
    const bool secure = method == wsmHttps;
    const TUploadTarget target = UploadTargetOf(options, ftp ? 21 : secure ? 443 : 80);
    std::string errorText;
    const int code = ftp ? FtpUploadReport(target.Host, target.Port, target.Path, target.User, target.Password,
                                           input.DisplayNames, input.Files, hooks.UploadStatus, errorText)
                         : HttpUploadReport(target.Host, target.Port, target.Path, target.User, target.Password, secure,
                                            input.CustomFields, input.DisplayNames, input.Files, hooks.UploadStatus,
                                            errorText);
    CloseProgress(hooks);
    if (code == 0)
        return true;
    const char* protocol = ftp ? "FTP" : secure ? "HTTPS" : "HTTP";
    const TDuruvaDodErrorCode warning = ftp ? TDuruvaDodErrorCode::eeWebFTPError
                                      : secure ? TDuruvaDodErrorCode::eeWebHTTPSError
                                               : TDuruvaDodErrorCode::eeWebHTTPError;
    ReportInternalWarning(warning, UploadFailureText(protocol, code, errorText));
    return false;
}

bool TrackerUpload(int method, const TWebSendInput& input, const TWebSendHooks& hooks, bool& messageShown)
{
    const TVurazaModuleOptions& options = *input.Options;
    TTrackerInput tracker;
    tracker.AppVersion = input.Facts.AppVersion;
    tracker.ExceptionClass = input.Facts.ExceptionClass;
    tracker.Fields = input.CustomFields;
    tracker.Fields.Add("FogBugzTrialID=" + options.TrackerTrialId());
    tracker.Fields.Add("EL_OSType=" + input.Facts.OsType);
    tracker.Fields.Add("EL_OSBuild=" + input.Facts.OsBuild);
    tracker.Fields.Add("EL_ReproduceText=" + input.Facts.ReproduceText);
    tracker.FileName = input.Files.Empty() ? std::string() : input.Files[0];
    tracker.Assignee = ExpandTextVariables(options.TrackerAssignee());
    tracker.Category = ExpandTextVariables(options.TrackerCategory());
    tracker.Project = ExpandTextVariables(options.TrackerProject());
    tracker.Password = options.TrackerLoginPassword();
    tracker.User = options.TrackerLogin();
    tracker.ProxyAddress = TrackerProxyAddress(options);
    tracker.TrackerAddress = TrackerAddress(options);
    tracker.BugId = input.Facts.BugId;
    tracker.ExceptionMessage = input.Facts.ExceptionMessage;

    THTTPConnectionClass connectionClass = hooks.TrackerConnection;
    if (!connectionClass)
        connectionClass = [](const std::string& url, const std::string& proxy) -> std::unique_ptr<THTTPFormConnection> {
            return std::make_unique<TQuietHTTPConnection>(url, proxy);
        };
    TTrackerClass trackerClass = method == wsmBugzilla  ? &MakeTracker<THTTPBugzillaSendReport>
                                 : method == wsmFogBugz ? &MakeTracker<THTTPFogBugzSendReport>
                                                        : &MakeTracker<THTTPMantisSendReport>;
    THTTPResponse response;
    const int result = SendTrackerReport(connectionClass, trackerClass, tracker, response);

    const bool progressOpen = hooks.ProgressOpen && hooks.ProgressOpen();
    CloseProgress(hooks);
    if (result == trBugClosed && progressOpen) {
        MessageBoxWithFlags(options.MessageText(146), options.MessageText(0), TMsgDlgType::Information,
                            MB_ICONINFORMATION | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
        messageShown = true;
    }
    if (result == trSuccess || result == trBugClosed)
        return true;
    ReportInternalWarning(TDuruvaDodErrorCode::eeWebTrakerError,
                          TrackerFailureText(options.MessageText(TrackerResultMessageSlot(result)), response.ErrorCode,
                                             response.ErrorText));
    return false;
}

}  // namespace

TWebProxySettings ProxySettingsOf(const TVurazaModuleOptions& options)
{
    TWebProxySettings settings;
    if (!options.ProxyServer().empty())
        settings.Address = options.ProxyServer() + ":" + std::to_string(options.ProxyServerPort());
    settings.User = options.ProxyLogin();
    settings.Password = options.ProxyLoginPassword();
    return settings;
}

std::string TrackerProxyAddress(const TVurazaModuleOptions& options)
{
    std::string address = options.ProxyServer();
    if (address.empty())
        return address;
    AddCredentials(address, options.ProxyLogin(), options.ProxyLoginPassword(), options.ProxyServerPort());
    return address;
}

std::string TrackerAddress(const TVurazaModuleOptions& options)
{
    std::string address = options.UploadAddress();
    const uint32_t port = options.UploadPort();
    AddCredentials(address, options.UploadLogin(), options.UploadPassword(),
                   port <= 0xFFFF ? static_cast<uint16_t>(port) : 0);
    return address;
}

bool SendWebReport(int method, const TWebSendInput& input, const TWebSendHooks& hooks, bool& messageShown)
{
    if (!input.Options)
        return false;
    try {
        if (method >= wsmHttp && method <= wsmFtp)
            return PlainUpload(method, input, hooks);
        if (method >= wsmBugzilla && method <= wsmMantis) {
            SetWebProxySettings(ProxySettingsOf(*input.Options));
            return TrackerUpload(method, input, hooks, messageShown);
        }
    } catch (const std::exception& e) {
        CloseProgress(hooks);
        ReportInternalWarning(TDuruvaDodErrorCode::eeWebHTTPError, e.what());
    } catch (...) {
        CloseProgress(hooks);
        ReportInternalWarning(TDuruvaDodErrorCode::eeWebHTTPError, "Unknown error.");
    }
    return false;
}
