// Programs and libraries that each carry a reporter: forwarding to the main module and dispatch between peers.
#include "tests/crashlab/CrashLab.h"

const std::vector<TCrashLabMode>& CrashLabPeersModes()
{
    static const std::vector<TCrashLabMode> modes = {};
    return modes;
}
