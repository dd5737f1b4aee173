// The road's small services: the environment of later programs, the action and error
// notifications, console output, the boundary forward and the watchdog's start and stop.

#include <windows.h>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EPeers.h"
#include "crashreport/capture/EProcesses.h"
#include "crashreport/capture/ERaiseCapture.h"
#include "crashreport/capture/EReportText.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/ERoadState.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/ExceptionBoundary.h"
#include "framework/NeverDestroyed.h"

constinit TStringList CrashTimesList;

namespace {

constinit std::string handlingMessage;

void SetVariable(const wchar_t* name, const std::string& value)
{
    // Cleared first: a value that can't be set must not leave the last exception's behind.
    SetEnvironmentVariableW(name, nullptr);
    const int n = MultiByteToWideChar(936, 0, value.data(), static_cast<int>(value.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(936, 0, value.data(), static_cast<int>(value.size()), wide.data(), n);
    SetEnvironmentVariableW(name, wide.c_str());
}

// From the module's record, which the handling reads as it is: the version resource of the
// file would be read through the process heap.
void SetModuleVariables(const wchar_t* nameVar, const wchar_t* descVar, const wchar_t* verVar, HMODULE module)
{
    const TVurazaModuleInfo* record = module ? FindModuleRecord(reinterpret_cast<uintptr_t>(module)) : nullptr;
    TReporterString fileName;
    if (record)
        fileName = record->FileName;
    else if (module)
        ModuleFileNameInto(module, fileName);
    SetVariable(nameVar, ExtractFileName(fileName));
    SetVariable(descVar, record ? StdString(record->Description) : std::string());
    SetVariable(verVar, record ? StdString(record->Version) : std::string());
}

struct TActionCall {
    uint8_t action;
    bool flag;
};

void ActionOnFaultingThread(void* data)
{
    auto* call = static_cast<TActionCall*>(data);
    DispatchExceptionActionNotify(CurrentExceptionRecord, call->action, call->flag);
}

void ErrorOnFaultingThread(void* data)
{
    auto* call = static_cast<TActionCall*>(data);
    DispatchExceptionErrorNotify(CurrentExceptionRecord, call->action, call->flag);
}

// An exception a boundary stopped reaches the road first; the application's handler runs
// when the road says so.
bool ReportBoundaryException(std::exception_ptr error)
{
    // A boundary inside the handling (a dialog's procedure): no route, no application handler.
    if (OnHandlingThread()) {
        ReportHandlingFailure("");
        return false;
    }
    TRoadException e(error);
    // The thread's own throw capture knows where this object was thrown, however many throws
    // came before it.
    const TRaiseCapture* capture = ThreadRaiseCapture();
    const uintptr_t address = capture && capture->object == e.object ? capture->address
                              : CurrentRaiseObject() == e.object ? CurrentRaiseAddress()
                                                                 : 0;
    const TThrowStackScope throwStack(e.object);
    return ExceptionManager(e, address, OutputAutomatic, CurrentModuleHandle());
}

}  // namespace

std::string ExceptionMessageTextOf(const TRoadException& e)
{
    if (!handlingMessage.empty())
        return handlingMessage;
    return ReportedExceptionMessage.empty() ? RoadExceptionMessage(e) : ReportedExceptionMessage;
}

void SetHandlingMessage(const std::string& custom)
{
    handlingMessage = custom;
    SetCustomExceptionMessage(custom);
}

void SetReportEnvironment(const TRoadException& e, uintptr_t address)
{
    SetModuleVariables(L"_MainModuleName", L"_MainModuleDesc", L"_MainModuleVer", GetModuleHandleW(nullptr));
    HMODULE module = nullptr;
    if (address)
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCWSTR>(address), &module);
    SetModuleVariables(L"_ExceptModuleName", L"_ExceptModuleDesc", L"_ExceptModuleVer", module);
    SetVariable(L"_ExceptMsg", ExceptionMessageTextOf(e));
    SetVariable(L"_BugReport", CapGbkText(LastReportText, EnvironmentValueLimit));
    SetVariable(L"_LineBreak", "\r\n");
}

bool NotifyAction(uint8_t action)
{
    bool flag = true;
    NotifyActionFlag(action, flag);
    return flag;
}

void NotifyActionFlag(uint8_t action, bool& flag)
{
    TActionCall call{action, flag};
    ActionContinueFlag = flag;
    RunInMainThread(ActionOnFaultingThread, &call);
    flag = call.flag;
    ActionContinueFlag = flag;
}

bool NotifyError(uint8_t step)
{
    TActionCall call{step, false};
    RunInMainThread(ErrorOnFaultingThread, &call);
    ErrorRetryFlag = call.flag;
    return call.flag;
}

bool WriteConsoleLine(const std::string& text)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE)
        return false;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    return WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) && written == line.size();
}

void RestartOrTerminateProcess(bool restart)
{
    SetStartupFolder(StartupFolder);
    RestartOrTerminate(restart);
}

void PrepareRoadBuffers()
{
    CrashTimesList.Clear();
    PrepareHandlingThread();
}

void InstallBoundaryReporter()
{
    SetBoundaryReporter(ReportBoundaryException);
}

void RemoveBoundaryReporter()
{
    SetBoundaryReporter(nullptr);
}

void StartReporterWatchdog()
{
    if (!IsRunningInIde() && ModuleOptionsHooks().startFreezeWatch)
        ModuleOptionsHooks().startFreezeWatch();
}

void StopReporterWatchdog()
{
    if (ModuleOptionsHooks().stopFreezeWatch)
        ModuleOptionsHooks().stopFreezeWatch();
}

bool WaitForBackgroundSenders(DWORD milliseconds)
{
    return RoadSteps().WaitForBackgroundSenders(milliseconds);
}

void ReviveEnvironmentStatics()
{
    ReviveStatic(CrashTimesList);
    ReviveStatic(handlingMessage);
}

void InsertReportItem(int section, const std::string& header, const std::string& value)
{
    const std::string text = ReportItemSection(section, header, value);
    InsertAfterGeneralPart(LastReportText, text);
    InsertAfterGeneralPart(LogReportText, text);
}

void InsertReportList(int section, const std::string& header, const TStringList& list)
{
    std::vector<std::string> lines;
    for (int i = 0; i < list.Count(); ++i)
        lines.push_back(list[i]);
    const std::string text = ReportListSection(section, header, lines);
    InsertAfterGeneralPart(LastReportText, text);
    InsertAfterGeneralPart(LogReportText, text);
}
