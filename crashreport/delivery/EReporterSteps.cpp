#include "crashreport/delivery/EReporterSteps.h"

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EDialogRoad.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "crashreport/delivery/EReportStepsWin.h"
#include "crashreport/delivery/EDeliveryRoad.h"
#include "crashreport/delivery/EWebUpload.h"
#include "framework/NeverDestroyed.h"

namespace {

TReporterSteps steps;

// The leak report at exit finds them destroyed: made again, with the log file's statics.
void ReviveSteps()
{
    ReviveStatic(steps);
    ReviveReportFileStatics();
    ReviveWebUploadStatics();
}

// Installed right after the reporter's own start-up, before any object of default priority.
struct TInstallSteps {
    TInstallSteps()
    {
        SetRoadSteps(&steps);
        LeakModeProcs().reviveSteps = &ReviveSteps;
        InstallDialogRoadHooks([] { return DuplicateErrorFound; });
        // Call stacks name unit, procedure and line, and the records of every module are made
        // as the modules load: a program needs nothing more for a full report. A library's copy
        // starts inside the loader's lock, and its program's copy does this.
        if (ReporterStarted && CurrentModuleHandle() == GetModuleHandleW(nullptr)) {
            InstallAddressLookup();
            StartModuleRecordMaker();
        }
    }
};
TInstallSteps install __attribute__((init_priority(103)));

}  // namespace

TReporterSteps& ReporterSteps()
{
    return steps;
}

// -- report text, log, screenshot, web output (report)
void TReporterSteps::BuildReportText(std::string& reportText) { BuildRoadReportText(reportText); }
void TReporterSteps::CheckLogVersion() { CheckRoadLogVersion(); }
bool TReporterSteps::FindDuplicateReport(bool increment) { return FindRoadDuplicateReport(increment); }
void TReporterSteps::CaptureScreenshot() { CaptureRoadScreenshot(); }
void TReporterSteps::SaveScreenshotFile() { SaveRoadScreenshotFile(); }
void TReporterSteps::ReleaseScreenshot() { ReleaseRoadScreenshot(); }
void TReporterSteps::ShowWebOutput(const std::string& text) { ShowRoadWebOutput(text); }
void TReporterSteps::SaveCapturedHtmlPage(const std::string& page) { SaveRoadCapturedPage(page); }
bool TReporterSteps::LoadCapturedHtmlPage(std::string& page) { return LoadRoadCapturedPage(page); }
void TReporterSteps::SaveReportToLog() { SaveRoadReportToLog(); }
void TReporterSteps::CopyReportToClipboard(const std::string& text) { CopyRoadReportToClipboard(text); }

// -- dialogs (lead)
uint8_t TReporterSteps::ShowExceptionDialog(uint8_t dialogState, bool repeated)
{
    return ShowDialogStep(dialogState, repeated);
}
void TReporterSteps::ShowReproduceDialog() { ShowReproduceStep(); }

// -- delivery (mail; upload is called by mail's driver)
void TReporterSteps::StartSendReport() { StartRoadDelivery(); }
void TReporterSteps::CheckCrashRate() { CheckRoadCrashRate(); }
bool TReporterSteps::WaitForBackgroundSenders(unsigned milliseconds) { return WaitForRoadSenders(milliseconds); }
void TReporterSteps::ApplyTerminateAction() { TRoadSteps::ApplyTerminateAction(); }
