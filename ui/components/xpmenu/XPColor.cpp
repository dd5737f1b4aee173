#include "ui/components/xpmenu/XPColor.h"

#include <algorithm>
#include <cmath>

namespace {

int Clamp(int v) { return std::clamp(v, 0, 255); }

}  // namespace

TRgb LightenRgb(TRgb colour, int percent)
{
    percent = std::min(percent, 100);
    auto up = [percent](int ch) {
        // nearbyint under the default mode rounds halves to even, like the original runtime.
        return Clamp(ch + static_cast<int>(std::nearbyint((255.0 - ch) * percent / 100.0)));
    };
    return MakeRgb(up(RValue(colour)), up(GValue(colour)), up(BValue(colour)));
}

TRgb DarkenRgb(TRgb colour, int amount)
{
    return MakeRgb(Clamp(RValue(colour) - amount), Clamp(GValue(colour) - amount + 2),
                   Clamp(BValue(colour) - amount));
}

TRgb GrayRgb(TRgb colour, int level)
{
    int v = std::min((RValue(colour) + GValue(colour) + BValue(colour)) / 3 + level, 240);
    v = std::max(v, 0);
    return MakeRgb(v, v, v);
}

bool IsLightForTopLevelText(TRgb colour)
{
    return (RValue(colour) + BValue(colour)) / 2 > 150 || GValue(colour) > 200;
}
