#include "ui/components/xpmenu/XPColor.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string Hex(TRgb c)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%06X", static_cast<unsigned>(c));
    return b;
}

TEST(XPColor, LightenMovesEachChannelTowardsWhite)
{
    const struct { TRgb in; int p; TRgb out; } cases[] = {
        {0x000000, 0, 0x000000},
        {0x000000, 100, 0xFFFFFF},
        {0x000000, 150, 0xFFFFFF},           // capped at 100
        {0x123456, 150, 0xFFFFFF},
        {0x000000, 50, 0x808080},            // 127.5 rounds to even 128
        {0x010101, 50, 0x808080},            // 1 + 127, no rounding
        {0xC8D0D4, 86, MakeRgb(0xF9, 0xF8, 0xF7)},  // 36.98, 40.42, 47.3
        {MakeRgb(10, 20, 30), 10, MakeRgb(34, 44, 52)},  // halves 24.5, 23.5, 22.5 go to even
        {0xFFFFFF, 60, 0xFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(c.out), Hex(LightenRgb(c.in, c.p))) << "Lighten(" << Hex(c.in) << ", " << c.p << ")";
}

TEST(XPColor, DarkenKeepsGreenTwoUpAndClamps)
{
    const struct { TRgb in; int n; TRgb out; } cases[] = {
        {0x000000, 10, 0x000000},
        {MakeRgb(100, 100, 100), 10, MakeRgb(90, 92, 90)},
        {MakeRgb(100, 100, 100), 100, MakeRgb(0, 2, 0)},
        {MakeRgb(250, 250, 250), -40, MakeRgb(255, 255, 255)},
        {MakeRgb(10, 20, 30), -40, MakeRgb(50, 62, 70)},
        {MakeRgb(255, 255, 255), 1, MakeRgb(254, 255, 254)},  // green clamps at 255
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(c.out), Hex(DarkenRgb(c.in, c.n))) << "Darken(" << Hex(c.in) << ", " << c.n << ")";
}

TEST(XPColor, GrayColorAveragesAndCapsAt240)
{
    const struct { TRgb in; int level; TRgb out; } cases[] = {
        {0xFFFFFF, 10, MakeRgb(240, 240, 240)},
        {0x000000, 10, MakeRgb(10, 10, 10)},
        {MakeRgb(1, 2, 2), 0, MakeRgb(1, 1, 1)},  // 5 div 3
        {MakeRgb(90, 120, 150), 30, MakeRgb(150, 150, 150)},
        {MakeRgb(200, 200, 200), 50, MakeRgb(240, 240, 240)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Hex(c.out), Hex(GrayRgb(c.in, c.level))) << "GrayColor(" << Hex(c.in) << ", " << c.level << ")";
}

TEST(XPColor, TopLevelTextKeepsFontColourOverLightColours)
{
    const struct { TRgb c; bool light; } cases[] = {
        {MakeRgb(151, 0, 151), true},
        {MakeRgb(150, 0, 150), false},
        {MakeRgb(0, 201, 0), true},
        {MakeRgb(0, 200, 0), false},
        {MakeRgb(200, 0, 102), true},  // (200 + 102) div 2 = 151
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.light, IsLightForTopLevelText(c.c)) << Hex(c.c);
}

}  // namespace
