#include "crashreport/capture/EFoundations.h"

#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EOptionsMapping.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtilsWin.h"

void StartReporterFoundations()
{
    InstallInternalWarningOutput();
    InstallOptionsMapping();
    InitializeHookUnit();
    ThreadExceptionContext();
}

void StopReporterFoundations()
{
    FinalizeHookUnit();
    ClosePublishedOptions();
}
