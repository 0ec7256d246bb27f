#include "platform/clock.h"

#include <atomic>
#include <thread>

namespace tessivor {

namespace {

class SystemClock final : public Clock
{
public:
    std::uint32_t tickCount() override
    {
        using namespace std::chrono;
        return static_cast<std::uint32_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void sleepMs(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    std::time_t now() override { return std::time(nullptr); }
};

SystemClock g_systemClock;
std::atomic<Clock*> g_clock{&g_systemClock};

} // namespace

int Clock::waitReady(pollfd* fds, std::size_t count, int ms)
{
    return ::poll(fds, static_cast<nfds_t>(count), ms < 0 ? 0 : ms);
}

Clock& activeClock()
{
    return *g_clock.load(std::memory_order_acquire);
}

void installClock(Clock* c)
{
    g_clock.store(c ? c : &g_systemClock, std::memory_order_release);
}

} // namespace tessivor
