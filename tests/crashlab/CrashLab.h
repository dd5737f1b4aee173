#pragma once
// The crash-test program's scenarios. A mode is one row of the table in CrashLabModes.cpp:
// a name, a one-line purpose and the function that runs it. Output goes to standard output,
// one stable line per fact, so a test can compare it.

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "crashreport/capture/EStack.h"

#define CRASHLAB_CALL __attribute__((noinline, optimize("no-optimize-sibling-calls")))

struct TCrashLabMode {
    const char* name;
    const char* purpose;
    int (*run)(const std::vector<std::string>& args);
};

const std::vector<TCrashLabMode>& CrashLabModes();
// The hang watchdog's and the thread storm's modes (CrashLabHang.cpp).
const std::vector<TCrashLabMode>& CrashLabHangModes();
const std::vector<TCrashLabMode>& CrashLabHookModes();
// The handling road's modes (CrashLabRoad.cpp).
const std::vector<TCrashLabMode>& CrashLabRoadModes();
const std::vector<TCrashLabMode>& CrashLabReportModes();
// The exception dialogs shown by the road (CrashLabDialog.cpp).
const std::vector<TCrashLabMode>& CrashLabDialogModes();
// Handling without the process heap (CrashLabFrozen.cpp).
const std::vector<TCrashLabMode>& CrashLabFrozenModes();
// Reporters in several modules of one process (CrashLabPeers.cpp).
const std::vector<TCrashLabMode>& CrashLabPeersModes();
// Delivery on the road (CrashLabDelivery.cpp).
const std::vector<TCrashLabMode>& CrashLabDeliveryModes();
// The road surviving its own failures (CrashLabSurvive.cpp).
const std::vector<TCrashLabMode>& CrashLabSurviveModes();
std::vector<TCrashLabMode> JoinModes(const std::vector<TCrashLabMode>& first, const std::vector<TCrashLabMode>& second);
// Runs the named mode; unknown names list the modes and give 2.
int RunCrashLab(int argc, char** argv);

void LabPrint(const std::string& line);
// The factor a scenario's supplies and waits grow by where Wine's programs run emulated
// (VIDUDO_TIME_SCALE, set by the test run; 1 elsewhere).
inline int LabTimeScale()
{
    const char* text = std::getenv("VIDUDO_TIME_SCALE");
    const int scale = text ? std::atoi(text) : 1;
    return scale > 1 ? scale : 1;
}
// Items are resolved from the modules' stored debug data.
void InstallLabResolver();
// One line per item: index, kind, module file name, offset in the module, unit, class, procedure,
// line.
void DumpStack(const TVurazaStackList& list);
// Scans and dumps the caller's stack, from this function's own stack pointer up.
CRASHLAB_CALL void DumpOwnStack();

// Threads parked three calls deep, for the mode that takes every thread's stack and for the
// benchmark.
class TParkedThreads {
public:
    explicit TParkedThreads(int count);
    ~TParkedThreads();
    const std::vector<HANDLE>& Handles() const { return handles_; }
    const std::vector<DWORD>& Ids() const { return ids_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<DWORD> ids_;
};
