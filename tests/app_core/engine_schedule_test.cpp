// The recording schedule over simulated days.
#include "engine_fakes.h"
#include "test_folder.h"

#include "app/core/schedule.h"

#include <gtest/gtest.h>

using namespace enginetest;

namespace {

constexpr std::time_t kSunday = 1709424000; // 2024-03-03 00:00:00 UTC (TZ=UTC0 in these tests)
constexpr std::time_t kDay = 86400;

std::time_t at(int day, int h, int m, int s = 0)
{
    return kSunday + day * kDay + h * 3600 + m * 60 + s;
}

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
    ScheduleInfo e;
    e.CHECK = true;
    e.MODE = 1;
    e.DateStart = d0;
    e.TimeStart = t0;
    e.DateStop = d1;
    e.TimeStop = t1;
    return e;
}

class Schedule : public ::testing::Test
{
protected:
    void SetUp() override
    {
        state.paths.homeDir = home.path();
        InitGlobals(state, kSunday);
        state.settings.Storage(1).Path = (home.path() / "rec").string();
        for (int n = 1; n <= 4; ++n) {
            state.cam(n).Assign = true;
            state.cam(n).Enable = true;
            state.cam(n).RecordMode = kRecordSchedule;
            state.cam(n).ServerName = "C" + std::to_string(n);
        }
    }

    void start(std::time_t t, std::int32_t intervalMs)
    {
        rig = std::make_unique<EngineRig>(state, t);
        for (int n = 1; n <= 4; ++n) {
            rig->cam(n).traceGets = false;
            rig->cam(n).onMethod = [this, n](std::string_view m) {
                if (m == "StartRecording" || m == "StopRecording")
                    events[static_cast<std::size_t>(n - 1)].push_back(
                        std::string(m == "StartRecording" ? "start " : "stop ") +
                        formatLocalDateTime(rig->clock.now()));
            };
        }
        rig->engine->tmrSchedule().setInterval(intervalMs);
        rig->engine->tmrSchedule().setEnabled(true);
    }

    void entries(int n, std::vector<ScheduleInfo> list)
    {
        state.cam(n).ScheduleCount = static_cast<std::int32_t>(list.size());
        for (std::size_t k = 0; k < list.size(); ++k)
            state.cam(n).Schedule(static_cast<int>(k) + 1) = list[k];
    }

    std::vector<std::string>& of(int n) { return events[static_cast<std::size_t>(n - 1)]; }

    TestFolder home{"schedule"};
    AppState state;
    std::unique_ptr<EngineRig> rig;
    std::array<std::vector<std::string>, 4> events;
};

TEST_F(Schedule, ASimulatedWeekStartsAndStopsAtTheExpectedSeconds)
{
    entries(1, {week(2 | 4 | 8, "08:00:00", "17:00:00")}); // Monday to Wednesday, day after day
    entries(2, {week(16, "22:00:00", "02:00:00")});        // Thursday night into Friday
    entries(3, {dates("2024-03-07", "08:00:00", "2024-03-09", "18:00:00")});
    entries(4, {week(127, "12:00:00", "12:30:00")}); // every day
    // A tick every 5 s keeps the week quick; the entries' times lie on that grid.
    start(kSunday, 5000);
    rig->clock.runUntil(kSunday + 7 * kDay);

    EXPECT_EQ(of(1), (std::vector<std::string>{"start 2024-03-04 08:00:00", "stop 2024-03-04 17:00:00",
                                               "start 2024-03-05 08:00:00", "stop 2024-03-05 17:00:00",
                                               "start 2024-03-06 08:00:00", "stop 2024-03-06 17:00:00"}));
    EXPECT_EQ(of(2), (std::vector<std::string>{"start 2024-03-07 22:00:00", "stop 2024-03-08 02:00:00"}));
    EXPECT_EQ(of(3), (std::vector<std::string>{"start 2024-03-07 08:00:00", "stop 2024-03-09 18:00:00"}));
    EXPECT_FALSE(state.cam(3).Schedule(1).CHECK); // a date entry runs once
    ASSERT_EQ(of(4).size(), 14u);
    for (int d = 0; d < 7; ++d) {
        const std::string day = "2024-03-0" + std::to_string(3 + d);
        EXPECT_EQ(of(4)[static_cast<std::size_t>(2 * d)], "start " + day + " 12:00:00");
        EXPECT_EQ(of(4)[static_cast<std::size_t>(2 * d + 1)], "stop " + day + " 12:30:00");
    }
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(state.cam(n).RecordType, 2);
}

TEST_F(Schedule, AStartMayBeUpToFiveMinutesLate)
{
    struct Case
    {
        std::time_t startAt;
        bool records;
    };
    for (const Case& c : {Case{at(1, 8, 4), true}, Case{at(1, 8, 4, 59), true}, Case{at(1, 8, 5), false},
                          Case{at(1, 8, 6), false}, Case{at(1, 7, 59, 59), true}}) {
        SCOPED_TRACE(c.startAt);
        events = {};
        for (auto& e : state.cams)
            e.Recording = false;
        entries(1, {week(2, "08:00:00", "17:00:00")});
        start(c.startAt, 250);
        rig->clock.advance(1000);
        EXPECT_EQ(!of(1).empty(), c.records);
        rig->clock.runUntil(at(1, 16, 0)); // and not later that day either
        EXPECT_EQ(of(1).size(), c.records ? 1u : 0u);
    }
}

