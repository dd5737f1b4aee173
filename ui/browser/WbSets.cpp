#include "ui/browser/WbSets.h"

namespace {

// 0x8000 has no member.
const uint32_t kUserInterfaceValues[] = {
    0x1,      0x2,      0x4,       0x8,       0x10,      0x20,      0x40,      0x80,       0x100,     0x200,
    0x400,    0x800,    0x1000,    0x2000,    0x4000,    0x10000,   0x20000,   0x40000,    0x80000,   0x100000,
    0x200000, 0x400000, 0x800000,  0x1000000, 0x2000000, 0x4000000, 0x8000000, 0x10000000, 0x20000000,
};

const uint32_t kDownloadValues[] = {
    0x10,   0x20,   0x40,    0x80,    0x100,   0x200,      0x400,      0x800,      0x1000,     0x2000,
    0x4000, 0x8000, 0x10000, 0x20000, 0x40000, 0x10000000, 0x20000000, 0x40000000, 0x80000000,
};

template <class E, size_t N>
uint32_t Sum(const TSet<E>& set, const uint32_t (&values)[N])
{
    uint32_t flags = 0;
    for (size_t i = 0; i < N; ++i)
        if (set.Contains(static_cast<E>(i)))
            flags |= values[i];
    return flags;
}

}  // namespace

uint32_t UserInterfaceFlags(const TUserInterfaceOptions& options) { return Sum(options, kUserInterfaceValues); }
uint32_t DownloadControlFlags(const TDownloadControlOptions& options) { return Sum(options, kDownloadValues); }
