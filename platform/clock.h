// Time for the control and its workers: a 32-bit millisecond tick count that wraps like the
// system tick counter, sleeping, waiting for descriptors, and the wall clock. Every fixed wait and
// every protocol wait goes through here, so that tests can install a clock of their own.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstddef>
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
    // Waits up to `ms` (at least 0) for one of `fds` to be ready, as poll(2) does, and returns what
    // poll returns. Waits for sockets pass through here: the tick count is what says whether their
    // time has run out, and a test clock may let an idle wait's time pass without waiting it out.
    virtual int waitReady(pollfd* fds, std::size_t count, int ms);
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
