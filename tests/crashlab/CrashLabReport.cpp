// The crash-test program's report modes: a real fault goes the whole road with the steps every
// program carries (text, log version check, duplicate search, log step), into the log file
// named on the command line.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "crashreport/capture/EEvents.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "crashreport/delivery/EReportStepsWin.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/SysUtils.h"
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

}  // namespace

const std::vector<TCrashLabMode>& CrashLabReportModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"report-av", "writes to address 0; the report goes into the log LOG", WriteAtZero},
        {"report-jump", "runs code in allocated memory that writes to 0; the report goes into LOG", JumpIntoMemory},
        {"report-shot", "the screenshot steps of a sent report; prints the file written", Screenshot},
    };
    return modes;
}
