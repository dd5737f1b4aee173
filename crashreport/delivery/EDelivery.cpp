#include "crashreport/delivery/EDelivery.h"

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/delivery/EDeliveryRules.h"

namespace {

const char* const kCrLf3 = "\r\n\r\n\r\n";

bool EndsWith(const std::string& text, std::string_view tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TStringList DisplayNamesOf(const TStringList& files, const TVurazaModuleOptions& options, const TDeliveryReport& report)
{
    TStringList names;
    for (const std::string& f : files) names.Add(DecoratedFileName(f, options, report.Files));
    return names;
}

// Deletes what a delivery wrote, the zip first; a web-server application keeps its last page.
void DeleteTemporaryFiles(const TVurazaModuleOptions& options, const TDeliveryReport& report, TDeliveryPlatform& platform)
{
    platform.DeleteFile(ZipFileName(report.Files));
    platform.DeleteFile(XmlFileName(options, report.Files));
    if (!report.WebServerApplication) platform.DeleteFile(LastHtmlPageFileName(report.Files));
    platform.DeleteFile(LogCopyFileName(options, report.Files));
}

// The zip goes beside the log under the name it was sent with; of the reporter's own zips
// there only the ten last by name stay.
void KeepZip(const TVurazaModuleOptions& options, const TDeliveryReport& report, TDeliveryPlatform& platform)
{
    const std::string zip = ZipFileName(report.Files);
    if (!platform.FileExists(zip)) return;
    const std::string folder = ExtractFilePath(ActiveLogFileName(options));
    if (!platform.MoveFile(zip, folder + DecoratedFileName(zip, options, report.Files))) return;
    for (const std::string& name : KeptArchivesToDelete(platform.ListFiles(folder))) platform.DeleteFile(folder + name);
}

}  // namespace

TStringList PrepareAttachments(bool forEmail, const TVurazaModuleOptions& options, const TDeliveryReport& report,
                               TDeliveryPlatform& platform, bool& zipped)
{
    zipped = true;
    TStringList list = BuildAttachmentList(forEmail, options, report.Files);
    platform.AttachedFilesRequest(list);
    TStringList existing;
    for (const std::string& name : list)
        if (!name.empty() && existing.IndexOf(name) < 0 && platform.FileExists(name)) existing.Add(name);
    TStringList result;
    if (existing.Empty()) return result;
    const std::string zip = ZipFileName(report.Files);
    zipped = platform.ZipFiles(zip, existing, options.AttachmentZipPassword()) && platform.FileExists(zip);
    if (zipped) result.Add(zip);
    return result;
}

bool RunMailChannel(const TVurazaModuleOptions& options, const TDeliveryReport& report, const TStringList& files,
                    TDeliveryPlatform& platform)
{
    bool continueFlag = true;
    platform.ActionNotify(4, continueFlag);
    if (!continueFlag) return false;
    const int method = options.MailMethod();
    bool success = false;
    for (;;) {
        TMailRequest mail;
        mail.Recipients = options.MailRecipients();
        mail.Subject = options.MailSubject();
        mail.Body = options.MailBody();
        if (options.AppendReportToMessage()) mail.Body += kCrLf3 + report.LogReportText;
        mail.Files = files;
        mail.DisplayNames = DisplayNamesOf(files, options, report);
        mail.LastReportText = report.LastReportText;
        const bool smtp = method == 2 || method == 3;
        if (smtp) {
            platform.BeginSendProgress(!(options.SendFlags() & 0x80));
            success = platform.SendBySmtp(mail, method == 3);
        } else if (method == 1) {
            success = platform.SendByMapi(mail);
        }
        if (!success && !smtp) success = platform.SendByMailto(mail);
        if (success) break;
        bool retry = false;
        platform.ErrorNotify(5, retry);
        if (!retry) break;
    }
    continueFlag = true;
    platform.ActionNotify(5, continueFlag);
    return success;
}

bool RunWebChannel(const TVurazaModuleOptions& options, const TDeliveryReport& report, const TStringList& files,
                   TDeliveryPlatform& platform, bool& messageShown)
{
    bool continueFlag = true;
    platform.ActionNotify(6, continueFlag);
    if (!continueFlag) return false;
    bool success = false;
    for (;;) {
        platform.BeginSendProgress(!(options.SendFlags() & 0x80));
        TWebStepRequest request;
        request.Options = &options;
        request.Files = files;
        request.DisplayNames = DisplayNamesOf(files, options, report);
        platform.CustomWebFields(request.CustomFields);
        request.Facts = report.Facts;
        success = platform.SendToWeb(request, messageShown);
        if (success) break;
        bool retry = false;
        platform.ErrorNotify(7, retry);
        if (!retry) break;
    }
    continueFlag = true;
    platform.ActionNotify(7, continueFlag);
    return success;
}

bool SendReport(const TVurazaModuleOptions& options, const TDeliveryReport& report, TDeliveryPlatform& platform)
{
    ClearLastWarning();
    bool success = true;
    try {
        std::string logCopy = report.LogReportText;
        if (!EndsWith(logCopy, kCrLf3)) logCopy += kCrLf3;
        platform.WriteTextFile(LogCopyFileName(options, report.Files), logCopy);
        platform.SaveLastHtmlPage(report);
        platform.MakeXmlFile(report);

        // A report whose zip can't be made is not sent without it: that channel fails.
        TStringList files;
        bool zipped = true;
        if (options.MailMethod() != 0) {
            files = PrepareAttachments(true, options, report, platform, zipped);
            success = zipped && RunMailChannel(options, report, files, platform);
        }
        bool messageShown = false;
        if (options.UploadMethod() != 0) {
            if (options.MailMethod() == 0 || options.AppendReportToMessage())
                files = PrepareAttachments(false, options, report, platform, zipped);
            success = zipped && RunWebChannel(options, report, files, platform, messageShown) && success;
        }
        if (!success && (options.BehaviourFlags() & 0x10)) platform.CopyToClipboard(report.LastReportText);
        // With no channel there is nothing to tell.
        const bool sent = options.MailMethod() != 0 || options.UploadMethod() != 0;
        if (sent && (options.SendFlags() & 0x2) && !messageShown) platform.ShowResultBox(success);
        if (!success && (options.BehaviourFlags() & 0x20)) KeepZip(options, report, platform);
    } catch (...) {
        DeleteTemporaryFiles(options, report, platform);
        throw;
    }
    DeleteTemporaryFiles(options, report, platform);
    return success;
}

void CheckCrashRate(const TVurazaModuleOptions& options, const TDeliveryReport& report,
                    const std::vector<double>& crashTimes, bool underDevelopmentEnvironment,
                    TDeliveryPlatform& platform)
{
    platform.DeleteFile(ScreenshotFileName(report.Files));
    platform.RemoveWorkFolder();
    if (underDevelopmentEnvironment || options.CrashRateAction() == 0) return;
    if (CrashRateExceeded(crashTimes, options.CrashRateCount(), options.CrashRateMinutes()))
        platform.ScheduleTerminate(options.CrashRateAction());
}

void ApplyTerminateAction(const TVurazaModuleOptions& options, TDeliveryPlatform& platform)
{
    if (platform.TerminatePressed()) platform.RestartOrTerminate(options.TerminateButtonAction() == 2);
}

bool RunDelivery(const TVurazaModuleOptions& options, const TDeliveryReport& report, const TDeliveryRun& run,
                 TDeliveryPlatform& platform)
{
    bool success = false;
    std::exception_ptr failure;
    try {
        success = SendReport(options, report, platform);
    } catch (...) {
        failure = std::current_exception();
    }
    try {
        CheckCrashRate(options, report, run.CrashTimes, run.UnderDevelopmentEnvironment, platform);
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    try {
        platform.FreeCallStacks();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    ApplyTerminateAction(options, platform);
    if (failure) std::rethrow_exception(failure);
    return success;
}
