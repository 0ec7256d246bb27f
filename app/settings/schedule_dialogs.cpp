#include "app/settings/schedule_dialogs.h"

#include "app/core/engine.h"
#include "app/settings/schedule_text.h"
#include "app/settings/settings_context.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace pellucor {

namespace {

constexpr int kMaxRows = kScheduleCount;

QTimeEdit* timePicker(QWidget* parent, const char* name)
{
    auto* t = new QTimeEdit(parent);
    t->setObjectName(name);
    t->setDisplayFormat("HH:mm");
    return t;
}

QDateEdit* datePicker(QWidget* parent, const char* name)
{
    auto* d = new QDateEdit(parent);
    d->setObjectName(name);
    d->setDisplayFormat(kDateForm);
    d->setCalendarPopup(true);
    return d;
}

QString timeText(const QTimeEdit* t)
{
    return QTime(t->time().hour(), t->time().minute(), 0).toString(kTimeForm);
}

bool sameEntry(const ScheduleInfo& a, const ScheduleInfo& b)
{
    if (a.MODE != b.MODE)
        return false;
    if (a.MODE == 0)
        return a.TimeStart == b.TimeStart && a.TimeStop == b.TimeStop && a.WeekOption == b.WeekOption;
    return a.DateStart == b.DateStart && a.TimeStart == b.TimeStart && a.DateStop == b.DateStop &&
           a.TimeStop == b.TimeStop;
}

} // namespace

ScheduleInfo ScheduleEntryResult::entry() const
{
    ScheduleInfo e;
    e.CHECK = true;
    e.MODE = EntryMode == 0 ? 0 : 1;
    e.TimeStart = StartTimeText.trimmed().toStdString();
    e.TimeStop = StopTimeText.trimmed().toStdString();
    if (e.MODE == 0) {
        e.WeekOption = WeekOption;
    } else {
        e.DateStart = StartDateText.toStdString();
        e.DateStop = StopDateText.toStdString();
    }
    return e;
}

// ---------------------------------------------------------------------------------------------
// Entry editor

ScheduleEntryEditor::ScheduleEntryEditor(DialogContext& context,
                                         std::function<std::vector<ScheduleInfo>()> rows,
                                         ScheduleEntryResult& result, QWidget* parent)
    : SetupDialog(context, "frmAddSchedule", parent), m_result(result), m_rows(std::move(rows))
{
    m_result.Cancelled = false;
    setObjectName("frmAddSchedule");
    setWindowTitle(tr2("Caption", "Add Schedule"));

    m_optDateMode = new QRadioButton(tr2("optDateMode", "Date Mode"), this);
    m_optDateMode->setObjectName("optDateMode");
    m_optWeekMode = new QRadioButton(tr2("optWeekMode", "Week Mode"), this);
    m_optWeekMode->setObjectName("optWeekMode");
    m_optDateMode->setChecked(true);
    // The two sit in different frames, where Qt would not make them exclusive by itself.
    auto* modes = new QButtonGroup(this);
    modes->addButton(m_optDateMode);
    modes->addButton(m_optWeekMode);

    m_DTStart = datePicker(this, "DTStart");
    m_DTStop = datePicker(this, "DTStop");
    m_DateTimeStart = timePicker(this, "DateTimeStart");
    m_DateTimeStop = timePicker(this, "DateTimeStop");
    m_TimeStart = timePicker(this, "TimeStart");
    m_TimeStop = timePicker(this, "TimeStop");

    auto* dateBox = new QGroupBox(this);
    auto* dateGrid = new QGridLayout(dateBox);
    dateGrid->addWidget(m_optDateMode, 0, 0, 1, 3);
    dateGrid->addWidget(new QLabel(tr2("lblDateModeStart", "Start:"), dateBox), 1, 0);
    dateGrid->addWidget(m_DTStart, 1, 1);
    dateGrid->addWidget(m_DateTimeStart, 1, 2);
    dateGrid->addWidget(new QLabel(tr2("lblDateModeStop", "Stop:"), dateBox), 2, 0);
    dateGrid->addWidget(m_DTStop, 2, 1);
    dateGrid->addWidget(m_DateTimeStop, 2, 2);

    auto* weekBox = new QGroupBox(this);
    auto* weekGrid = new QGridLayout(weekBox);
    weekGrid->addWidget(m_optWeekMode, 0, 0, 1, 7);
    for (int k = 0; k < 7; ++k) {
        auto* box = new QCheckBox(
            tr2("chkWeekDay" + std::to_string(k + 1), kBuiltInDayNames[static_cast<std::size_t>(k)]),
            weekBox);
        box->setObjectName(QString("chkWeekDay%1").arg(k + 1));
        m_chkWeekDay[static_cast<std::size_t>(k)] = box;
        weekGrid->addWidget(box, 1, k);
    }
    auto* weekTimes = new QHBoxLayout;
    weekTimes->addWidget(new QLabel(tr2("lblWeekStart", "Start:"), weekBox));
    weekTimes->addWidget(m_TimeStart);
    weekTimes->addWidget(new QLabel(tr2("lblWeekStop", "Stop:"), weekBox));
    weekTimes->addWidget(m_TimeStop);
    weekTimes->addStretch();
    weekGrid->addLayout(weekTimes, 2, 0, 1, 7);

    auto* ok = makeButton("cmdOK", "&OK");
    auto* cancel = makeButton("cmdCancel", "&Cancel");
    ok->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dateBox);
    layout->addWidget(weekBox);
    layout->addLayout(okCancelRow(ok, cancel));
    applyProgramFont();

    // Presets from now: start now, stop ten minutes later (which may be the next day).
    const QDateTime now = context.now ? context.now() : QDateTime::currentDateTime();
    const QDateTime later = now.addSecs(600);
    m_DTStart->setDate(now.date());
    m_DTStop->setDate(later.date());
    const QTime start(now.time().hour(), now.time().minute());
    const QTime stop(later.time().hour(), later.time().minute());
    m_DateTimeStart->setTime(start);
    m_TimeStart->setTime(start);
    m_DateTimeStop->setTime(stop);
    m_TimeStop->setTime(stop);

    connect(ok, &QPushButton::clicked, this, &ScheduleEntryEditor::ok);
    connect(cancel, &QPushButton::clicked, this, &ScheduleEntryEditor::onCancel);
}

