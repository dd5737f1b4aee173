#include "app/Program.h"

#include <memory>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EFoundations.h"
#include "crashreport/capture/EModules.h"
#include "framework/Forms.h"
#include "trading/connection/ClientModules.h"
#include "trading/connection/SysInfo.h"
#include "trading/windows/MainUnit.h"

int RunTradingClient()
{
    StartReporterFoundations();
    TApplication application;
    application.SetTitle("Vidudo模拟交易系统");
    auto client = std::make_unique<TClient>();
    int exitCode = 0;
    {
        auto mainForm = std::make_unique<TMainForm>(nullptr);
        application.SetMainForm(mainForm.get());
        application.Run();
        exitCode = application.ExitCode();
        application.SetMainForm(nullptr);
    }
    client.reset();
    // The configuration the client made: freed with it, not left for the leak report.
    delete SysInfo;
    SysInfo = nullptr;
    // Freed while tracking still sees them; the leak report at exit builds them again.
    StopModuleRecordMaker();
    ReleaseAddressLookup();
    ClearModuleRecords();
    StopReporterFoundations();
    return exitCode;
}
