#include "crashreport/capture/EAsmListingWin.h"

#include <cstring>

#include "crashreport/capture/ECoreWin.h"

bool TLiveListingMemory::IsReadable(uint32_t address, size_t count)
{
    return address != 0 && IsReadableMemory(reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), count);
}

bool TLiveListingMemory::Read(uint32_t address, void* dest, size_t count)
{
    if (!IsReadable(address, count))
        return false;
    memcpy(dest, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), count);
    return true;
}
