#pragma once
// The listing's memory in the running process: every read is probed first, so none faults.

#include "crashreport/capture/EAsmListing.h"

class TLiveListingMemory : public TListingMemory {
public:
    bool IsReadable(uint32_t address, size_t count) override;
    bool Read(uint32_t address, void* dest, size_t count) override;
};
