#include <windows.h>

#include "crashreport/delivery/EDeliveryRoad.h"

#include <cstdlib>
#include <mutex>

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/EDialogState.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EHandover.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/EDeliveryWin.h"
#include "crashreport/delivery/EReportFilesWin.h"

namespace {

void InstallRoadHooks()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TDeliveryHooks hooks;
        hooks.ActionNotify = [](int action, bool& continueFlag) {
            NotifyActionFlag(static_cast<uint8_t>(action), continueFlag);
        };
        hooks.ErrorNotify = [](int code, bool& retry) { retry = NotifyError(static_cast<uint8_t>(code)); };
        hooks.AttachedFilesRequest = [](TStringList& files) { DispatchAttachedFilesRequest(CurrentExceptionRecord, files); };
        hooks.CustomWebFields = [](TStringList& fields) { DispatchCustomWebFieldsRequest(CurrentExceptionRecord, fields); };
        hooks.EnterHandlingLock = EnterHandlingLock;
        hooks.LeaveHandlingLock = LeaveHandlingLock;
        hooks.PassHandlingLock = [](unsigned threadId) { PassHandlingLockTo(threadId); };
        // Inline with the background flag the road leaves its stacks to the delivery.
        hooks.FreeCallStacks = FreeCurrentStackList;
        hooks.ScheduleTerminate = [](int action) { ScheduleTerminateAction(static_cast<uint8_t>(action)); };
        hooks.TerminatePressed = [] { return TerminatePressed.load(); };
        // The road's own action: notification 8, then restart or terminate.
        hooks.TerminateAction = [] { TRoadSteps().ApplyTerminateAction(); };
        SetDeliveryHooks(std::move(hooks));
    });
}

TDeliveryJob RoadJob()
{
    TDeliveryJob job;
    TVurazaModuleOptions* options = ActiveModuleOptions();
    job.Options = options;
    job.Report.Files = CurrentReportFileContext(options->ModuleHandle(), ExceptionTime);
    job.Report.Files.AttachScreenshotChecked = AttachScreenshotChecked;
    job.Report.Files.HasLastHtmlPage = !LastHTMLPage.empty();
    job.Report.LogReportText = LogReportText;
    job.Report.LastReportText = LastReportText;
    job.Report.LastHTMLPage = LastHTMLPage;
    job.Report.RequestedPassword = RequestedPassword;
    job.Report.Facts.AppVersion = ApplicationVersion();
    job.Report.Facts.OsType = OsVersionName();
    job.Report.Facts.OsBuild = OsBuildNumber();
    job.Report.Facts.ReproduceText = options->ReproduceStepsText();
    job.Report.Facts.BugId = BugIdText;
    job.Report.Facts.ExceptionMessage = LastExceptMessage;
    if (CurrentExceptionRecord.ExceptionType)
        job.Report.Facts.ExceptionClass = DemangledTypeName(*CurrentExceptionRecord.ExceptionType);
    for (const std::string& time : CrashTimesList) job.Run.CrashTimes.push_back(std::strtod(time.c_str(), nullptr));
    job.InlineHandling = InlineHandling;
    job.DialogFailed = DialogFailed;
    return job;
}

}  // namespace

void StartRoadDelivery()
{
    if (!ActiveModuleOptions()) return;
    InstallRoadHooks();
    TDeliveryJob job = RoadJob();
    // In the background the delivery outlives the handling: it takes the exception over.
    if ((job.Options->SendFlags() & 0x80) && !job.InlineHandling)
        job.Handover = TakeExceptionHandover();
    StartSendReport(std::move(job));
}

void CheckRoadCrashRate()
{
    if (!ActiveModuleOptions()) return;
    // A report that was not sent comes here first: the crash rate's action needs the hooks too.
    InstallRoadHooks();
    CheckCrashRate(RoadJob());
}

bool WaitForRoadSenders(unsigned milliseconds) { return WaitForBackgroundSenders(milliseconds); }
