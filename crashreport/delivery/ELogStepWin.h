#pragma once
// The log steps of the handling over the real log of the active options: the version check,
// the duplicate search and the log step itself.

#include <functional>
#include <string>

#include "crashreport/capture/ELogStep.h"

class TVurazaModuleOptions;

// The notifications of the log step; each may be empty.
struct TLogStepNotifications {
    std::function<void(int code, bool& continueFlag)> Action;
    std::function<void(int code, bool& retryFlag)> Error;
};

// With LogFlags 0x4: when the log's last report names another program version in item 1.3,
// the log is deleted. Returns whether it was.
bool DeleteLogOfOtherVersion(const TVurazaModuleOptions& options, const std::string& applicationVersion);

// The checks before the report is shown, in the order that keeps it: a log of another version
// is deleted first, so the duplicate search never counts the report into a log that is about
// to go (and then drops it as a duplicate). Returns DuplicateErrorFound.
bool PrepareLogForReport(const TVurazaModuleOptions& options, const std::string& bugId,
                         const std::string& applicationVersion);

// The log step over ActiveLogFile; the step failure is reported as "Log".
bool SaveReportToLog(const TVurazaModuleOptions& options, TLogStepState& state,
                     const TLogStepNotifications& notifications);
