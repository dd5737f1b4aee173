// Measures every 32-byte slot of a file with the instruction decoder: one line per slot,
// "<length>" or "- <length>" when undecodable. The objdump comparison reads it.
#include <cstdio>
#include <vector>

#include "crashreport/capture/EInstruction.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    FILE* f = std::fopen(argv[1], "rb");
    if (!f)
        return 2;
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
    for (size_t at = 0; at + 32 <= bytes.size(); at += 32) {
        size_t length = 0;
        const bool ok = InstructionLength(bytes.data() + at, 32, length);
        std::printf(ok ? "%zu\n" : "- %zu\n", length);
    }
    return 0;
}
