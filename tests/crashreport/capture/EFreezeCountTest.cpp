#include "crashreport/capture/EFreezeCount.h"

#include <gtest/gtest.h>

namespace {

struct TSilenceCase {
    int64_t limitMs;
    int pingsBefore;  // unanswered, then one answer (when answered), then pingsAfter more
    bool answered;
    int pingsAfter;
    bool reached;
};

TEST(FreezeCount, ReportsAfterTheLimitOfUnansweredPings)
{
    const TSilenceCase cases[] = {
        {60000, 1199, false, 0, false},  // 60 s: 1200 pings of 50 ms
        {60000, 1200, false, 0, true},
        {2000, 39, false, 0, false},
        {2000, 40, false, 0, true},
        {2000, 39, true, 39, false},  // one answer starts the count again
        {2000, 39, true, 40, true},
        {2000, 500, true, 0, false},
        {0, 19, false, 0, false},  // a damaged limit counts as one second
        {0, 20, false, 0, true},
        {-5000, 20, false, 0, true},
    };
    for (const TSilenceCase& c : cases) {
        TFreezeCount count;
        for (int i = 0; i < c.pingsBefore; ++i)
            count.Unanswered();
        if (c.answered)
            count.Answered();
        for (int i = 0; i < c.pingsAfter; ++i)
            count.Unanswered();
        EXPECT_EQ(count.Reached(c.limitMs), c.reached)
            << c.limitMs << " ms, " << c.pingsBefore << (c.answered ? " answered " : " ") << c.pingsAfter;
    }
}

TEST(FreezeCount, TheLimitIsReadAtEveryTest)
{
    TFreezeCount count;
    for (int i = 0; i < 40; ++i)
        count.Unanswered();
    EXPECT_EQ(count.SilentMilliseconds(), 2000);
    EXPECT_FALSE(count.Reached(60000));
    EXPECT_TRUE(count.Reached(2000));
}

TEST(FreezeCount, AnUnansweredPingLastsItsFullTime)
{
    const struct {
        uint32_t start, now, rest;
    } cases[] = {
        {100, 100, 50}, {100, 130, 20}, {100, 149, 1}, {100, 150, 0}, {100, 4000, 0},
        {0xFFFFFFF0u, 0x10u, 18},  // across the tick count's wrap
    };
    for (const auto& c : cases)
        EXPECT_EQ(FreezePingRemainder(c.start, c.now), c.rest) << c.start << " " << c.now;
}

}  // namespace
