// A program file's tail block, the debug data inside it and the "ELDATA" resource are read
// from files anyone may have damaged. The whole input is tried as each of them; the model
// stream is also read unenciphered, so the fuzzer reaches its counts and tables.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "crashreport/capture/EStoredData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TStoredTail tail;
    if (ReadStoredDataTail(TStoredBytes(bytes), tail)) {
        TDebugModel model;
        DecodeStoredDebugData(tail.debugData, "", model);
    }
    TDebugModel model;
    if (ReadDebugModel(bytes, model)) {
        TDebugLocation loc;
        for (uint32_t offset : {0u, 0x10u, 0x100u, 0xFFFFFFFFu})
            LookupDebugLocation(model, offset, loc);
    }
    DecodeStoredDebugData(bytes, "", model);
    TStoredResource resource;
    ReadStoredResource(bytes, resource);
    return 0;
}
