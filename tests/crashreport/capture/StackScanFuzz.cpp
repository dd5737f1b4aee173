// The scanner reads stacks and code that may hold anything: the first byte picks the scan's
// flags, then half the rest is code at 0x401000 and half a stack at 0x100000.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crashreport/capture/EStack.h"
#include "tests/crashreport/capture/FakeMemory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t half = bytes.size() / 2;
    TFakeMemory memory;
    memory.Put(0x401000, bytes.substr(0, half));
    memory.Put(0x100000, bytes.substr(half));
    memory.modules.push_back({0x400000, 0x500000, "fuzz.exe"});
    TVurazaStackList list;
    TStackScanRequest r;
    r.Address = data[0] & 1 ? 0x401000 : 0;
    r.FollowTargets = (data[0] & 2) != 0;
    r.Skip = data[0] & 4 ? 1 : -1;
    r.Maximum = data[0] >> 4;
    r.StackPointer = 0x100000;
    r.StackTop = 0x100000 + (data[0] & 8 ? 0x200000 : bytes.size() - half);
    ScanStack(list, r, memory);
    if (list.Count() > StackItemLimit)
        __builtin_trap();

    return 0;
}
