#include "crashreport/delivery/EReportStepsWin.h"

#include <windows.h>

#include <exception>

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EFilters.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/EReportBuildWin.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EScreenshot.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebOutputWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/ELogStepWin.h"
#include "crashreport/delivery/EReportFiles.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "framework/CodePage.h"

namespace {

const TVurazaModuleOptions* Options() { return CurrentExceptionRecord.ModuleOptions; }

// The window that had the focus on the faulting thread (its own input state).
HWND FocusedWindowOf(uint32_t threadId)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return threadId && GetGUIThreadInfo(threadId, &info) ? info.hwndFocus : nullptr;
}

TReportFileContext FileContext()
{
    return CurrentReportFileContext(reinterpret_cast<uintptr_t>(CurrentModuleHandle()), ExceptionTime);
}

}  // namespace

void BuildRoadReportText(std::string& reportText)
{
    const TVurazaModuleOptions* options = Options();
    if (!options) return;
    const TVurazaExceptionRecord& record = CurrentExceptionRecord;
    TReportRequest request;
    const void* object = record.ExceptionObject;
    const bool valid = record.ExceptionType != nullptr || IsValidObject(object);
    if (valid)
        request.ExceptionClass = record.ExceptionType ? DemangledTypeName(*record.ExceptionType) : ObjectClassName(object);
    // An ActiveX error names the class it carries.
    if (valid && object && ObjectInheritsFrom(object, typeid(TActiveXException))) {
        const std::vector<std::string>& names = static_cast<const TActiveXException*>(object)->ClassNames();
        std::string text;
        for (const std::string& name : names)
            text += (text.empty() ? "" : "\r\n") + name;
        if (!text.empty())
            request.ExceptionClass = text;
    }
    request.IsExceptionObject = valid && object && ObjectInheritsFrom(object, typeid(std::exception));
    if (request.IsExceptionObject) request.ExceptionMessage = ObjectMessage(object);
    request.CustomMessage = CustomExceptionMessage();
    request.ExceptionAddress = record.ExceptionAddress;
    request.ThreadId = record.ThreadId;
    request.ExceptionRecord = static_cast<const EXCEPTION_RECORD*>(record.ExceptionRecord);
    request.Context = static_cast<const CONTEXT*>(record.Context);
    request.FocusedClass = record.FocusedWindowClass ? record.FocusedWindowClass : "";
    request.FocusedText = record.FocusedWindowText ? record.FocusedWindowText : "";
    request.StackList = record.CallStack;
    request.BugId = BugIdText;
    request.ExceptionTime = ExceptionTime;
    request.IsWebServerApplication = IsWebServerApplication();
    if (options->LogFlags() & 0x10) RefreshProcessList();
    TReportText text = BuildReportText(request, *options);
    ReportedExceptionMessage =
        request.IsExceptionObject ? AccessViolationText(request.ExceptionRecord, request.ExceptionMessage) : std::string();
    reportText = std::move(text.LastReportText);
    LogReportText = reportText;
}

void CheckRoadLogVersion()
{
    if (const TVurazaModuleOptions* options = Options()) DeleteLogOfOtherVersion(*options, ApplicationVersion());
}

bool FindRoadDuplicateReport(bool increment)
{
    const TVurazaModuleOptions* options = Options();
    return options && FindDuplicateReport(*options, BugIdText, increment);
}

void CaptureRoadScreenshot()
{
    const TVurazaModuleOptions* options = Options();
    if (!options) return;
    TScreenshotRequest request;
    request.SendFlags = options->SendFlags();
    request.FocusedWindow = FocusedWindowOf(CurrentExceptionRecord.ThreadId);
    CURSORINFO cursor{};
    cursor.cbSize = sizeof cursor;
    if (GetCursorInfo(&cursor)) request.Cursor = cursor.hCursor;
    CaptureScreenshot(request);
}

void SaveRoadScreenshotFile()
{
    const TVurazaModuleOptions* options = Options();
    if (!options || !(options->SendFlags() & 0x10)) return;
    const TReportFileContext context = FileContext();
    // Each process writes into its own work folder: two crashing at once keep their pictures.
    if (CreateReportWorkFolder(context)) SaveScreenshotFile(ScreenshotFileName(context));
}

void ReleaseRoadScreenshot() { ReleaseScreenshot(); }

void ShowRoadWebOutput(const std::string& text)
{
    const TVurazaModuleOptions* options = Options();
    if (!options) return;
    ActionContinueFlag = ShowWebOutput(ReportHeaderText() + text, *options);
    if (!LastWebErrorPage().empty()) LastHTMLPage = LastWebErrorPage();
}

void SaveRoadCapturedPage(const std::string& page)
{
    // Outside a handling: the running module's options say whether the page is kept.
    if (const TVurazaModuleOptions* options = CurrentDuruvaDodOptions())
        SaveLastHtmlPage(*options, FileContext(), page);
}

bool LoadRoadCapturedPage(std::string& page)
{
    std::string bytes;
    if (!ReadWholeFile(LastHtmlPageFileName(FileContext()), bytes, 16 * 1024 * 1024)) return false;
    page = std::move(bytes);
    return true;
}

void SaveRoadReportToLog()
{
    const TVurazaModuleOptions* options = Options();
    if (!options) return;
    TLogStepState state;
    state.LastReportText = LastReportText;
    state.LogReportText = LogReportText;
    state.DuplicateErrorFound = DuplicateErrorFound;
    TLogStepNotifications notifications;
    // Handlers get the step's own flag: after the log (action 3) a cleared one tells it failed.
    notifications.Action = [](int code, bool& continueFlag) { NotifyActionFlag(static_cast<uint8_t>(code), continueFlag); };
    notifications.Error = [](int code, bool& retryFlag) { retryFlag = NotifyError(static_cast<uint8_t>(code)); };
    SaveReportToLog(*options, state, notifications);
    LogReportText = state.LogReportText;
    ActionContinueFlag = state.ActionContinueFlag;
}

void CopyRoadReportToClipboard(const std::string& text) { CopyReportToClipboard(text); }
