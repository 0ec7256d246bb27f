#include "app/skin/ui_services.h"

#include "platform/control_window.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace pellucor {

MessageBoxLook messageBoxLook(int style)
{
    MessageBoxLook look;
    switch (style & 0xF0) {
    case 16:
        look.icon = QMessageBox::Critical;
        break;
    case 32:
        look.icon = QMessageBox::Question;
        break;
    case 48:
        look.icon = QMessageBox::Warning;
        break;
    case 64:
        look.icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    if ((style & 0x0F) == 4) {
        look.buttons = QMessageBox::Yes | QMessageBox::No;
        look.defaultButton = QMessageBox::Yes;
    } else if ((style & 0x0F) == 1) {
        look.buttons = QMessageBox::Ok | QMessageBox::Cancel;
        look.defaultButton = QMessageBox::Ok;
    }
    return look;
}

QtUiServices::QtUiServices()
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void QtUiServices::endProgram()
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void QtUiServices::setApplicationTitle(const QString& title)
{
    QGuiApplication::setApplicationDisplayName(title);
}

QString QtUiServices::applicationTitle() const
{
    return QGuiApplication::applicationDisplayName();
}

void QtUiServices::processEvents()
{
    ++m_eventsRunning;
    QCoreApplication::processEvents();
    // Control messages whose wake-up the loop has not seen yet.
    tessivor::messageLoop::pump();
    --m_eventsRunning;
}

int QtUiServices::messageBox(QWidget* owner, const QString& text, int style, const QString& title)
{
    const MessageBoxLook look = messageBoxLook(style);
    QMessageBox box(look.icon, title.isEmpty() ? applicationTitle() : title, text, look.buttons, owner);
    box.setDefaultButton(look.defaultButton);
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return kAnswerYes;
    if (answer == QMessageBox::No)
        return kAnswerNo;
    if (answer == QMessageBox::Cancel)
        return kAnswerCancel;
    // The close box of a Yes/No question counts as No, of an OK/Cancel box as Cancel, of any
    // other box as OK.
    if (look.buttons.testFlag(QMessageBox::No))
        return kAnswerNo;
    return look.buttons.testFlag(QMessageBox::Cancel) ? kAnswerCancel : kAnswerOk;
}

void QtUiServices::show(const std::string& text, const std::string& title)
{
    messageBox(nullptr, QString::fromStdString(text), 0, QString::fromStdString(title));
}

QtTimer::QtTimer(std::function<void()> onTick, std::int32_t intervalMs, bool enabled)
    : m_onTick(std::move(onTick))
{
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (m_onTick)
            m_onTick();
    });
    setInterval(intervalMs);
    if (enabled)
        m_timer.start();
}

void QtTimer::setInterval(std::int32_t milliseconds)
{
    m_timer.setInterval(std::max(milliseconds, std::int32_t{0}));
}

void QtTimer::setEnabled(bool enabled)
{
    if (enabled && !m_timer.isActive())
        m_timer.start();
    else if (!enabled)
        m_timer.stop();
}

std::unique_ptr<Timer> QtTimerFactory::create(std::int32_t intervalMs, bool enabled,
                                              std::function<void()> tick)
{
    return std::make_unique<QtTimer>(std::move(tick), intervalMs, enabled);
}

} // namespace pellucor
