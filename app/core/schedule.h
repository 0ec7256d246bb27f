// Recording schedule entries as spans of local time.
//
// An entry's times are "HH:mm:ss" and its dates "yyyy-MM-dd" (fixed forms, whatever the locale);
// the common other forms that profiles written elsewhere hold ("8:00", "2024/3/1") are read as
// well and stored in the fixed form when the profile is loaded.
// A week entry records on each selected weekday from its start time to its stop time; a stop
// time earlier in the day than the start time ends the span on the next day. A date entry
// records once, from its start date and time to its stop date and time.
//
// A time of day stands for the first moment the local clock shows it or a later time: on the
// night the clocks go forward a time inside the skipped hour comes when the clock jumps over it,
// and on the night they go back a time of the repeated hour comes the first time it is shown.
#pragma once

#include "app/core/app_state.h"

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace pellucor {

struct ScheduleSpan
{
    std::time_t start = 0;
    std::time_t end = 0; // exclusive
};

// Seconds since midnight of a time "H:mm" or "H:mm:ss", the hour of one or two digits ("8:00",
// "08:00:00"); nothing for any other text.
std::optional<int> parseTimeOfDay(std::string_view text);
// Local midnight of a date "yyyy-M-d" or "yyyy/M/d", month and day of one or two digits
// ("2024/3/1", "2024-03-01"); nothing for any other text or an impossible date.
std::optional<std::time_t> parseDate(std::string_view text);

// The fixed form ("HH:mm:ss", "yyyy-MM-dd") of a time or date that parses; any other text is
// returned as it stands, so that nothing is lost and the schedule list can show it as not valid.
std::string canonicalTime(std::string_view text);
std::string canonicalDate(std::string_view text);

// The span of `entry` that contains `now` (local time), if any. Entries whose mode is neither
// week (0) nor date (1), whose texts do not parse or whose span is empty have none.
std::optional<ScheduleSpan> activeSpan(const ScheduleInfo& entry, std::time_t now);

} // namespace pellucor
