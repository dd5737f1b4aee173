// A library that carries its own reporter, loaded by the crash-test program: in a program with
// a reporter it hands its exceptions, threads and events on; in one without, it is a web-server
// extension that handles its own faults and answers with the error page.
#include <windows.h>
#include <httpext.h>

#include <cstring>
#include <string>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERaiseCapture.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"

namespace {

class EPeerFault : public Exception {
public:
    using Exception::Exception;
};

void Print(const std::string& line)
{
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::string TypeOf(const TVurazaExceptionRecord& record)
{
    return record.ExceptionType ? RoadExceptionTypeName(TRoadException(record.ExceptionObject, record.ExceptionType))
                                : std::string("?");
}

void OnNotify(void*, TVurazaExceptionRecord& record, bool&)
{
    const bool own = record.ModuleOptions && record.ModuleOptions == CurrentDuruvaDodOptions();
    Print(Format("peer notify %s own options %d", TypeOf(record).c_str(), own ? 1 : 0));
    // Published by the setter: the handling copy reads it over its options.
    if (record.ModuleOptions)
        record.ModuleOptions->SetCrashRateCount(77);
}

void OnAction(void*, TVurazaExceptionRecord&, uint8_t action, bool&)
{
    Print(Format("peer action %u", action));
}

void OnCustomData(void*, TVurazaExceptionRecord&, TStringList& lines)
{
    Print(Format("peer custom data %d", lines.Count()));
}

TDuruvaDodHandlers handlers;

HANDLE threadGo = nullptr;

DWORD WINAPI WaitingThread(void*)
{
    WaitForSingleObject(threadGo, 20000);
    return 0;
}

HANDLE waitingThread = nullptr;

[[noreturn]] __attribute__((noinline)) void ThrowPeerFault(const char* message)
{
    throw EPeerFault(message);
}

}  // namespace

extern "C" {

__declspec(dllexport) int PeerForwards()
{
    return ForwardToMainModule ? 1 : 0;
}

__declspec(dllexport) long PeerReports()
{
    return ReportCounter;
}

__declspec(dllexport) void PeerObserve()
{
    handlers.ExceptionNotify = OnNotify;
    handlers.ExceptionActionNotify = OnAction;
    handlers.CustomDataRequest = OnCustomData;
    RegisterDuruvaDodHandlers(&handlers);
}

// The library's own ExceptionManager: with a reporter in the program, that one's answer.
__declspec(dllexport) int PeerManage()
{
    try {
        ThrowPeerFault("peer managed");
    } catch (...) {
        const TRaiseCapture* capture = ThreadRaiseCapture();
        return ExceptionManager(TRoadException(std::current_exception()), capture ? capture->address : 0,
                                OutputAutomatic, CurrentModuleHandle())
                   ? 1
                   : 0;
    }
}

// A fault stopped at the library's own callback boundary.
__declspec(dllexport) void PeerGuarded()
{
    GuardedCall([] { ThrowPeerFault("peer guarded"); });
}

__declspec(dllexport) DWORD PeerStartThread()
{
    threadGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    waitingThread = CreateThread(nullptr, 0, WaitingThread, nullptr, 0, &id);
    return id;
}

__declspec(dllexport) void PeerStopThread()
{
    SetEvent(threadGo);
    WaitForSingleObject(waitingThread, 20000);
    CloseHandle(waitingThread);
    CloseHandle(threadGo);
}

// A request that writes part of its page and then fails.
__declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* block)
{
    char part[] = "<html>peer page</html>";
    DWORD size = sizeof part - 1;
    block->WriteClient(block->ConnID, part, &size, HSE_IO_SYNC);
    GuardedCall([] { ThrowPeerFault("isapi fault"); });
    return HSE_STATUS_SUCCESS;
}

__declspec(dllexport) const char* PeerCapturedPage()
{
    return CapturedHtmlPage.c_str();
}

}  // extern "C"
