// The leak tracker's side of the reporter's start-up and shut-down, registered by the
// tracker's exit step before the reporter starts: only programs that carry the tracker link it.

#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/ELeakReport.h"
#include "crashreport/capture/ExceptionLog.h"
#include "crashreport/delivery/EReportFilesWin.h"

namespace {

void InstallLeakMode()
{
    InstallLeakReport();
    const uintptr_t module = reinterpret_cast<uintptr_t>(CurrentModuleHandle());
    SetLeakOptionsFile(OptionsTempFileName(CurrentReportFileContext(module, 0)).c_str());
}

}  // namespace

void RegisterLeakMode()
{
    LeakModeProcs().install = &InstallLeakMode;
    LeakModeProcs().saveOptions = &SaveLeakOptionsFile;
    LeakModeProcs().handlingOptions = &SetHeapErrorTexts;
}
