// Schedule spans, and the engine's schedule timer.
#include "app/core/schedule.h"

#include "app/core/engine.h"

#include "platform/clock.h"

#include <algorithm>
#include <charconv>

namespace pellucor {

namespace {

std::optional<int> number(std::string_view text, std::size_t digits, int max)
{
    if (text.size() != digits)
        return std::nullopt;
    int v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size() || v < 0 || v > max)
        return std::nullopt;
    return v;
}

// Local time of day `seconds` on the day `days` after the local day of `midnight`.
std::time_t atLocal(std::time_t midnight, int days, int seconds)
{
    std::tm tm{};
    ::localtime_r(&midnight, &tm);
    tm.tm_mday += days;
    tm.tm_hour = seconds / 3600;
    tm.tm_min = seconds / 60 % 60;
    tm.tm_sec = seconds % 60;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

std::time_t localMidnight(std::time_t t)
{
    return atLocal(t, 0, 0);
}

int weekday(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm.tm_wday; // 0 Sunday
}

} // namespace

std::optional<int> parseTimeOfDay(std::string_view text)
{
    if (text.size() != 5 && text.size() != 8)
        return std::nullopt;
    if (text[2] != ':' || (text.size() == 8 && text[5] != ':'))
        return std::nullopt;
    auto h = number(text.substr(0, 2), 2, 23);
    auto m = number(text.substr(3, 2), 2, 59);
    auto s = text.size() == 8 ? number(text.substr(6, 2), 2, 59) : std::optional<int>(0);
    if (!h || !m || !s)
        return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

std::optional<std::time_t> parseDate(std::string_view text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    auto y = number(text.substr(0, 4), 4, 9999);
    auto mo = number(text.substr(5, 2), 2, 12);
    auto d = number(text.substr(8, 2), 2, 31);
    if (!y || !mo || !d || *y < 1970 || *mo < 1 || *d < 1)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = *y - 1900;
    tm.tm_mon = *mo - 1;
    tm.tm_mday = *d;
    tm.tm_hour = 12; // noon: safe from daylight-saving shifts while checking the day
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t == -1 || tm.tm_mday != *d || tm.tm_mon != *mo - 1)
        return std::nullopt; // 31 April and the like
    return localMidnight(t);
}

std::optional<ScheduleSpan> activeSpan(const ScheduleInfo& entry, std::time_t now)
{
    const auto start = parseTimeOfDay(entry.TimeStart);
    const auto stop = parseTimeOfDay(entry.TimeStop);
    if (!start || !stop)
        return std::nullopt;
    if (entry.MODE == 1) {
        const auto d0 = parseDate(entry.DateStart);
        const auto d1 = parseDate(entry.DateStop);
        if (!d0 || !d1)
            return std::nullopt;
        const ScheduleSpan span{atLocal(*d0, 0, *start), atLocal(*d1, 0, *stop)};
        if (span.start < span.end && span.start <= now && now < span.end)
            return span;
        return std::nullopt;
    }
    if (entry.MODE != 0 || *start == *stop)
        return std::nullopt;
    const bool crosses = *stop < *start;
    // The span that began today, and for a span across midnight the one that began yesterday.
    for (int back : {0, 1}) {
        if (back == 1 && !crosses)
            break;
        const std::time_t day = atLocal(now, -back, 0);
        if ((entry.WeekOption & (1 << weekday(day))) == 0)
            continue;
        const ScheduleSpan span{atLocal(day, 0, *start), atLocal(day, crosses ? 1 : 0, *stop)};
        if (span.start <= now && now < span.end)
            return span;
    }
    return std::nullopt;
}

void Engine::tmrSchedule_Timer()
{
    const std::time_t now = m_sv.clock->now();
    for (int n = 1; n <= kCameraCount; ++n) {
        if (m_state.cam(n).RecordMode != 2)
            continue;
        const int count = std::clamp(m_state.cam(n).ScheduleCount, 0, kScheduleCount);
        for (int k = 1; k <= count; ++k) {
            try {
                scheduleEntry(n, k, now);
            } catch (const std::exception&) {
            }
        }
    }
}

void Engine::scheduleEntry(int n, int k, std::time_t now)
{
    CamInfo& ci = m_state.cam(n);
    ScheduleInfo& e = ci.Schedule(k);
    if (!e.CHECK)
        return;
    std::time_t& spanEnd = m_spanEnd[static_cast<std::size_t>(n - 1)][static_cast<std::size_t>(k - 1)];
    const bool owns = ci.Recording && ci.RecordType == 2 && e.Started && ci.ScheduleIndex == k && !e.Stopped;
    if (owns && now >= spanEnd) {
        // However late the tick comes, the recording this entry started ends.
        e.Stopped = true;
        if (e.MODE == 1)
            e.CHECK = false;
        StopRecord(n);
        if (m_state.WindowOpen[0])
            m_sv.windows->RefreshPanelText();
        return;
    }
    const auto span = activeSpan(e, now);
    if (!span) {
        // Outside the span a week entry is ready for its next selected day.
        if (e.MODE == 0 && !owns) {
            e.Started = false;
            e.Stopped = false;
        }
        return;
    }
    if (ci.Recording || e.Started || now - span->start >= kScheduleLateSeconds)
        return;
    e.Started = true;
    spanEnd = span->end;
    StartRecord(n, 2);
    ci.ScheduleIndex = k;
    if (m_state.WindowOpen[0])
        m_sv.windows->RefreshPanelText();
}

} // namespace pellucor
