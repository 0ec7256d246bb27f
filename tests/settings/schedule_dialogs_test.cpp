// The schedule list and its entry editor over a real profile in a temporary home.
#include "settings_test_support.h"

#include "app/core/ini_store.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>

using namespace settingstest;

namespace {

ScheduleInfo week(std::int32_t days, const char* start, const char* stop, bool check = true)
{
    ScheduleInfo e;
    e.CHECK = check;
    e.MODE = 0;
    e.WeekOption = days;
    e.TimeStart = start;
    e.TimeStop = stop;
    return e;
}

ScheduleInfo dated(const char* d1, const char* t1, const char* d2, const char* t2)
{
    ScheduleInfo e;
    e.CHECK = true;
    e.MODE = 1;
    e.DateStart = d1;
    e.TimeStart = t1;
    e.DateStop = d2;
    e.TimeStop = t2;
    return e;
}

QTreeWidget& list(QWidget& d)
{
    return find<QTreeWidget>(d, "ListView1");
}

std::vector<std::string> column(QWidget& d, int c)
{
    std::vector<std::string> out;
    for (int i = 0; i < list(d).topLevelItemCount(); ++i)
        out.push_back(list(d).topLevelItem(i)->text(c).toStdString());
    return out;
}

// Selects row `index` (from 0) and presses Delete.
void deleteRow(QWidget& d, int index)
{
    list(d).setCurrentItem(list(d).topLevelItem(index));
    click(d, "cmdDelete");
}

bool sameEntry(const ScheduleInfo& a, const ScheduleInfo& b)
{
    return a.CHECK == b.CHECK && a.MODE == b.MODE && a.TimeStart == b.TimeStart && a.TimeStop == b.TimeStop &&
           a.WeekOption == b.WeekOption && a.DateStart == b.DateStart && a.DateStop == b.DateStop &&
           a.Started == b.Started && a.Stopped == b.Stopped;
}

// Four entries; entry 3 runs (ScheduleIndex 3) and has started.
void fourEntries(AppState& s)
{
    CamInfo& c = s.cam(1);
    c.ScheduleCount = 4;
    c.Schedule(1) = week(65, "08:00:00", "09:00:00");
    c.Schedule(2) = week(62, "10:00:00", "11:00:00", false);
    c.Schedule(3) = dated("2026-03-10", "11:00:00", "2026-03-11", "06:00:00");
    c.Schedule(3).Started = true;
    c.Schedule(4) = week(2, "22:00:00", "06:00:00");
    c.Schedule(4).Stopped = true;
    c.ScheduleIndex = 3;
}

// The list dialog open over fourEntries.
struct FourEntries
{
    FourEntries() : before(init(rig)), d(rig.context, rig.state().CurCam, result) { d.show(); }
    static std::array<ScheduleInfo, kScheduleCount> init(Rig& r)
    {
        fourEntries(r.state());
        return r.state().cam(1).schedules;
    }
    Rig rig;
    std::array<ScheduleInfo, kScheduleCount> before;
    ScheduleResult result;
    ScheduleDialog d;
};

TEST(ScheduleList, RowsShowTheRecordWithPackNames)
{
    Rig rig;
    fourEntries(rig.state());
    ScheduleResult result;
    ScheduleDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    EXPECT_EQ(column(d, 0), (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(column(d, 1), (std::vector<std::string>{"Week Mode", "Week Mode", "Date Mode", "Week Mode"}));
    EXPECT_EQ(column(d, 6), (std::vector<std::string>{"Sun Sat", "Mon Tue Wed Thu Fri ", "", "Mon "}));
    EXPECT_EQ(column(d, 2), (std::vector<std::string>{"", "", "2026-03-10", ""}));
    EXPECT_EQ(column(d, 5), (std::vector<std::string>{"09:00:00", "11:00:00", "06:00:00", "06:00:00"}));
    EXPECT_EQ(list(d).topLevelItem(1)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(d.names().WeekDayNames[6], "Sat");
    EXPECT_EQ(d.names().ScheduleModeNames[1], "Date Mode");
    EXPECT_EQ(list(d).headerItem()->text(6), "Days of the week");
    saveScreenshot(d, "schedule-list.png");
}

// A date or time the schedule cannot read (kept from a profile written elsewhere) is shown as not
// valid, in the pack's words or the built-in ones; OK keeps it as it was written.
TEST(ScheduleList, DatesAndTimesTheScheduleCannotReadShowAsNotValid)
{
    for (bool withPack : {true, false}) {
        SCOPED_TRACE(withPack);
        Rig rig(withPack);
        CamInfo& c = rig.state().cam(1);
        c.ScheduleCount = 3;
        c.Schedule(1) = week(2, "25:00", "09:00:00");
        c.Schedule(2) = dated("2024/02/30", "08:00:00", "2024-03-01", "8:5");
        c.Schedule(3) = dated("2026-03-10", "11:00:00", "", "06:00:00");
        const auto before = c.schedules;
        ScheduleResult result;
        ScheduleDialog d(rig.context, rig.state().CurCam, result);
        d.show();
        EXPECT_EQ(column(d, 2), (std::vector<std::string>{"", "2024/02/30 (not valid)", "2026-03-10"}));
        EXPECT_EQ(column(d, 3), (std::vector<std::string>{"25:00 (not valid)", "08:00:00", "11:00:00"}));
        EXPECT_EQ(column(d, 4), (std::vector<std::string>{"", "2024-03-01", "(not valid)"}));
        EXPECT_EQ(column(d, 5), (std::vector<std::string>{"09:00:00", "8:5 (not valid)", "06:00:00"}));
        if (withPack)
            saveScreenshot(d, "schedule-list-not-valid.png");
        click(d, "cmdOK");
        for (int k = 1; k <= 3; ++k)
            EXPECT_TRUE(sameEntry(c.Schedule(k), before[static_cast<std::size_t>(k - 1)])) << k;
    }
}

TEST(ScheduleList, DeleteRowTwoOfFourThenOkWritesThreeEntriesAndIndexTwo)
{
    FourEntries f;
    auto& [rig, before, result, d] = f;
    deleteRow(d, 1);
    EXPECT_EQ(column(d, 0), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(list(d).topLevelItem(2)->data(0, Qt::UserRole).toString(), "a3");
    // Nothing reaches the record before OK.
    EXPECT_EQ(rig.state().cam(1).ScheduleIndex, 3);
    EXPECT_EQ(rig.state().cam(1).ScheduleCount, 4);
    click(d, "cmdOK");
    EXPECT_FALSE(result.Cancelled);
    const CamInfo& c = rig.state().cam(1);
    EXPECT_EQ(c.ScheduleCount, 3);
    EXPECT_EQ(c.ScheduleIndex, 2);
    EXPECT_TRUE(sameEntry(c.Schedule(1), before[0]));
    EXPECT_TRUE(sameEntry(c.Schedule(2), before[2])); // keeps Started
    EXPECT_TRUE(sameEntry(c.Schedule(3), before[3])); // keeps Stopped
    EXPECT_TRUE(sameEntry(c.Schedule(4), before[3])); // beyond the count: as it was
    // The profile on disk holds the three entries.
    IniStore ini;
    ini.SetFileName(rig.profile());
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.ReadValue("Cam1", "ScheduleCount").value_or(""), "3");
    EXPECT_EQ(ini.ReadValue("Cam1", "SCHEDULE2_DateStart").value_or(""), "2026-03-10");
    EXPECT_EQ(ini.ReadValue("Cam1", "SCHEDULE3_WeekOption").value_or(""), "2");
}

TEST(ScheduleList, DeletingTheRunningEntryClearsTheIndexOnlyOnOk)
{
    for (bool ok : {false, true}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        FourEntries f;
        auto& [rig, before, result, d] = f;
        deleteRow(d, 0);
        deleteRow(d, 1); // the running entry, now second
        EXPECT_EQ(rig.state().cam(1).ScheduleIndex, 3);
        click(d, ok ? "cmdOK" : "cmdCancel");
        EXPECT_EQ(result.Cancelled, !ok);
        const CamInfo& c = rig.state().cam(1);
        EXPECT_EQ(c.ScheduleIndex, ok ? 0 : 3);
        EXPECT_EQ(c.ScheduleCount, ok ? 2 : 4);
        if (!ok) {
            for (int k = 1; k <= 4; ++k)
                EXPECT_TRUE(sameEntry(c.Schedule(k), before[static_cast<std::size_t>(k - 1)]));
            EXPECT_FALSE(std::filesystem::exists(rig.profile()));
        }
    }
}

TEST(ScheduleList, WithoutTheLanguageFileEveryEntrySurvivesOkUnchanged)
{
    Rig rig(false);
    fourEntries(rig.state());
    const auto before = rig.state().cam(1).schedules;
    ScheduleResult result;
    ScheduleDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    EXPECT_TRUE(d.names().ScheduleModeNames[0].empty());
    EXPECT_EQ(list(d).topLevelItem(2)->text(1), "Date Mode"); // shown with the built-in name
    EXPECT_EQ(list(d).headerItem()->text(6), "Day of Week");
    click(d, "cmdOK");
    const CamInfo& c = rig.state().cam(1);
    EXPECT_EQ(c.ScheduleCount, 4);
    EXPECT_EQ(c.ScheduleIndex, 3);
    for (int k = 1; k <= 4; ++k)
        EXPECT_TRUE(sameEntry(c.Schedule(k), before[static_cast<std::size_t>(k - 1)])) << k;
}

TEST(ScheduleList, OkWhileScheduleRecordingStopsItFirst)
{
    Rig rig;
    fourEntries(rig.state());
    CamInfo& c = rig.state().cam(1);
    c.RecordMode = kRecordSchedule;
    c.Recording = true;
    c.RecordType = kRecordSchedule;
    rig.engine.cam(1).setStatus(4);
    ScheduleResult result;
    ScheduleDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    const auto from = rig.mark();
    click(d, "cmdOK");
    EXPECT_EQ(rig.lines("Cam(1).StopRecording", from).size(), 1u);
    EXPECT_FALSE(c.Recording);
}

TEST(ScheduleList, AddThroughTheEditorThenOkWritesANewEntryWithClearFlags)
{
    Rig rig;
    CamInfo& c = rig.state().cam(1);
    c.ScheduleCount = 1;
    c.Schedule(1) = week(65, "08:00:00", "09:00:00");
    c.Schedule(2) = week(4, "01:00:00", "02:00:00");
    c.Schedule(2).Started = c.Schedule(2).Stopped = true; // left over in the slot
    ScheduleResult result;
    ScheduleDialog d(rig.context, rig.state().CurCam, result);
    d.show();

    ModalDriver driver;
    // First Add: cancelled after changing the start time; the second shows the same values.
    driver.then<ScheduleEntryEditor>([](ScheduleEntryEditor& e) {
        find<QTimeEdit>(e, "DateTimeStart").setTime(QTime(7, 15));
        clickLater(e, "cmdCancel");
    });
    driver.then<ScheduleEntryEditor>([](ScheduleEntryEditor& e) {
        EXPECT_EQ(find<QTimeEdit>(e, "DateTimeStart").time(), QTime(7, 15));
        find<QTimeEdit>(e, "DateTimeStop").setTime(QTime(9, 30));
        clickLater(e, "cmdOK");
    });
    click(d, "cmdAdd");
    EXPECT_EQ(list(d).topLevelItemCount(), 1);
    click(d, "cmdAdd");
    ASSERT_TRUE(driver.done());
    ASSERT_EQ(list(d).topLevelItemCount(), 2);
    EXPECT_EQ(list(d).topLevelItem(1)->text(1), "Date Mode");
    EXPECT_EQ(list(d).topLevelItem(1)->text(2), "2026-03-10");
    EXPECT_EQ(list(d).topLevelItem(1)->text(3), "07:15:00");
    EXPECT_EQ(list(d).topLevelItem(1)->checkState(0), Qt::Checked);

    // A third Add starts from the presets again (the accepted editor was destroyed).
    ModalDriver again;
    again.then<ScheduleEntryEditor>([](ScheduleEntryEditor& e) {
        EXPECT_EQ(find<QTimeEdit>(e, "DateTimeStart").time(), QTime(12, 0));
        clickLater(e, "cmdCancel");
    });
    click(d, "cmdAdd");
    ASSERT_TRUE(again.done());

    click(d, "cmdOK");
    EXPECT_EQ(c.ScheduleCount, 2);
    EXPECT_EQ(c.Schedule(2).MODE, 1);
    EXPECT_EQ(c.Schedule(2).DateStart, "2026-03-10");
    EXPECT_EQ(c.Schedule(2).TimeStart, "07:15:00");
    EXPECT_EQ(c.Schedule(2).TimeStop, "09:30:00");
    EXPECT_EQ(c.Schedule(2).WeekOption, 0);
    EXPECT_FALSE(c.Schedule(2).Started);
    EXPECT_FALSE(c.Schedule(2).Stopped);
}

TEST(ScheduleList, ASixthRowIsRefusedWithMessage1)
{
    Rig rig;
    CamInfo& c = rig.state().cam(1);
    c.ScheduleCount = 5;
    for (int k = 1; k <= 5; ++k)
        c.Schedule(k) = week(1 << k, "08:00:00", "09:00:00");
    ScheduleResult result;
    ScheduleDialog d(rig.context, rig.state().CurCam, result);
    d.show();
    click(d, "cmdAdd"); // no editor opens: the click returns
    EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{"The schedule holds at most five entries."});
    EXPECT_EQ(list(d).topLevelItemCount(), 5);
}

// The editor on its own, over a list of existing rows.
struct EditorCase
{
    const char* what;
    bool weekMode;
    int days; // week mode
    QDate d1, d2;
    QTime t1, t2;
    const char* message; // nullptr: accepted
};

TEST(ScheduleEditor, RefusesItsFourCasesAndAcceptsTheEdges)
{
    const QDate day(2026, 3, 10);
    const EditorCase cases[] = {
        {"week without a day", true, 0, day, day, QTime(8, 0), QTime(9, 0),
         "Choose at least one day of the week."},
        {"same week entry twice", true, 65, day, day, QTime(8, 0), QTime(9, 0),
         "The schedule already holds this entry."},
        {"stop date before start", false, 0, day, day.addDays(-1), QTime(8, 0), QTime(9, 0),
         "The stop date lies before the start date."},
        {"same date, equal times", false, 0, day, day, QTime(8, 0), QTime(8, 0),
         "The stop time must come after the start time."},
        {"same date, stop earlier", false, 0, day, day, QTime(9, 0), QTime(8, 0),
         "The stop time must come after the start time."},
        {"same date entry twice", false, 0, day, day.addDays(1), QTime(11, 0), QTime(6, 0),
         "The schedule already holds this entry."},
        {"one minute later", false, 0, day, day, QTime(8, 0), QTime(8, 1), nullptr},
        {"next day, earlier time", false, 0, day, day.addDays(1), QTime(22, 0), QTime(6, 0), nullptr},
        {"week over midnight", true, 64, day, day, QTime(22, 0), QTime(6, 0), nullptr},
        {"week row's times, other days", true, 1, day, day, QTime(8, 0), QTime(9, 0), nullptr},
        // A date entry with a week row's times is no duplicate, nor the reverse.
        {"date with a week row's times", false, 0, day, day, QTime(8, 0), QTime(9, 0), nullptr},
    };
    for (const EditorCase& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        const std::vector<ScheduleInfo> rows{week(65, "08:00:00", "09:00:00"),
                                             dated("2026-03-10", "11:00:00", "2026-03-11", "06:00:00")};
        ScheduleEntryResult result;
        ScheduleEntryEditor e(
            rig.context, [&] { return rows; }, result);
        e.show();
        if (c.weekMode) {
            find<QRadioButton>(e, "optWeekMode").setChecked(true);
            for (int k = 0; k < 7; ++k)
                find<QCheckBox>(e, ("chkWeekDay" + std::to_string(k + 1)).c_str())
                    .setChecked(c.days & (1 << k));
            find<QTimeEdit>(e, "TimeStart").setTime(c.t1);
            find<QTimeEdit>(e, "TimeStop").setTime(c.t2);
        } else {
            find<QDateEdit>(e, "DTStart").setDate(c.d1);
            find<QDateEdit>(e, "DTStop").setDate(c.d2);
            find<QTimeEdit>(e, "DateTimeStart").setTime(c.t1);
            find<QTimeEdit>(e, "DateTimeStop").setTime(c.t2);
        }
        click(e, "cmdOK");
        if (c.message) {
            EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{c.message});
            EXPECT_TRUE(e.isVisible());
        } else {
            EXPECT_TRUE(rig.prompts.boxes.empty()) << rig.prompts.boxes[0].text;
            EXPECT_FALSE(e.isVisible());
            EXPECT_FALSE(result.Cancelled);
        }
    }
}

TEST(ScheduleEditor, WeekDayTextAndPresetsAcrossMidnight)
{
    Rig rig;
    rig.context.now = [] { return QDateTime(QDate(2026, 12, 31), QTime(23, 55)); };
    ScheduleEntryResult result;
    ScheduleEntryEditor e(rig.context, {}, result);
    e.show();
    EXPECT_EQ(find<QDateEdit>(e, "DTStart").date(), QDate(2026, 12, 31));
    EXPECT_EQ(find<QDateEdit>(e, "DTStop").date(), QDate(2027, 1, 1));
    EXPECT_EQ(find<QTimeEdit>(e, "DateTimeStop").time(), QTime(0, 5));
    EXPECT_EQ(find<QTimeEdit>(e, "TimeStop").time(), QTime(0, 5));
    EXPECT_TRUE(find<QRadioButton>(e, "optDateMode").isChecked());
    saveScreenshot(e, "schedule-editor.png");

    find<QRadioButton>(e, "optWeekMode").setChecked(true);
    find<QCheckBox>(e, "chkWeekDay1").setChecked(true);
    find<QCheckBox>(e, "chkWeekDay2").setChecked(true);
    click(e, "cmdOK");
    EXPECT_EQ(result.WeekDayText, "Sun Mon ");
    EXPECT_EQ(result.WeekOption, 3);
    EXPECT_EQ(result.EntryMode, 0);

    ScheduleEntryResult second;
    ScheduleEntryEditor e2(rig.context, {}, second);
    e2.show();
    find<QRadioButton>(e2, "optWeekMode").setChecked(true);
    find<QCheckBox>(e2, "chkWeekDay7").setChecked(true);
    click(e2, "cmdOK");
    EXPECT_EQ(second.WeekDayText, "Sat");
    e2.close();
}

// A mouse click on an option button's or a check box's indicator, where the user clicks.
void clickIndicator(QAbstractButton& b)
{
    QStyleOptionButton option;
    option.initFrom(&b);
    const bool radio = qobject_cast<QRadioButton*>(&b) != nullptr;
    const QRect indicator = b.style()->subElementRect(
        radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, &b);
    QTest::mouseClick(&b, Qt::LeftButton, Qt::NoModifier, indicator.center());
}

// The two modes sit in two frames; clicking one must clear the other, in any order.
TEST(ScheduleEditor, ClickingAModeClearsTheOtherAndOkTakesTheClickedOne)
{
    struct Case
    {
        std::vector<const char*> clicks;
        std::int32_t mode; // the entry OK hands back
        const char* screenshot;
    };
    const Case cases[] = {
        {{"optWeekMode", "optDateMode"}, 1, "schedule-editor-date-after-week.png"},
        {{"optWeekMode"}, 0, nullptr},
        {{"optWeekMode", "optDateMode", "optWeekMode"}, 0, nullptr},
        {{"optDateMode", "optWeekMode", "optDateMode"}, 1, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clicks.size());
        Rig rig;
        ScheduleEntryResult result;
        ScheduleEntryEditor e(rig.context, {}, result);
        e.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&e));
        auto& date = find<QRadioButton>(e, "optDateMode");
        auto& week = find<QRadioButton>(e, "optWeekMode");
        for (const char* name : c.clicks) {
            clickIndicator(find<QRadioButton>(e, name));
            EXPECT_EQ(date.isChecked(), std::string(name) == "optDateMode") << name;
            EXPECT_EQ(week.isChecked(), std::string(name) == "optWeekMode") << name;
        }
        // A day is ticked in both cases: the mode alone decides which group OK reads.
        clickIndicator(find<QCheckBox>(e, "chkWeekDay2"));
        if (c.screenshot) {
            EXPECT_TRUE(saveScreenshot(e, c.screenshot));
        }
        QTest::mouseClick(&find<QPushButton>(e, "cmdOK"), Qt::LeftButton);
        EXPECT_EQ(rig.prompts.texts(), std::vector<std::string>{});
        EXPECT_FALSE(e.isVisible());
        EXPECT_FALSE(result.Cancelled);
        EXPECT_EQ(result.EntryMode, c.mode);
        if (c.mode == 1) {
            EXPECT_EQ(result.StartDateText, "2026-03-10");
            EXPECT_EQ(result.StartTimeText, "12:00:00");
            EXPECT_EQ(result.StopTimeText, "12:10:00");
            EXPECT_EQ(result.WeekDayText, "");
        } else {
            EXPECT_EQ(result.WeekDayText, "Mon ");
            EXPECT_EQ(result.WeekOption, 2);
            EXPECT_EQ(result.StartDateText, "");
        }
    }
}

TEST(ScheduleEditor, CancelAndTheCloseBoxSetCancelled)
{
    Rig rig;
    for (bool closeBox : {false, true}) {
        ScheduleEntryResult result;
        ScheduleEntryEditor e(rig.context, {}, result);
        e.show();
        EXPECT_FALSE(result.Cancelled);
        if (closeBox)
            e.close();
        else
            click(e, "cmdCancel");
        EXPECT_TRUE(result.Cancelled);
        EXPECT_FALSE(e.isVisible());
    }
}

} // namespace
