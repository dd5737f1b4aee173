#include "crashreport/capture/EFreezeCount.h"

uint32_t FreezePingRemainder(uint32_t startTick, uint32_t nowTick)
{
    const uint32_t elapsed = nowTick - startTick;  // the tick count wraps after 49.7 days
    return elapsed >= FreezePingMilliseconds ? 0 : FreezePingMilliseconds - elapsed;
}
