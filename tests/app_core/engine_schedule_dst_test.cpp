// The recording schedule over the nights the clocks change, in a zone that has them
// (TZ=Europe/Berlin: forward from 02:00 CET to 03:00 CEST on 31 March 2024, back from 03:00 CEST
// to 02:00 CET on 27 October 2024). A time of day comes the first moment the clock shows it or a
// later time.
#include "engine_fakes.h"
#include "test_folder.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

constexpr std::time_t kHour = 3600;
constexpr std::time_t kSpringSat12 = 1711796400; // 2024-03-30 12:00 CET (11:00 UTC)
constexpr std::time_t kAutumnSat12 = 1729936800; // 2024-10-26 12:00 CEST (10:00 UTC)

constexpr std::int32_t kSunday = 1;
constexpr std::int32_t kSaturday = 64;

ScheduleInfo week(std::int32_t days, const char* start, const char* stop)
{
    ScheduleInfo e;
    e.CHECK = true;
    e.MODE = 0;
    e.WeekOption = days;
    e.TimeStart = start;
    e.TimeStop = stop;
    return e;
}

ScheduleInfo dates(const char* d0, const char* t0, const char* d1, const char* t1)
{
    ScheduleInfo e = week(0, t0, t1);
    e.MODE = 1;
    e.DateStart = d0;
    e.DateStop = d1;
    return e;
}

// Local date and time with the zone's abbreviation, which tells the two 02:30 of October apart.
std::string localText(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &tm);
    return text;
}

bool berlinTime()
{
    std::tm tm{};
    const std::time_t summer = kSpringSat12 + 2 * 24 * kHour;
    ::localtime_r(&summer, &tm);
    return tm.tm_gmtoff == 2 * kHour && tm.tm_isdst > 0;
}

class ScheduleAcrossClockChanges : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!berlinTime())
            GTEST_SKIP() << "local time is not Europe/Berlin (TZ or the zone file is missing)";
        state.paths.homeDir = home.path();
        InitGlobals(state, kSpringSat12);
        state.settings.Storage(1).Path = (home.path() / "rec").string();
        for (int n = 1; n <= 4; ++n) {
            state.cam(n).Assign = true;
            state.cam(n).Enable = true;
            state.cam(n).RecordMode = kRecordSchedule;
            state.cam(n).ServerName = "C" + std::to_string(n);
        }
    }

    // Runs the schedule from `from` for two days with a tick every 5 s (the entries' times lie on
    // that grid) and returns each camera's recording starts and stops.
    std::array<std::vector<std::string>, 4> run(std::time_t from, const std::array<ScheduleInfo, 4>& entries)
    {
        std::array<std::vector<std::string>, 4> events;
        for (int n = 1; n <= 4; ++n) {
            state.cam(n).ScheduleCount = 1;
            state.cam(n).Schedule(1) = entries[static_cast<std::size_t>(n - 1)];
        }
        EngineRig rig(state, from);
        for (int n = 1; n <= 4; ++n) {
            rig.cam(n).traceGets = false;
            rig.cam(n).onMethod = [&, n](std::string_view m) {
                if (m == "StartRecording" || m == "StopRecording")
                    events[static_cast<std::size_t>(n - 1)].push_back(
                        std::string(m == "StartRecording" ? "start " : "stop ") + localText(rig.clock.now()));
            };
        }
        rig.engine->tmrSchedule().setInterval(5000);
        rig.engine->tmrSchedule().setEnabled(true);
        rig.clock.runUntil(from + 48 * kHour);
        return events;
    }

    TestFolder home{"schedule-dst"};
    AppState state;
};

using Events = std::vector<std::string>;

TEST_F(ScheduleAcrossClockChanges, SpringForward)
{
    const auto events = run(kSpringSat12, {
                                              week(kSunday, "01:30:00", "03:30:00"),
                                              week(kSunday, "02:30:00", "04:00:00"),
                                              week(kSaturday, "22:00:00", "06:00:00"),
                                              dates("2024-03-31", "01:00:00", "2024-03-31", "02:30:00"),
                                          });
    // Across the skipped hour: one hour of recording.
    EXPECT_EQ(events[0], (Events{"start 2024-03-31 01:30:00 CET", "stop 2024-03-31 03:30:00 CEST"}));
    // A start in the skipped hour comes when the clock jumps over it, not an hour later.
    EXPECT_EQ(events[1], (Events{"start 2024-03-31 03:00:00 CEST", "stop 2024-03-31 04:00:00 CEST"}));
    // Saturday night into Sunday.
    EXPECT_EQ(events[2], (Events{"start 2024-03-30 22:00:00 CET", "stop 2024-03-31 06:00:00 CEST"}));
    // A stop in the skipped hour comes when the clock jumps over it.
    EXPECT_EQ(events[3], (Events{"start 2024-03-31 01:00:00 CET", "stop 2024-03-31 03:00:00 CEST"}));
    EXPECT_FALSE(state.cam(4).Schedule(1).CHECK);
}

TEST_F(ScheduleAcrossClockChanges, FallBack)
{
    const auto events = run(kAutumnSat12, {
                                              week(kSunday, "02:30:00", "03:30:00"),
                                              week(kSunday, "02:00:00", "02:30:00"),
                                              week(kSaturday, "22:00:00", "06:00:00"),
                                              dates("2024-10-27", "01:30:00", "2024-10-27", "02:15:00"),
                                          });
    // The repeated hour: the start at the first 02:30, the stop at 03:30, which comes once; the
    // second 02:30 starts nothing.
    EXPECT_EQ(events[0], (Events{"start 2024-10-27 02:30:00 CEST", "stop 2024-10-27 03:30:00 CET"}));
    // An entry inside the repeated hour runs once, the first time.
    EXPECT_EQ(events[1], (Events{"start 2024-10-27 02:00:00 CEST", "stop 2024-10-27 02:30:00 CEST"}));
    EXPECT_EQ(events[2], (Events{"start 2024-10-26 22:00:00 CEST", "stop 2024-10-27 06:00:00 CET"}));
    EXPECT_EQ(events[3], (Events{"start 2024-10-27 01:30:00 CEST", "stop 2024-10-27 02:15:00 CEST"}));
    EXPECT_FALSE(state.cam(4).Schedule(1).CHECK);
}

} // namespace
