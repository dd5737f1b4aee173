#pragma once
// The one object that fills the handling road's report steps in a program that carries the
// reporter: each step forwards to the unit that owns it. Installed at start-up, right after
// the reporter itself.

#include "crashreport/capture/ERoadSteps.h"

class TReporterSteps : public TRoadSteps {
public:
    // -- report text, log, screenshot, web output (report)
    void BuildReportText(std::string& reportText) override;
    void CheckLogVersion() override;
    bool FindDuplicateReport(bool increment) override;
    void CaptureScreenshot() override;
    void SaveScreenshotFile() override;
    void ReleaseScreenshot() override;
    void ShowWebOutput(const std::string& text) override;
    void SaveCapturedHtmlPage(const std::string& page) override;
    bool LoadCapturedHtmlPage(std::string& page) override;
    void SaveReportToLog() override;
    void CopyReportToClipboard(const std::string& text) override;
    // -- dialogs (lead)
    uint8_t ShowExceptionDialog(uint8_t dialogState, bool repeated) override;
    void ShowReproduceDialog() override;
    // -- delivery (mail; upload is called by mail's driver)
    void StartSendReport() override;
    void CheckCrashRate() override;
    bool WaitForBackgroundSenders(unsigned milliseconds) override;
    void ApplyTerminateAction() override;
};

TReporterSteps& ReporterSteps();