void ScheduleEntryEditor::onCancel()
{
    m_result.Cancelled = true;
    done(Rejected);
}

void ScheduleEntryEditor::ok()
{
    m_result.Cancelled = false;
    if (!m_optWeekMode->isChecked()) {
        m_result.EntryMode = 1;
        m_result.StartDateText = m_DTStart->date().toString(kDateForm);
        m_result.StopDateText = m_DTStop->date().toString(kDateForm);
        m_result.StartTimeText = timeText(m_DateTimeStart);
        m_result.StopTimeText = timeText(m_DateTimeStop);
        m_result.WeekDayText.clear();
        m_result.WeekOption = 0;
        const qint64 days = m_DTStart->date().daysTo(m_DTStop->date());
        if (days < 0) {
            showMessage(3, MsgStyle::Plain);
            return;
        }
        if (days == 0) {
            const int seconds = QTime::fromString(m_result.StartTimeText, kTimeForm)
                                    .secsTo(QTime::fromString(m_result.StopTimeText, kTimeForm));
            if (seconds < 1) {
                showMessage(4, MsgStyle::Plain);
                return;
            }
        }
    } else {
        std::int32_t days = 0;
        for (int k = 0; k < 7; ++k)
            if (m_chkWeekDay[static_cast<std::size_t>(k)]->isChecked())
                days |= 1 << k;
        if (days == 0) {
            showMessage(1, MsgStyle::Exclamation);
            return;
        }
        m_result.EntryMode = 0;
        m_result.StartTimeText = timeText(m_TimeStart);
        m_result.StopTimeText = timeText(m_TimeStop);
        m_result.WeekOption = days;
        m_result.WeekDayText = weekDayText(scheduleNamesOf(texts()), days);
        m_result.StartDateText.clear();
        m_result.StopDateText.clear();
    }
    if (duplicate()) {
        showMessage(2, MsgStyle::Plain);
        return;
    }
    done(Accepted);
}

bool ScheduleEntryEditor::duplicate() const
{
    const ScheduleInfo candidate = m_result.entry();
    for (const ScheduleInfo& row : m_rows ? m_rows() : std::vector<ScheduleInfo>{})
        if (sameEntry(row, candidate))
            return true;
    return false;
}

// ---------------------------------------------------------------------------------------------
// List dialog

namespace {

enum Column
{
    colIndex,
    colMode,
    colStartDate,
    colStartTime,
    colStopDate,
    colStopTime,
    colDayOfWeek,
};

} // namespace

