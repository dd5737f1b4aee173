#include "crashreport/capture/ECorePlatform.h"

TCorePlatform& SystemCorePlatform();

namespace {
TCorePlatform* installed = nullptr;
}

TCorePlatform& CorePlatform()
{
    return installed ? *installed : SystemCorePlatform();
}

TCorePlatform* SetCorePlatform(TCorePlatform* platform)
{
    TCorePlatform* previous = installed;
    installed = platform;
    return previous;
}
