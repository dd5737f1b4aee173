#include "crashreport/delivery/ELogStepWin.h"

#include <windows.h>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/delivery/ELogFileWin.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "framework/CodePage.h"

namespace {

class TActiveLogTarget : public TLogStepTarget {
public:
    TActiveLogTarget(const TVurazaModuleOptions& options, const TLogStepNotifications& notifications)
        : options_(options), notifications_(notifications)
    {
    }
    void ActionNotification(int code, bool& continueFlag) override
    {
        if (notifications_.Action) notifications_.Action(code, continueFlag);
    }
    void ErrorNotification(int code, bool& retryFlag) override
    {
        if (notifications_.Error) notifications_.Error(code, retryFlag);
    }
    void ClearLastWarning() override { ::ClearLastWarning(); }
    void ReportFailure(const std::string& step) override { ReportStepFailure(TDuruvaDodErrorCode::eeLogError, step); }
    void OpenLog() override { log_ = &OpenActiveLogFile(options_); }
    void AddReport(const std::string& text, int keep) override { log_->AddLogReport(text, keep); }
    std::string LogText() override { return log_->GetLogText(); }
    void SaveLog() override { log_->SaveLogFile(); }
    void CloseLog() override
    {
        log_ = nullptr;
        CloseActiveLogFile();
    }

private:
    const TVurazaModuleOptions& options_;
    const TLogStepNotifications& notifications_;
    TLogFile* log_ = nullptr;
};

}  // namespace

bool DeleteLogOfOtherVersion(const TVurazaModuleOptions& options, const std::string& applicationVersion)
{
    if (!(options.LogFlags() & 0x4)) return false;
    struct TCloser {
        ~TCloser() { CloseActiveLogFile(); }
    } closer;
    TLogFile& log = OpenActiveLogFile(options);
    const std::string version = log.ReportCount() > 0 ? log.GetReportItem("1.3", log.ReportCount() - 1) : std::string();
    if (version.empty() || version == applicationVersion) return false;
    // While the open log still holds the lock: another process may be saving a report.
    return DeleteFileW(GbkToWide(ActiveLogFileName(options)).c_str()) != FALSE;
}

bool PrepareLogForReport(const TVurazaModuleOptions& options, const std::string& bugId,
                         const std::string& applicationVersion)
{
    DeleteLogOfOtherVersion(options, applicationVersion);
    return FindDuplicateReport(options, bugId, true);
}

bool SaveReportToLog(const TVurazaModuleOptions& options, TLogStepState& state,
                     const TLogStepNotifications& notifications)
{
    TActiveLogTarget target(options, notifications);
    return SaveReportToLog(options, state, target);
}
