#include "crashreport/capture/EFoundations.h"

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EInternalError.h"
#include "crashreport/capture/EOptionsMapping.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtilsWin.h"

void StartReporterFoundations()
{
    InstallInternalWarningOutput();
    SetInternalErrorProc([](const std::string& section, const std::string& text) { ReportInternalError(section, text); });
    InstallOptionsMapping();
    InitializeHookUnit();
    ThreadExceptionContext();
}

void StopReporterFoundations()
{
    FinalizeHookUnit();
    ClosePublishedOptions();
}
