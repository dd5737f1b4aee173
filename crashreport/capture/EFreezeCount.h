#pragma once
// The hang watchdog's count of milliseconds without an answer from the main window, kept apart
// from the thread so that its rules are plain code.

#include <cstdint>

// One ping waits this long for the answer; an unanswered ping counts this much.
constexpr uint32_t FreezePingMilliseconds = 50;
// After an answer the watchdog rests this many pings' time before the next one.
constexpr int FreezeRestSteps = 6;

class TFreezeCount {
public:
    void Answered() { silentMs_ = 0; }
    void Unanswered() { silentMs_ += FreezePingMilliseconds; }
    int64_t SilentMilliseconds() const { return silentMs_; }
    // The limit is read again at every test; one of 0 or below counts as one second, so a
    // damaged setting never reports a program that merely paused between two pings.
    bool Reached(int64_t limitMs) const { return silentMs_ >= (limitMs < 1000 ? 1000 : limitMs); }

private:
    int64_t silentMs_ = 0;
};

// How long an unanswered ping must still wait so that it lasts its full time: a ping that
// failed at once (the window was being destroyed) must not count 50 ms it never waited.
uint32_t FreezePingRemainder(uint32_t startTick, uint32_t nowTick);
