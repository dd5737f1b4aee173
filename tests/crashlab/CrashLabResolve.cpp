// The crash-test program resolves its stack items as the reporter does: stored debug data, then
// the module's debug-information source, then its exports.

#include "crashreport/capture/EAddressLookup.h"
#include "tests/crashlab/CrashLab.h"

void InstallLabResolver()
{
    InstallAddressLookup();
}
