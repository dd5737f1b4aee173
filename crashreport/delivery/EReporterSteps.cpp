#include "crashreport/delivery/EReporterSteps.h"

#include "crashreport/capture/EDialogRoad.h"
#include "crashreport/delivery/EReportFilesWin.h"

namespace {

TReporterSteps steps;

// Installed right after the reporter's own start-up, before any object of default priority.
struct TInstallSteps {
    TInstallSteps() { SetRoadSteps(&steps); }
};
TInstallSteps install __attribute__((init_priority(103)));

}  // namespace

TReporterSteps& ReporterSteps()
{
    return steps;
}

// -- report text, log, screenshot, web output (report)
void TReporterSteps::BuildReportText(std::string& reportText) { TRoadSteps::BuildReportText(reportText); }
void TReporterSteps::CheckLogVersion() { TRoadSteps::CheckLogVersion(); }
bool TReporterSteps::FindDuplicateReport(bool increment) { return TRoadSteps::FindDuplicateReport(increment); }
void TReporterSteps::CaptureScreenshot() { TRoadSteps::CaptureScreenshot(); }
void TReporterSteps::SaveScreenshotFile() { TRoadSteps::SaveScreenshotFile(); }
void TReporterSteps::ReleaseScreenshot() { TRoadSteps::ReleaseScreenshot(); }
void TReporterSteps::ShowWebOutput(const std::string& text) { TRoadSteps::ShowWebOutput(text); }
void TReporterSteps::SaveReportToLog() { TRoadSteps::SaveReportToLog(); }
void TReporterSteps::CopyReportToClipboard(const std::string& text) { TRoadSteps::CopyReportToClipboard(text); }

// -- dialogs (lead)
uint8_t TReporterSteps::ShowExceptionDialog(uint8_t dialogState, bool repeated)
{
    InstallDialogRoadHooks([] { return DuplicateErrorFound; });
    return ShowDialogStep(dialogState, repeated);
}
void TReporterSteps::ShowReproduceDialog() { ShowReproduceStep(); }

// -- delivery (mail; upload is called by mail's driver)
void TReporterSteps::StartSendReport() { TRoadSteps::StartSendReport(); }
void TReporterSteps::CheckCrashRate() { TRoadSteps::CheckCrashRate(); }
void TReporterSteps::WaitForBackgroundSenders(unsigned milliseconds) { TRoadSteps::WaitForBackgroundSenders(milliseconds); }
void TReporterSteps::ApplyTerminateAction() { TRoadSteps::ApplyTerminateAction(); }
