// The text forms of schedule entries that the schedule dialogs show and compare.
//
// Dates are "yyyy-MM-dd" and times "HH:mm:ss", the forms the schedule timer parses, whatever the
// locale. Day and mode names come from the pack's entry editor section (ScheduleNames); a name
// the pack did not give shows as its built-in English word. Names are for display only: the
// dialogs keep each row's mode and days as data.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <string>

namespace pellucor {

class WindowTexts;

inline constexpr const char* kDateForm = "yyyy-MM-dd";
inline constexpr const char* kTimeForm = "HH:mm:ss";

// Built-in day names, Sunday first, and mode names (0 week, 1 date).
extern const std::array<const char*, 7> kBuiltInDayNames;
extern const std::array<const char*, 2> kBuiltInModeNames;

// Day names (Sunday first) and mode names (0 week, 1 date) of the schedule dialogs; empty when
// the pack has no text file.
struct ScheduleNames
{
    std::array<std::string, 7> WeekDayNames{};
    std::array<std::string, 2> ScheduleModeNames{};
};

// The names that the entry editor's section (frmAddSchedule) of the pack gives.
ScheduleNames scheduleNamesOf(const WindowTexts& editorTexts);

QString dayName(const ScheduleNames& names, int day); // day 0 Sunday .. 6 Saturday
QString modeName(const ScheduleNames& names, std::int32_t mode);

// The days of `weekOption` (bit 0 Sunday .. bit 6 Saturday), Sunday to Saturday, each name
// followed by one blank except Saturday's.
QString weekDayText(const ScheduleNames& names, std::int32_t weekOption);

// The mark of a date or time that the schedule cannot read: its entry never starts a recording.
inline constexpr const char* kBuiltInNotValid = "not valid";

// A time or date cell of the schedule list: the entry's text when the schedule can read it,
// otherwise the text followed by `notValid` in parentheses ("25:00 (not valid)"). An empty
// `notValid` (a pack without the text) gives the built-in mark.
QString scheduleTimeCell(const std::string& text, const QString& notValid);
QString scheduleDateCell(const std::string& text, const QString& notValid);

} // namespace pellucor
