// The crash-test program's report modes: a real fault goes the whole road with the steps every
// program carries (text, log version check, duplicate search, log step), into the log file
// named on the command line.

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/ExceptionLog.h"
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

}  // namespace

const std::vector<TCrashLabMode>& CrashLabReportModes()
{
    static const std::vector<TCrashLabMode> modes = {
        {"report-av", "writes to address 0; the report goes into the log LOG", WriteAtZero},
        {"report-jump", "runs code in allocated memory that writes to 0; the report goes into LOG", JumpIntoMemory},
    };
    return modes;
}
