// Schedule spans, and the engine's schedule timer.
#include "app/core/schedule.h"

#include "app/core/engine.h"

#include "platform/clock.h"

#include <algorithm>
#include <array>

namespace pellucor {

namespace {

// A whole decimal number of `minDigits` to `maxDigits` digits, at most `max`.
std::optional<int> number(std::string_view text, std::size_t minDigits, std::size_t maxDigits, int max)
{
    if (text.size() < minDigits || text.size() > maxDigits)
        return std::nullopt;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > max)
        return std::nullopt;
    return v;
}

struct Date
{
    int year;
    int month;
    int day;
};

int daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// "yyyy-M-d" or "yyyy/M/d", one separator throughout.
std::optional<Date> dateParts(std::string_view text)
{
    if (text.size() < 8 || (text[4] != '-' && text[4] != '/'))
        return std::nullopt;
    const char sep = text[4];
    const std::string_view rest = text.substr(5);
    const std::size_t at = rest.find(sep);
    if (at == std::string_view::npos)
        return std::nullopt;
    const auto y = number(text.substr(0, 4), 4, 4, 9999);
    const auto m = number(rest.substr(0, at), 1, 2, 12);
    const auto d = number(rest.substr(at + 1), 1, 2, 31);
    if (!y || !m || !d || *y < 1970 || *m < 1 || *d < 1 || *d > daysInMonth(*y, *m))
        return std::nullopt;
    return Date{*y, *m, *d};
}

// Year, month, day, hour, minute and second of a broken-down time, in the order they compare.
using WallClock = std::array<int, 6>;

WallClock wallClock(const std::tm& tm)
{
    return {tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

WallClock shownAt(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return wallClock(tm);
}

// Seconds east of UTC of the local time at `t`.
long utcOffset(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm.tm_gmtoff;
}

// The first moment at which the local clock shows `wall` (its date fields may run over, as
// mktime allows) or a later time. The wall time read with the offset of the day before and with
// that of the day after gives the candidates (no offset reaches a day): where both are shown (the
// hour the clocks go back) the earlier counts, where neither is (the hour they skip) the moment
// of the jump lies between them.
std::time_t firstMomentShowing(std::tm wall)
{
    const std::time_t asUtc = ::timegm(&wall); // also brings the date fields into range
    const WallClock wanted = wallClock(wall);
    const std::time_t before = asUtc - utcOffset(asUtc - 86400);
    const std::time_t after = asUtc - utcOffset(asUtc + 86400);
    std::optional<std::time_t> first;
    for (std::time_t t : {before, after})
        if (shownAt(t) == wanted && (!first || t < *first))
            first = t;
    if (first)
        return *first;
    std::time_t lo = std::min(before, after);
    std::time_t hi = std::max(before, after);
    if (!(shownAt(lo) < wanted && wanted < shownAt(hi)))
        return before; // a zone that changes its clock twice in two days: the plain reading
    while (hi - lo > 1) {
        const std::time_t mid = lo + (hi - lo) / 2;
        (shownAt(mid) < wanted ? lo : hi) = mid;
    }
    return hi;
}

// The local date `days` after the local date of `t`, at the time of day `seconds`.
std::time_t atLocal(std::time_t t, int days, int seconds)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    tm.tm_mday += days;
    tm.tm_hour = seconds / 3600;
    tm.tm_min = seconds / 60 % 60;
    tm.tm_sec = seconds % 60;
    return firstMomentShowing(tm);
}

int weekday(std::time_t t)
{
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return tm.tm_wday; // 0 Sunday
}

std::string twoDigits(int v)
{
    return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

} // namespace

std::optional<int> parseTimeOfDay(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const std::string_view rest = text.substr(colon + 1);
    if (rest.size() != 2 && (rest.size() != 5 || rest[2] != ':'))
        return std::nullopt;
    const auto h = number(text.substr(0, colon), 1, 2, 23);
    const auto m = number(rest.substr(0, 2), 2, 2, 59);
    const auto s = rest.size() == 5 ? number(rest.substr(3), 2, 2, 59) : std::optional<int>(0);
    if (!h || !m || !s)
        return std::nullopt;
    return *h * 3600 + *m * 60 + *s;
}

std::optional<std::time_t> parseDate(std::string_view text)
{
    const auto date = dateParts(text);
    if (!date)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = date->year - 1900;
    tm.tm_mon = date->month - 1;
    tm.tm_mday = date->day;
    return firstMomentShowing(tm);
}

std::string canonicalTime(std::string_view text)
{
    const auto seconds = parseTimeOfDay(text);
    if (!seconds)
        return std::string(text);
    return twoDigits(*seconds / 3600) + ":" + twoDigits(*seconds / 60 % 60) + ":" + twoDigits(*seconds % 60);
}

std::string canonicalDate(std::string_view text)
{
    const auto date = dateParts(text);
    if (!date)
        return std::string(text);
    return std::to_string(date->year) + "-" + twoDigits(date->month) + "-" + twoDigits(date->day);
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
        if (m_state.cam(n).RecordMode != kRecordSchedule)
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
    const bool owns =
        ci.Recording && ci.RecordType == kRecordSchedule && e.Started && ci.ScheduleIndex == k && !e.Stopped;
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
    StartRecord(n, kRecordSchedule);
    ci.ScheduleIndex = k;
    if (m_state.WindowOpen[0])
        m_sv.windows->RefreshPanelText();
}

} // namespace pellucor