ScheduleDialog::ScheduleDialog(SettingsContext& context, int camera, ScheduleResult& result, QWidget* parent)
    : SetupDialog(context, "frmSchedule", parent), m_ctx(context), m_result(result), m_cam(camera)
{
    setObjectName("frmSchedule");
    m_names = scheduleNamesOf(WindowTexts::load(state(), "frmAddSchedule"));
    setWindowTitle(tr2("Caption", "Schedule"));

    m_list = new QTreeWidget(this);
    m_list->setObjectName("ListView1");
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setHeaderLabels({tr2("colIndex", "Index"), tr2("colMode", "Mode"),
                             tr2("colStartDate", "Start Date "), tr2("colStartTime", "Start Time "),
                             tr2("colStopDate", "Stop Date"), tr2("colStopTime", "Stop Time"),
                             tr2("colDayOfWeek", "Day of Week")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->setMinimumSize(640, 160);

    auto* add = makeButton("cmdAdd", "&Add");
    auto* del = makeButton("cmdDelete", "&Delete");
    auto* ok = makeButton("cmdOK", "&OK");
    auto* cancel = makeButton("cmdCancel", "&Cancel");
    auto* buttons = okCancelRow(ok, cancel);
    buttons->insertWidget(0, add);
    buttons->insertWidget(1, del);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addLayout(buttons);
    applyProgramFont();

    const CamInfo& cam = state().cam(m_cam);
    const int count = std::clamp(cam.ScheduleCount, 0, kScheduleCount);
    for (int i = 1; i <= count; ++i)
        addRow({cam.Schedule(i), i});

    connect(add, &QPushButton::clicked, this, &ScheduleDialog::add);
    connect(del, &QPushButton::clicked, this, &ScheduleDialog::remove);
    connect(ok, &QPushButton::clicked, this, &ScheduleDialog::ok);
    connect(cancel, &QPushButton::clicked, this, &ScheduleDialog::reject);
}

ScheduleDialog::~ScheduleDialog() = default;

void ScheduleDialog::addRow(const Row& row)
{
    m_rows.push_back(row);
    const ScheduleInfo& e = row.entry;
    auto* item = new QTreeWidgetItem(m_list);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(colIndex, e.CHECK ? Qt::Checked : Qt::Unchecked);
    item->setText(colMode, modeName(m_names, e.MODE));
    const QString notValid = tr2("strNotValid", kBuiltInNotValid);
    item->setText(colStartTime, scheduleTimeCell(e.TimeStart, notValid));
    item->setText(colStopTime, scheduleTimeCell(e.TimeStop, notValid));
    if (e.MODE == 0) {
        item->setText(colDayOfWeek, weekDayText(m_names, e.WeekOption));
    } else {
        item->setText(colStartDate, scheduleDateCell(e.DateStart, notValid));
        item->setText(colStopDate, scheduleDateCell(e.DateStop, notValid));
    }
    renumber();
}

void ScheduleDialog::renumber()
{
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        item->setText(colIndex, QString::number(i + 1));
        item->setData(colIndex, Qt::UserRole, QString("a%1").arg(i + 1)); // the row's key
    }
}

std::vector<ScheduleInfo> ScheduleDialog::rowEntries() const
{
    std::vector<ScheduleInfo> out;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        ScheduleInfo e = m_rows[i].entry;
        e.CHECK = m_list->topLevelItem(static_cast<int>(i))->checkState(colIndex) == Qt::Checked;
        out.push_back(e);
    }
    return out;
}

void ScheduleDialog::add()
{
    if (m_list->topLevelItemCount() >= kMaxRows) {
        showMessage(1, MsgStyle::Plain);
        return;
    }
    // After a Cancel the editor stays, with the values last entered.
    if (!m_editor)
        m_editor = std::make_unique<ScheduleEntryEditor>(
            context(), [this] { return rowEntries(); }, m_editorResult, this);
    runChild(*m_editor);
    if (m_editorResult.Cancelled)
        return;
    addRow({m_editorResult.entry(), 0});
    m_editor.reset();
}

void ScheduleDialog::remove()
{
    QTreeWidgetItem* item = m_list->currentItem();
    if (!item)
        return;
    const int p = m_list->indexOfTopLevelItem(item);
    if (p < 0)
        return;
    delete m_list->takeTopLevelItem(p);
    m_rows.erase(m_rows.begin() + p);
    renumber();
}

void ScheduleDialog::ok()
{
    const std::vector<ScheduleInfo> entries = rowEntries();
    m_result.edits.clear();
    for (std::size_t i = 0; i < entries.size(); ++i)
        m_result.edits.push_back({entries[i], m_rows[i].tag});
    m_ctx.engine.applyScheduleEntries(m_cam, m_result.edits);
    m_result.Cancelled = false;
    m_ctx.save(this);
    done(Accepted);
}

} // namespace pellucor
