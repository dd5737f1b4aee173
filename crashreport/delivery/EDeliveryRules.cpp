#include "crashreport/delivery/EDeliveryRules.h"

#include <algorithm>

#include "framework/SysUtils.h"

bool TSendProgress::SetPosition(int position)
{
    position = std::clamp(position, 0, 100);
    if (position < position_) return false;
    position_ = position;
    return true;
}

int PercentOf(uint64_t part, uint64_t total)
{
    if (total == 0) return 0;
    return static_cast<int>(std::min<uint64_t>((part * 200 + total) / (total * 2), 100));
}

int ConnectionStatus(int state, int percent, TSendProgress& bar)
{
    switch (state) {
    case 0:
        bar.Reset();
        bar.SetPosition(5);
        return 114;
    case 1: bar.Advance(5); return 115;
    case 2: bar.Advance(5); return 113;
    case 3: bar.Advance(5); return 118;
    case 4: bar.Advance(5); return 119;
    case 5: bar.Advance(5); return 120;
    case 6: bar.SetPosition(35 + (std::clamp(percent, 0, 100) * 65 + 50) / 100); return 116;
    case 7: bar.SetPosition(100); return 117;
    case 8: bar.SetPosition(100); return 121;
    case 9: bar.SetPosition(100); return 122;
    default: return -1;
    }
}

int UploadStatus(int kind, uint64_t total, uint64_t done, TSendProgress& bar)
{
    switch (kind) {
    case 0: bar.Reset(); return 114;
    case 1: return 115;
    case 2: bar.SetPosition(PercentOf(done, total)); return 116;
    default: return -1;
    }
}

bool CrashRateExceeded(const std::vector<double>& crashTimes, int count, int minutes)
{
    if (count <= 0 || crashTimes.size() != static_cast<size_t>(count)) return false;
    const auto [oldest, newest] = std::minmax_element(crashTimes.begin(), crashTimes.end());
    // Date-times near today carry about a microsecond of rounding: a span of exactly the limit counts.
    constexpr double kMillisecond = 1.0 / 86400000;
    return *newest - *oldest <= minutes / 1440.0 + kMillisecond;
}

std::vector<std::string> KeptArchivesToDelete(std::vector<std::string> names, size_t keep)
{
    std::vector<std::string> own;
    for (const std::string& n : names) {
        const std::string upper = UpperCase(n);
        if (upper.rfind("BUGREPORT", 0) == 0 && upper.size() >= 13 && upper.compare(upper.size() - 4, 4, ".ZIP") == 0)
            own.push_back(n);
    }
    std::sort(own.begin(), own.end());
    if (own.size() <= keep) return {};
    own.resize(own.size() - keep);
    return own;
}
