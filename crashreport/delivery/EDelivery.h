#pragma once
// The delivery of one report after it was shown and stored: its files written, zipped, mailed
// and sent to the web, the handlers told before and after each channel, the result shown, the
// files kept or deleted; then the crash rate and the terminate button's action. Everything
// the steps touch (disk, events, boxes, senders, clock) comes through TDeliveryPlatform, so
// the order of the steps is the same under test as in the program.

#include <string>
#include <vector>

#include "crashreport/delivery/EReportFiles.h"
#include "framework/StringList.h"

class TVurazaModuleOptions;

// What the web step tells of the program and the error: the upload's fields, the tracker's
// summary and search.
struct TWebReportFacts {
    std::string AppVersion;
    std::string OsType;
    std::string OsBuild;
    std::string ReproduceText;
    std::string BugId;
    std::string ExceptionMessage;
    std::string ExceptionClass;
};

// What one report's delivery knows besides the options.
struct TDeliveryReport {
    TReportFileContext Files;
    std::string LogReportText;   // the report as stored in the log (or the whole log)
    std::string LastReportText;  // the report as shown
    std::string LastHTMLPage;
    std::string RequestedPassword;
    bool WebServerApplication = false;
    TWebReportFacts Facts;  // for the web step
};

// What the web channel's step (an upload or a tracker's dialogue) gets besides the options.
struct TWebStepRequest {
    const TVurazaModuleOptions* Options = nullptr;
    TStringList Files;         // what is sent: the zip, or nothing; a tracker attaches the first
    TStringList DisplayNames;  // the names they are sent under, in the same order
    TStringList CustomFields;  // name=value, from the custom web-fields event
    TWebReportFacts Facts;
};

// One e-mail as the senders take it; subject and body not yet expanded.
struct TMailRequest {
    std::string Recipients;
    std::string Subject;
    std::string Body;
    TStringList Files;         // the zip, or nothing
    TStringList DisplayNames;  // the names they are sent under
    std::string LastReportText;  // for the "mailto:" body
};

class TDeliveryPlatform {
public:
    virtual ~TDeliveryPlatform() = default;

    // Files. Write errors are ignored; the driver checks what exists.
    virtual void WriteTextFile(const std::string& name, const std::string& text) = 0;
    virtual bool FileExists(const std::string& name) = 0;
    virtual void DeleteFile(const std::string& name) = 0;
    // Replaces an existing target.
    virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
    // The names (without folder) of the files in a folder ending with "\".
    virtual std::vector<std::string> ListFiles(const std::string& folder) = 0;
    virtual bool ZipFiles(const std::string& zipName, const TStringList& files, const std::string& password) = 0;
    virtual void SaveLastHtmlPage(const TDeliveryReport& report) = 0;
    virtual void MakeXmlFile(const TDeliveryReport& report) = 0;

    // Events of the handlers.
    virtual void ActionNotify(int action, bool& continueFlag) = 0;
    virtual void ErrorNotify(int code, bool& retry) = 0;
    virtual void AttachedFilesRequest(TStringList& files) = 0;
    virtual void CustomWebFields(TStringList& fields) = 0;

    // The user.
    virtual void ShowResultBox(bool success) = 0;  // texts 144 and 145
    virtual void CopyToClipboard(const std::string& text) = 0;
    virtual void BeginSendProgress(bool topMost) = 0;

    // Channels.
    virtual bool SendByMapi(const TMailRequest& mail) = 0;
    virtual bool SendByMailto(const TMailRequest& mail) = 0;
    virtual bool SendBySmtp(const TMailRequest& mail, bool direct) = 0;
    virtual bool SendToWeb(TWebStepRequest& request, bool& messageShown) = 0;

    // After delivery.
    virtual void RemoveWorkFolder() = 0;
    virtual void ScheduleTerminate(int action) = 0;
    // Whether restart or terminate is asked for, read when the action is applied: the crash
    // rate and a filter's action ask for it after the delivery was started.
    virtual bool TerminatePressed() = 0;
    // Between the crash rate and the terminate action: the current call stacks are let go.
    virtual void FreeCallStacks() {}
    // Ends the process, unless a handler of the terminate action keeps it running.
    virtual void RestartOrTerminate(bool restart) = 0;
};

// The steps of one delivery; true when every channel that ran succeeded. The temporary files
// exist only while it runs, also when a step raises.
bool SendReport(const TVurazaModuleOptions& options, const TDeliveryReport& report, TDeliveryPlatform& platform);

// Deletes the screenshot and the emptied work folder; schedules CrashRateAction when the
// crash times (date-times in days) reach CrashRateCount within CrashRateMinutes.
void CheckCrashRate(const TVurazaModuleOptions& options, const TDeliveryReport& report,
                    const std::vector<double>& crashTimes, bool underDevelopmentEnvironment,
                    TDeliveryPlatform& platform);

// A pressed Terminate restarts (TerminateButtonAction 2) or ends the process.
void ApplyTerminateAction(const TVurazaModuleOptions& options, TDeliveryPlatform& platform);

// What the delivery thread runs, in this order: SendReport, CheckCrashRate, ApplyTerminateAction.
// The last two run also when SendReport raises; the exception travels on only when no
// Terminate ends the process.
struct TDeliveryRun {
    std::vector<double> CrashTimes;
    bool UnderDevelopmentEnvironment = false;
};
bool RunDelivery(const TVurazaModuleOptions& options, const TDeliveryReport& report, const TDeliveryRun& run,
                 TDeliveryPlatform& platform);

// The e-mail and web channels alone (used by SendReport).
bool RunMailChannel(const TVurazaModuleOptions& options, const TDeliveryReport& report, const TStringList& files,
                    TDeliveryPlatform& platform);
bool RunWebChannel(const TVurazaModuleOptions& options, const TDeliveryReport& report, const TStringList& files,
                   TDeliveryPlatform& platform, bool& messageShown);
// The list of files to send, zipped: the zip's name, or nothing when no file exists.
// zipped is false when files exist but the zip could not be made with every one of them.
TStringList PrepareAttachments(bool forEmail, const TVurazaModuleOptions& options, const TDeliveryReport& report,
                               TDeliveryPlatform& platform, bool& zipped);
