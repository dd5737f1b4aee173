#include "crashreport/capture/ELogStep.h"

#include <exception>

#include "crashreport/capture/EOptions.h"

bool SaveReportToLog(const TVurazaModuleOptions& options, TLogStepState& state, TLogStepTarget& target)
{
    const bool keep = options.KeepLogFile();
    state.ActionContinueFlag = true;
    target.ClearLastWarning();
    if (keep) target.ActionNotification(2, state.ActionContinueFlag);
    bool added = state.DuplicateErrorFound;
    bool failed = false;
    do {
        target.ClearLastWarning();
        failed = false;
        try {
            target.OpenLog();
            if (!added) {
                target.AddReport(state.LastReportText, options.LogReportLimit());
                added = true;
            }
            if (options.SendFlags() & 0x04) state.LogReportText = target.LogText();
            // A duplicate only had its count raised, and that was saved then.
            if (state.ActionContinueFlag && keep && !state.DuplicateErrorFound) target.SaveLog();
        } catch (...) {
            failed = true;
            try {
                target.ReportFailure("Log");
            } catch (...) {
            }
        }
        state.ErrorRetryFlag = false;
        if (keep && failed) target.ErrorNotification(3, state.ErrorRetryFlag);
    } while (failed && state.ErrorRetryFlag);
    try {
        target.CloseLog();
    } catch (...) {
        failed = true;
    }
    if (failed) state.ActionContinueFlag = false;
    if (keep) target.ActionNotification(3, state.ActionContinueFlag);
    return !failed;
}
