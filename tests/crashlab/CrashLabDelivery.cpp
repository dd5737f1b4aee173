// Delivery on the road: the report sent by the road's own send thread.
#include "tests/crashlab/CrashLab.h"

const std::vector<TCrashLabMode>& CrashLabDeliveryModes()
{
    static const std::vector<TCrashLabMode> modes = {};
    return modes;
}
