// A clock for tests of what depends on the wall clock (the motion and e-mail hold-offs): ticks
// and sleeps are the system's, the wall clock is the test's and moves only when the test says.
#pragma once

#include "platform/clock.h"

#include <atomic>
#include <ctime>

namespace tessivor::testing {

class WallClock final : public Clock
{
public:
    explicit WallClock(Clock& system) : m_system(system) {}
    std::uint32_t tickCount() override { return m_system.tickCount(); }
    void sleepMs(std::uint32_t ms) override { m_system.sleepMs(ms); }
    std::time_t now() override { return seconds.load(); }

    std::atomic<std::time_t> seconds{1796712534};

private:
    Clock& m_system;
};

} // namespace tessivor::testing
