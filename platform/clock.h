// Time for the control and its workers: a 32-bit millisecond tick count that wraps like the
// system tick counter, sleeping, and the wall clock. Every fixed wait goes through here, so that
// tests can install a clock of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace tessivor {

class Clock
{
public:
    virtual ~Clock() = default;
    virtual std::uint32_t tickCount() = 0; // milliseconds, wraps after about 49.7 days
    virtual void sleepMs(std::uint32_t ms) = 0;
    virtual std::time_t now() = 0; // wall clock, seconds
};

// The clock in use: the system's unless a test installed one. installClock(nullptr) restores it.
Clock& activeClock();
void installClock(Clock* clock);

inline std::uint32_t tickCount()
{
    return activeClock().tickCount();
}
inline void sleepMs(std::uint32_t ms)
{
    activeClock().sleepMs(ms);
}
inline std::time_t wallNow()
{
    return activeClock().now();
}
// Milliseconds from `since` to now, correct across the wrap of the counter.
inline std::uint32_t ticksSince(std::uint32_t since)
{
    return tickCount() - since;
}

} // namespace tessivor
