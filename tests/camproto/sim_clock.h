// A clock for tests of protocol waits. A socket wait first looks for real (a peer may still be
// answering); once nothing has come within a short real grace, and no watched peer is still busy,
// the wait's whole time passes at once. A 6-second silence thus costs the grace. Stopped, the
// time moves only so (and by sleeps and the test's steps), and the tick count says exactly how
// long every wait lasted; running, it also moves with the real time.
#pragma once

#include "platform/clock.h"

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace tessivor::testing {

class SimClock final : public Clock
{
public:
    enum class Mode
    {
        Stopped, // only waits, sleeps and the test move the time: exact, for protocol calls alone
        Running, // the time also runs as the real one does and sleeps are real: for a whole control,
                 // whose own loops count real time between their sleeps
    };

    // `graceMs`: how long a socket wait looks for real before its time passes at once.
    explicit SimClock(int graceMs = 100, Mode mode = Mode::Stopped) : m_graceMs(graceMs), m_mode(mode) {}

    std::uint32_t tickCount() override { return at(m_skipped.load()); }
    void sleepMs(std::uint32_t ms) override
    {
        if (m_mode == Mode::Running) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return;
        }
        // A little real time, so that a thread polling a flag in a sleep loop lets the others run.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        moveTo(tickCount() + ms);
    }
    std::time_t now() override { return kEpoch + static_cast<std::time_t>(tickCount() / 1000); }

    int waitReady(pollfd* fds, std::size_t count, int ms) override
    {
        m_waits.fetch_add(1);
        const std::uint32_t start = tickCount();
        ms = std::max(ms, 0);
        // Every wait looks for real for its grace (or its whole time, when shorter), whatever other
        // threads' waits did to the time meanwhile; a peer that is still busy holds it longer.
        const auto realStart = std::chrono::steady_clock::now();
        const auto realEnd = realStart + std::chrono::milliseconds(std::min(ms, m_graceMs));
        const auto busyEnd = realStart + std::chrono::seconds(60);
        while (true) {
            const int r = ::poll(fds, static_cast<nfds_t>(count), 5);
            if (r != 0)
                return r;
            const auto now = std::chrono::steady_clock::now();
            if (m_busy && m_busy() && now < busyEnd)
                continue;
            if (now < realEnd)
                continue;
            // Nothing came and nobody is working on an answer: one last look, then the time passes.
            const int last = ::poll(fds, static_cast<nfds_t>(count), 0);
            if (last != 0)
                return last;
            moveTo(start + static_cast<std::uint32_t>(ms));
            return 0;
        }
    }

    // Moves the time on by `ms` (the test's or a peer's own step).
    void advance(std::uint32_t ms) { m_skipped.fetch_add(ms); }
    // Socket waits begun so far (a peer can pace itself by them).
    int waits() const { return m_waits.load(); }
    // True while a watched peer is still working on an answer; set while no wait runs.
    void watchBusy(std::function<bool()> busy) { m_busy = std::move(busy); }

    static constexpr std::time_t kEpoch = 1796712534;

private:
    std::uint32_t at(std::uint32_t skipped) const
    {
        std::uint32_t t = 1000 + skipped;
        if (m_mode == Mode::Running)
            t += static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - m_origin)
                                                .count());
        return t;
    }
    // Never back: a wait that ends moves the time to its end unless it is there already.
    void moveTo(std::uint32_t target)
    {
        std::uint32_t skipped = m_skipped.load();
        while (true) {
            const std::int32_t ahead = static_cast<std::int32_t>(target - at(skipped));
            if (ahead <= 0 ||
                m_skipped.compare_exchange_weak(skipped, skipped + static_cast<std::uint32_t>(ahead)))
                return;
        }
    }

    const int m_graceMs;
    const Mode m_mode;
    const std::chrono::steady_clock::time_point m_origin = std::chrono::steady_clock::now();
    std::atomic<std::uint32_t> m_skipped{0};
    std::atomic<int> m_waits{0};
    std::function<bool()> m_busy;
};

// Installs a clock for the life of a scope (an early return or a failed assertion included).
class InstalledClock
{
public:
    explicit InstalledClock(Clock& clock) { installClock(&clock); }
    ~InstalledClock() { installClock(nullptr); }
    InstalledClock(const InstalledClock&) = delete;
    InstalledClock& operator=(const InstalledClock&) = delete;
};

} // namespace tessivor::testing
