#include "app/setup/progress_window.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace pellucor {

std::int32_t progressStep(std::int32_t opTimeMs, std::int32_t intervalMs)
{
    const double interval = std::max(1, intervalMs);
    const double ticks = std::max(1.0, opTimeMs / interval);
    return std::max<std::int32_t>(1,
                                  static_cast<std::int32_t>(std::lrint(ProgressWindow::kBarMaximum / ticks)));
}

QString percentText(std::uint64_t part, std::uint64_t whole)
{
    const long pct =
        whole == 0 ? 0 : std::lrint(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    return QString::number(pct) + "%";
}

namespace {

// The percent text: never narrower than "100%" in whatever font it is given later.
class PercentLabel : public QLabel
{
public:
    using QLabel::QLabel;
    QSize minimumSizeHint() const override { return widest(QLabel::minimumSizeHint()); }
    QSize sizeHint() const override { return widest(QLabel::sizeHint()); }

private:
    QSize widest(QSize s) const
    {
        const QMargins m = contentsMargins();
        const int full =
            fontMetrics().horizontalAdvance(QStringLiteral("100%")) + 2 * margin() + m.left() + m.right() + 2;
        s.setWidth(std::max(s.width(), full));
        return s;
    }
};

} // namespace

ProgressWidgets buildProgressWidgets(QWidget& window, const QString& completeText)
{
    ProgressWidgets w;
    w.percent = new PercentLabel("Label1", &window);
    w.percent->setObjectName("lblProgress");
    w.complete = new QLabel(completeText, &window);
    w.complete->setObjectName("lblComplete");
    w.bar = new QProgressBar(&window);
    w.bar->setObjectName("progressbar");
    w.bar->setRange(0, ProgressWindow::kBarMaximum);
    w.bar->setTextVisible(false);
    auto* row = new QHBoxLayout;
    row->addWidget(w.percent);
    row->addWidget(w.complete);
    row->addStretch();
    auto* layout = new QVBoxLayout(&window);
    layout->addLayout(row);
    layout->addWidget(w.bar);
    window.setMinimumWidth(320);
    return w;
}

ProgressWindow::ProgressWindow(DialogContext& context, std::int32_t opTimeMs, QWidget* parent,
                               std::int32_t intervalMs)
    : SetupDialog(context, "frmProgress", parent), m_opTime(opTimeMs)
{
    setObjectName("frmProgress");
    setWindowTitle(tr2("Caption", "Pellucor"));
    m_widgets = buildProgressWidgets(*this, tr2("lblComplete", "Complete"));
    applyProgramFont();

    m_timer.setInterval(std::max(1, intervalMs));
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
}

void ProgressWindow::onActivate()
{
    m_widgets.bar->setValue(0);
    m_step = progressStep(m_opTime, m_timer.interval());
    m_timer.start();
}

void ProgressWindow::tick()
{
    const std::int32_t next = m_widgets.bar->value() + m_step;
    if (next <= kBarMaximum) {
        m_widgets.bar->setValue(next);
        m_widgets.percent->setText(percentText(static_cast<std::uint64_t>(next), kBarMaximum));
        return;
    }
    m_timer.stop();
    hide();
    letEventsRun();
    showMessage(1, MsgStyle::Information);
    accept();
}

} // namespace pellucor