TEST_F(Schedule, ARecordingTheScheduleDidNotStartIsLeftAlone)
{
    entries(1, {week(2, "08:00:00", "17:00:00")});
    start(at(1, 7, 0), 250);
    ASSERT_TRUE(rig->engine->StartRecord(1, kRecordManual)); // by hand before the start time
    events = {};
    rig->clock.runUntil(at(1, 18, 0));
    EXPECT_TRUE(of(1).empty());
    EXPECT_TRUE(state.cam(1).Recording);
    EXPECT_EQ(state.cam(1).RecordType, 1);
}

TEST_F(Schedule, AStopComesHoweverLateTheTickIs)
{
    entries(1, {week(2, "08:00:00", "09:00:00")});
    start(at(1, 8, 0), 250);
    rig->clock.advance(250);
    ASSERT_EQ(of(1).size(), 1u);
    // The program was busy for ten minutes across the stop time.
    rig->engine->tmrSchedule().setEnabled(false);
    rig->clock.runUntil(at(1, 9, 10));
    rig->engine->tmrSchedule().setEnabled(true);
    rig->clock.advance(250);
    EXPECT_EQ(of(1).back(), "stop 2024-03-04 09:10:00");
}

TEST_F(Schedule, EntriesThatCannotMatchNeverStart)
{
    ScheduleInfo badMode = week(127, "08:00:00", "17:00:00");
    badMode.MODE = 2;
    ScheduleInfo off = week(127, "08:00:00", "17:00:00");
    off.CHECK = false;
    entries(1, {badMode, off, week(127, "8 o'clock", "17:00:00"), week(127, "10:00:00", "10:00:00"),
                dates("2024-03-09", "08:00:00", "2024-03-08", "08:00:00")});
    state.cam(2).RecordMode = kRecordManual; // not in schedule mode
    entries(2, {week(127, "08:00:00", "17:00:00")});
    start(kSunday, 60000);
    rig->clock.runUntil(kSunday + 7 * kDay);
    EXPECT_TRUE(of(1).empty());
    EXPECT_TRUE(of(2).empty());
}

// The fixed forms and the common other ones parse, and load in the fixed form; nothing else does.
TEST(ScheduleTexts, TheFixedAndTheCommonFormsParse)
{
    struct TimeCase
    {
        const char* text;
        int seconds;           // -1: refused
        const char* canonical; // what a profile load keeps
    };
    for (const TimeCase& c :
         {TimeCase{"00:00:00", 0, "00:00:00"}, TimeCase{"23:59:59", 86399, "23:59:59"},
          TimeCase{"08:30", 30600, "08:30:00"}, TimeCase{"8:00:00", 28800, "08:00:00"},
          TimeCase{"8:00", 28800, "08:00:00"}, TimeCase{"0:05:09", 309, "00:05:09"},
          TimeCase{"24:00:00", -1, "24:00:00"}, TimeCase{"08:60:00", -1, "08:60:00"},
          TimeCase{"08:00:0x", -1, "08:00:0x"}, TimeCase{"", -1, ""}, TimeCase{"08-00-00", -1, "08-00-00"},
          TimeCase{"8:00:00 AM", -1, "8:00:00 AM"}, TimeCase{"8:0", -1, "8:0"},
          TimeCase{"008:00", -1, "008:00"}, TimeCase{":00", -1, ":00"}, TimeCase{"-8:00", -1, "-8:00"},
          TimeCase{"8:00:", -1, "8:00:"}}) {
        SCOPED_TRACE(c.text);
        const auto v = parseTimeOfDay(c.text);
        EXPECT_EQ(v ? *v : -1, c.seconds);
        EXPECT_EQ(canonicalTime(c.text), c.canonical);
    }
    struct DateCase
    {
        const char* text;
        std::time_t midnight; // -1: refused
        const char* canonical;
    };
    for (const DateCase& c :
         {DateCase{"2024-03-03", kSunday, "2024-03-03"},
          DateCase{"2024-02-29", kSunday - 3 * kDay, "2024-02-29"},
          DateCase{"2024-3-3", kSunday, "2024-03-03"}, DateCase{"2024/3/3", kSunday, "2024-03-03"},
          DateCase{"2024/03/03", kSunday, "2024-03-03"}, DateCase{"2023-02-29", -1, "2023-02-29"},
          DateCase{"2024-04-31", -1, "2024-04-31"}, DateCase{"2024-13-01", -1, "2024-13-01"},
          DateCase{"2024/3-3", -1, "2024/3-3"}, DateCase{"03/03/2024", -1, "03/03/2024"},
          DateCase{"2024-003-03", -1, "2024-003-03"}, DateCase{"1969-12-31", -1, "1969-12-31"},
          DateCase{"", -1, ""}}) {
        SCOPED_TRACE(c.text);
        const auto v = parseDate(c.text);
        EXPECT_EQ(v ? *v : -1, c.midnight);
        EXPECT_EQ(canonicalDate(c.text), c.canonical);
    }
}

// An entry as another program wrote it ("2024/3/7", "8:00") starts and stops like the fixed form.
TEST_F(Schedule, AnEntryInTheCommonFormsRecords)
{
    entries(1, {dates("2024/3/7", "8:00", "2024-3-7", "9:30:00")});
    entries(2, {week(2, "8:00", "9:00")});
    start(kSunday, 5000);
    rig->clock.runUntil(kSunday + 7 * kDay);
    EXPECT_EQ(of(1), (std::vector<std::string>{"start 2024-03-07 08:00:00", "stop 2024-03-07 09:30:00"}));
    EXPECT_EQ(of(2), (std::vector<std::string>{"start 2024-03-04 08:00:00", "stop 2024-03-04 09:00:00"}));
}

} // namespace
