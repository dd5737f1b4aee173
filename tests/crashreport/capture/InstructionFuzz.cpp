// Code bytes the decoder measures come from whatever memory a crash left: every length stays
// within the bytes given and within 15, and the procedure walk ends.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "crashreport/capture/EInstruction.h"

namespace {

struct TBytes {
    const uint8_t* data;
    size_t size;
};

size_t ReadBytes(void* context, uintptr_t address, uint8_t* out, size_t count)
{
    const auto* b = static_cast<const TBytes*>(context);
    if (address >= b->size)
        return 0;
    const size_t n = count < b->size - address ? count : b->size - address;
    std::memcpy(out, b->data + address, n);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (size_t at = 0; at < size && at < 64; ++at) {
        size_t length = 0;
        if (InstructionLength(data + at, size - at, length) && (length == 0 || length > 15 || length > size - at))
            std::abort();
    }
    TBytes bytes{data, size};
    const size_t n = ProcedureCodeLength(0, size, &ReadBytes, &bytes);
    if (n == 0 || n > (size > 0 ? size : 1))
        std::abort();
    return 0;
}
