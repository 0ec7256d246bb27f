// The recording schedule of one camera: the list dialog (frmSchedule) and its entry editor
// (frmAddSchedule).
//
// The list keeps each row's entry (mode, days, dates, times) as data beside the row; the texts
// of its columns are only shown, so names missing from the pack never change an entry. Nothing
// reaches the camera record before OK: a deletion, even of the running entry, is undone by
// Cancel. OK returns the rows (ScheduleResult::edits) and the engine stores them
// (Engine::applyScheduleEntries), which renumbers ScheduleIndex to the running entry's new
// position (0 when its row was deleted); then the profile is saved.
#pragma once

#include "app/core/engine.h"
#include "app/settings/schedule_text.h"
#include "app/setup/setup_dialog.h"

#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QDateEdit;
class QRadioButton;
class QTimeEdit;
class QTreeWidget;

namespace pellucor {

struct SettingsContext;

// What the editor hands back (its public members).
struct ScheduleEntryResult
{
    bool Cancelled = false;
    std::int32_t EntryMode = 1; // 1 date mode, 0 week mode
    QString StartTimeText;
    QString StopTimeText;
    QString WeekDayText;
    QString StartDateText;
    QString StopDateText;
    std::int32_t WeekOption = 0; // the checked days as bits, week mode

    // The entry as the record keeps it (CHECK set, run-time flags clear).
    ScheduleInfo entry() const;
};

class ScheduleEntryEditor : public SetupDialog
{
    Q_OBJECT

public:
    // `rows` gives the list's entries for the duplicate test at the time of OK.
    ScheduleEntryEditor(DialogContext& context, std::function<std::vector<ScheduleInfo>()> rows,
                        ScheduleEntryResult& result, QWidget* parent = nullptr);

protected:
    void onCancel() override;

private:
    void ok();
    bool duplicate() const;

    ScheduleEntryResult& m_result;
    std::function<std::vector<ScheduleInfo>()> m_rows;
    QRadioButton* m_optDateMode = nullptr;
    QRadioButton* m_optWeekMode = nullptr;
    QDateEdit* m_DTStart = nullptr;
    QDateEdit* m_DTStop = nullptr;
    QTimeEdit* m_DateTimeStart = nullptr;
    QTimeEdit* m_DateTimeStop = nullptr;
    QTimeEdit* m_TimeStart = nullptr;
    QTimeEdit* m_TimeStop = nullptr;
    std::array<QCheckBox*, 7> m_chkWeekDay{};
};

struct ScheduleResult
{
    bool Cancelled = true;
    std::vector<ScheduleEdit> edits; // what OK stored, in list order
};

class ScheduleDialog : public SetupDialog
{
    Q_OBJECT

public:
    ScheduleDialog(SettingsContext& context, int camera, ScheduleResult& result, QWidget* parent = nullptr);
    ~ScheduleDialog() override;

    // The rows' entries in list order, with their check marks.
    std::vector<ScheduleInfo> rowEntries() const;
    // The day and mode names that the rows show, read from the pack when the dialog was built.
    const ScheduleNames& names() const { return m_names; }

private:
    struct Row
    {
        ScheduleInfo entry;
        int tag = 0; // entry number in the record when loaded, 0 for a new row
    };
    void addRow(const Row& row);
    void renumber();
    void add();
    void remove();
    void ok();

    SettingsContext& m_ctx;
    ScheduleResult& m_result;
    int m_cam = 1;
    ScheduleNames m_names;
    QTreeWidget* m_list = nullptr;
    std::vector<Row> m_rows;
    std::unique_ptr<ScheduleEntryEditor> m_editor;
    ScheduleEntryResult m_editorResult;
};

} // namespace pellucor
