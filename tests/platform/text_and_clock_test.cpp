#include "platform/clock.h"
#include "platform/disk.h"
#include "platform/fixed_text.h"
#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace tessivor;

namespace {

TEST(FixedText, CutsLongTextsAtACharacterBoundary)
{
    struct Case
    {
        std::string in;
        std::string expected;
    };
    const std::string e = "\xC3\xA9"; // é, two bytes
    const Case cases[] = {
        {"", ""},
        {"abcd", "abcd"},
        {"abcde", "abcd"},                            // 5-byte field keeps 4
        {"abc" + e, "abc"},                           // é would straddle the cut
        {"ab" + e + "x", "ab" + e},                   // é fits whole
        {"\xE2\x82\xAC\xE2\x82\xAC", "\xE2\x82\xAC"}, // € is three bytes
    };
    for (const Case& c : cases) {
        FixedText<5> t(c.in);
        EXPECT_EQ(t.view(), c.expected) << c.in;
    }
    FixedText<5> t("abcd");
    t.assign("x");
    EXPECT_EQ(std::string(t.c_str(), 5), std::string("x\0\0\0\0", 5)); // the field is cleared first
}

class FakeClock : public Clock
{
public:
    std::uint32_t tickCount() override { return ticks; }
    void sleepMs(std::uint32_t ms) override { ticks += ms; }
    std::time_t now() override { return 0; }
    std::uint32_t ticks = 0xFFFFFF00u;
};

TEST(Clock, TicksWrapAndAnInstalledClockIsUsed)
{
    FakeClock fake;
    installClock(&fake);
    const std::uint32_t start = tickCount();
    sleepMs(0x200); // crosses the wrap
    EXPECT_LT(tickCount(), start);
    EXPECT_EQ(ticksSince(start), 0x200u);
    installClock(nullptr);
    EXPECT_NE(&activeClock(), static_cast<Clock*>(&fake));
}

TEST(Disk, FreeSpaceOfAFolderAndOfNothing)
{
    auto free = freeDiskBytes(::testing::TempDir());
    ASSERT_TRUE(free.has_value());
    EXPECT_GT(*free, 0u);
    EXPECT_FALSE(freeDiskBytes("/no/such/folder").has_value());
    EXPECT_FALSE(freeDiskBytes("").has_value());
}

TEST(WorkerThread, RefusesASecondRunAndReportsFailedStarts)
{
    WorkerThread w;
    std::atomic<bool> release{false};
    ASSERT_TRUE(w.start("test-worker", [&] {
        while (!release)
            std::this_thread::yield();
    }));
    EXPECT_TRUE(w.running());
    EXPECT_FALSE(w.start("second", [] {}));
    release = true;
    w.join();
    EXPECT_FALSE(w.running());
    failThreadStartsForTesting(1);
    EXPECT_FALSE(w.start("fails", [] {}));
    EXPECT_TRUE(w.start("works", [] { throw std::runtime_error("escapes"); }));
    w.join();
    EXPECT_FALSE(w.running());
}

// A run that has handed on its result (done) while its thread still ends: a start made on that
// result is accepted, after the old thread's last steps.
TEST(WorkerThread, StartAfterDoneWaitsForTheOldThreadInsteadOfRefusing)
{
    WorkerThread w;
    std::atomic<bool> handedOn{false};
    std::atomic<bool> oldEnded{false};
    ASSERT_TRUE(w.start("first", [&] {
        w.done();
        handedOn = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the rest of the old run
        oldEnded = true;
    }));
    while (!handedOn)
        std::this_thread::yield();
    std::atomic<bool> endedBeforeSecond{false};
    EXPECT_TRUE(w.start("second", [&] { endedBeforeSecond = oldEnded.load(); }));
    w.join();
    EXPECT_TRUE(endedBeforeSecond);
    EXPECT_FALSE(w.running());
}

} // namespace
