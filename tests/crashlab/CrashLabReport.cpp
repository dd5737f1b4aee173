// The crash-test program's report modes: a real fault goes the whole road with the steps every
// program carries (text, log version check, duplicate search, log step), into the log file
// named on the command line.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EFilters.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "crashreport/delivery/EReportStepsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/SysUtils.h"
#include "framework/Thread.h"
#include "tests/crashlab/CrashLab.h"

namespace {

volatile int* volatile zeroAddress = nullptr;
void* generatedCode = nullptr;

// The log named by the first argument, counted duplicates, no dialog.
void LogInto(const std::vector<std::string>& args)
{
    if (TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions()) {
        options->SetDialogKind(0);
        options->SetKeepLogFile(true);
        options->SetLogFlags(0x35);
        if (!args.empty()) options->SetLogFilePath(args[0]);
    }
}

extern "C" CRASHLAB_CALL void ReportWriteNull()
{
    *zeroAddress = 5;
}

int WriteAtZero(const std::vector<std::string>& args)
{
    LogInto(args);
    ReportWriteNull();
    return 0;
}

int JumpIntoMemory(const std::vector<std::string>& args)
{
    LogInto(args);
    // mov byte ptr [0], 5
    static const uint8_t code[] = {0xC6, 0x05, 0x00, 0x00, 0x00, 0x00, 0x05, 0xC3};
    generatedCode = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    std::memcpy(generatedCode, code, sizeof code);
    LabPrint(Format("code %08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(generatedCode))));
    reinterpret_cast<void (*)()>(generatedCode)();
    return 0;
}

// The screenshot steps as the road runs them for a report that is sent; several processes at
// once each write their own work folder.
int Screenshot(const std::vector<std::string>&)
{
    TVurazaModuleOptionsEx* options = CurrentDuruvaDodOptions();
    if (!options) return 1;
    options->SetSendFlags(static_cast<uint16_t>(options->SendFlags() | 0x10));
    CurrentExceptionRecord.ModuleOptions = options;
    CurrentExceptionRecord.ThreadId = GetCurrentThreadId();
    ExceptionTime = NowDateTime();
    LabPrint("ready");
    Sleep(500);
    CaptureRoadScreenshot();
    SaveRoadScreenshotFile();
    ReleaseRoadScreenshot();
    const TReportFileContext context =
        CurrentReportFileContext(reinterpret_cast<uintptr_t>(CurrentModuleHandle()), ExceptionTime);
    LabPrint("screenshot " + ScreenshotFileName(context));
    return 0;
}

// Names the calling thread the way a debugger is told it.
void NameThisThread(const char* name)
{
    const ULONG_PTR info[4] = {0x1000, reinterpret_cast<ULONG_PTR>(name), static_cast<ULONG_PTR>(-1), 0};
    RaiseException(0x406D1388, 0, 4, info);
}

}  // namespace

// At file scope: their names are the report's thread classes.
class ELabOrderRefused : public Exception {
public:
    using Exception::Exception;
};

class TLabFeedThread : public TThread {
public:
    HANDLE stop = nullptr;
    HANDLE named = nullptr;

protected:
    void Execute() override
    {
        NameThisThread("行情");
        SetEvent(named);
        WaitForSingleObject(stop, 30000);
    }
};

class TLabOrderThread : public TThread {
protected:
    void Execute() override
    {
        NameThisThread("下单线程");
        throw ELabOrderRefused("no margin");
    }
};

namespace {

// A framework thread's exception with a filter's message, beside a running named thread.
int ThreadRows(const std::vector<std::string>& args)
{
    LogInto(args);
    TExceptionFilter filter;
    filter.ClassName = "ELabOrderRefused";
    filter.Message = "委托被拒绝: %_ExceptMsg%";
    CurrentDuruvaDodOptions()->ExceptionFilters().Add(filter);
    auto* feed = new TLabFeedThread();
    feed->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    feed->named = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    feed->Resume();
    WaitForSingleObject(feed->named, 10000);
    auto* order = new TLabOrderThread();
    order->Resume();
    const DWORD orderId = order->ThreadID();
    order->WaitFor();
    delete order;
    LabPrint(Format("threads %u %u", static_cast<unsigned>(orderId), static_cast<unsigned>(feed->ThreadID())));
    SetEvent(feed->stop);
    feed->WaitFor();
    CloseHandle(feed->stop);
    CloseHandle(feed->named);
    delete feed;
    return 0;
}

// A thread whose Execute ends with what the mode throws.
class TLabThrowingThread : public TThread {
public:
    void (*thrower)() = nullptr;

protected:
    void Execute() override { thrower(); }
};

// An object pointer into a page whose memory is gone, handed to the road as unhandled, or to
// the hooks' entry, which reports the last recorded exception instead.
CRASHLAB_CALL void RouteDecommittedObject(bool throughManager)
{
    auto* page = static_cast<uint8_t*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    VirtualFree(page, 4096, MEM_DECOMMIT);
    const TRoadException e(page + 16, nullptr);
    const auto address = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
    if (throughManager)
        ExceptionManager(e, address, OutputAutomatic, CurrentModuleHandle());
    else
        HandleUnhandledException(e, address);
    VirtualFree(page, 0, MEM_RELEASE);
}

// The report names what it can of a thrown object: KIND is "decommitted" (an object pointer
// into a decommitted page), "manager" (the same given to the hooks' entry while a caught
// exception is current), "int" (throw 42) or "runtime" (a std::runtime_error), the last two
// thrown from a framework thread.
int ReportThrown(const std::vector<std::string>& args)
{
    LogInto(std::vector<std::string>(args.begin() + (args.empty() ? 0 : 1), args.end()));
    const std::string kind = args.empty() ? "" : args[0];
    if (kind == "decommitted") {
        RouteDecommittedObject(false);
    } else if (kind == "manager") {
        try {
            throw std::runtime_error("先前的异常");
        } catch (const std::exception&) {
            RouteDecommittedObject(true);
        }
    } else {
        auto* thread = new TLabThrowingThread();
        if (kind == "int")
            thread->thrower = [] { throw 42; };
        else if (kind == "activex")
            thread->thrower = [] { throw TActiveXException("控件失败", {"EOleSysError"}); };
        else
            thread->thrower = [] { throw std::runtime_error("行情中断"); };
        thread->Resume();
        thread->WaitFor();
        delete thread;
    }
    LabPrint("thrown " + kind);
    return 0;
}

}  // namespace

const std::vector<TCrashLabMode>& CrashLabReportModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"report-av", "writes to address 0; the report goes into the log LOG", WriteAtZero},
        {"report-jump", "runs code in allocated memory that writes to 0; the report goes into LOG", JumpIntoMemory},
        {"report-threads", "a framework thread's exception with a filter's message beside a named one; into LOG",
         ThreadRows},
        {"report-thrown", "KIND LOG: a decommitted object, a thrown int, an ActiveX error or a std::runtime_error reported into LOG",
         ReportThrown},
        {"report-shot", "the screenshot steps of a sent report; prints the file written", Screenshot},
    };
    return modes;
}
