#include "app/settings/schedule_text.h"

#include "app/core/schedule.h"
#include "app/setup/window_texts.h"

namespace pellucor {

const std::array<const char*, 7> kBuiltInDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const std::array<const char*, 2> kBuiltInModeNames{"Week Mode", "Date Mode"};

ScheduleNames scheduleNamesOf(const WindowTexts& editorTexts)
{
    ScheduleNames names;
    if (!editorTexts.present())
        return names;
    for (int k = 0; k < 7; ++k)
        names.WeekDayNames[static_cast<std::size_t>(k)] =
            editorTexts.text("chkWeekDay" + std::to_string(k + 1), {}).toStdString();
    names.ScheduleModeNames[0] = editorTexts.text("optWeekMode", {}).toStdString();
    names.ScheduleModeNames[1] = editorTexts.text("optDateMode", {}).toStdString();
    return names;
}

QString dayName(const ScheduleNames& names, int day)
{
    const std::string& name = names.WeekDayNames.at(static_cast<std::size_t>(day));
    return name.empty() ? QString(kBuiltInDayNames.at(static_cast<std::size_t>(day)))
                        : QString::fromStdString(name);
}

QString modeName(const ScheduleNames& names, std::int32_t mode)
{
    const std::size_t k = mode == 0 ? 0 : 1;
    const std::string& name = names.ScheduleModeNames.at(k);
    return name.empty() ? QString(kBuiltInModeNames.at(k)) : QString::fromStdString(name);
}

QString weekDayText(const ScheduleNames& names, std::int32_t weekOption)
{
    QString text;
    for (int day = 0; day < 7; ++day) {
        if (!(weekOption & (1 << day)))
            continue;
        text += dayName(names, day);
        if (day < 6)
            text += ' ';
    }
    return text;
}

namespace {

QString cell(const std::string& text, bool readable, const QString& notValid)
{
    const QString shown = QString::fromStdString(text);
    if (readable)
        return shown;
    const QString mark = "(" + (notValid.isEmpty() ? QString(kBuiltInNotValid) : notValid) + ")";
    return shown.isEmpty() ? mark : shown + " " + mark;
}

} // namespace

QString scheduleTimeCell(const std::string& text, const QString& notValid)
{
    return cell(text, parseTimeOfDay(text).has_value(), notValid);
}

QString scheduleDateCell(const std::string& text, const QString& notValid)
{
    return cell(text, parseDate(text).has_value(), notValid);
}

} // namespace pellucor
