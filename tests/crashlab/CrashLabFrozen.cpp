// The road's handling without the process heap: frozen module records, threads kept still under the heap and loader locks.
#include "tests/crashlab/CrashLab.h"

const std::vector<TCrashLabMode>& CrashLabFrozenModes()
{
    static const std::vector<TCrashLabMode> modes = {};
    return modes;
}
