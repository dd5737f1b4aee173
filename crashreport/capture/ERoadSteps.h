#pragma once
// What the handling road asks of the units that build, show, store and send a report. Each is
// a virtual with a do-nothing default; the units that own a step override it in one object
// installed with SetRoadSteps. The road calls them from TExceptionThread unless noted.

#include <cstdint>
#include <string>

#include "framework/StringList.h"

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
    // A CGI program's page as it goes out, kept in the report's work folder (outside a
    // handling), and read back when an exception is handled: false when none was kept.
    virtual void SaveCapturedHtmlPage(const std::string& page) { (void)page; }
    virtual bool LoadCapturedHtmlPage(std::string& page) { (void)page; return false; }
    virtual void SaveReportToLog() {}
    virtual void CopyReportToClipboard(const std::string& text) { (void)text; }
    virtual void StartSendReport() {}
    virtual void CheckCrashRate() {}
    // Waits at most that long for reports being sent in the background (at shut-down).
    virtual bool WaitForBackgroundSenders(unsigned milliseconds)
    {
        (void)milliseconds;
        return true;
    }
    // When TerminatePressed is set: action 8, then restart or terminate as TerminateButtonAction says.
    virtual void ApplyTerminateAction();
};

void SetRoadSteps(TRoadSteps* steps);  // null: the defaults
TRoadSteps& RoadSteps();

// The action notification, told on the faulting thread with ActionContinueFlag set first:
// true when the handlers left it set, so the step may run. A step raises its "before" code,
// runs when allowed, then raises its "after" code.
bool NotifyAction(uint8_t action);
// The same with a flag of the caller's (TerminatePressed for action 8).
void NotifyActionFlag(uint8_t action, bool& flag);
// The error notification of a failed step (3 log, 5 e-mail, 7 web): true when a handler asks
// for the step again.
bool NotifyError(uint8_t step);

// Written by the handling road, read by the report's later steps.
extern std::string LastReportText, LogReportText, LastHTMLPage, CapturedHtmlPage, BugIdText, LastExceptMessage;
// The text BugIdText is the checksum of.
extern std::string BugIdSource;
// An access violation's message as the report words it (its module, the program's language),
// set by BuildReportText; empty for any other exception. The dialogs, the environment and the
// delivery tell this message rather than the object's own.
extern std::string ReportedExceptionMessage;
extern TStringList CrashTimesList;
// A section of its own (custom data, the steps to reproduce) put into LastReportText and
// LogReportText just after their general part, where the log, its XML form and the mail read it.
void InsertReportItem(int section, const std::string& header, const std::string& value);
void InsertReportList(int section, const std::string& header, const TStringList& list);
// The dialog's results (SendChecked, TerminatePressed ...) are in EDialogState.h.
extern volatile long ReportCounter;
extern double ExceptionTime;
extern uintptr_t LastRoutedAddress;
