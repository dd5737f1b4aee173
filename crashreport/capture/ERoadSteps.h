#pragma once
// What the handling road asks of the units that build, show, store and send a report. Each is
// a virtual with a do-nothing default; the units that own a step override it in one object
// installed with SetRoadSteps. The road calls them from TExceptionThread unless noted.

#include <cstdint>
#include <string>

struct TVurazaExceptionRecord;

class TRoadSteps {
public:
    virtual ~TRoadSteps() = default;
    // Fills LastReportText from CurrentExceptionRecord.
    virtual void BuildReportText(std::string& reportText) { (void)reportText; }
    // The log's version check (item "1.3" of its last report against ApplicationVersion): an
    // older log file is deleted. Runs before the duplicate search.
    virtual void CheckLogVersion() {}
    // Looks for the report in the log; with increment raises its count. Sets the duplicate flag.
    virtual bool FindDuplicateReport(bool increment) { (void)increment; return false; }
    virtual void CaptureScreenshot() {}
    virtual void SaveScreenshotFile() {}
    virtual void ReleaseScreenshot() {}
    // Shows the dialog of the dialog state (1 box, 2 Windows-style, 3 detailed); repeated is
    // true for a showing again. Returns the dialog state after it.
    virtual uint8_t ShowExceptionDialog(uint8_t dialogState, bool repeated) { (void)repeated; (void)dialogState; return 0; }
    virtual void ShowReproduceDialog() {}
    virtual void ShowWebOutput(const std::string& text) { (void)text; }
    virtual void SaveReportToLog() {}
    virtual void CopyReportToClipboard(const std::string& text) { (void)text; }
    virtual void StartSendReport() {}
    virtual void CheckCrashRate() {}
    // Restarts or terminates when TerminatePressed is set.
    virtual void ApplyTerminateAction() {}
};

void SetRoadSteps(TRoadSteps* steps);  // null: the defaults
TRoadSteps& RoadSteps();

// Written by the handling road, read by the report's later steps.
extern std::string LastReportText, LogReportText, LastHTMLPage, CapturedHtmlPage, BugIdText, LastExceptMessage;
// The dialog's results (SendChecked, TerminatePressed ...) are in EDialogState.h.
extern volatile long ReportCounter;
extern double ExceptionTime;
extern uintptr_t LastRoutedAddress;
