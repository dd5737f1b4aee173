#pragma once
// The log step of the handling: the report appended to the log of reports, with the action
// notifications before and after it and the error notification when it failed, whose
// handlers may ask for another attempt.

#include <string>

class TVurazaModuleOptions;

// The log and the notifications the step talks to.
class TLogStepTarget {
public:
    virtual ~TLogStepTarget() = default;
    // Action notification (2 before the log, 3 after it); handlers may clear the flag.
    virtual void ActionNotification(int code, bool& continueFlag) = 0;
    // Error notification 3 (the log failed); handlers may set the flag to try again.
    virtual void ErrorNotification(int code, bool& retryFlag) = 0;
    virtual void ClearLastWarning() {}
    // The failed step's internal-error line.
    virtual void ReportFailure(const std::string& step) = 0;
    virtual void OpenLog() = 0;
    virtual void AddReport(const std::string& text, int keep) = 0;
    virtual std::string LogText() = 0;
    virtual void SaveLog() = 0;
    virtual void CloseLog() = 0;
};

struct TLogStepState {
    std::string LastReportText;
    std::string LogReportText;
    bool DuplicateErrorFound = false;
    bool ActionContinueFlag = true;
    bool ErrorRetryFlag = false;
};

// Each attempt has its own failure mark: a handler that cleared the continue flag before the
// log (so nothing is saved) is not told of a failure. The report is added once; a retry opens
// and saves again. Returns whether the log took the report (or already held it).
bool SaveReportToLog(const TVurazaModuleOptions& options, TLogStepState& state, TLogStepTarget& target);
