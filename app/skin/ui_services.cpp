#include "app/skin/ui_services.h"

#include <QApplication>
#include <QWidget>

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
    }
    return look;
}

UiServices::UiServices()
{
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void UiServices::endProgram()
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

void UiServices::setApplicationTitle(const QString& title)
{
    QGuiApplication::setApplicationDisplayName(title);
}

QString UiServices::applicationTitle() const
{
    return QGuiApplication::applicationDisplayName();
}

void UiServices::processEvents()
{
    QCoreApplication::processEvents();
}

int UiServices::messageBox(QWidget* owner, const QString& text, int style, const QString& title)
{
    const MessageBoxLook look = messageBoxLook(style);
    QMessageBox box(look.icon, title.isEmpty() ? applicationTitle() : title, text, look.buttons, owner);
    box.setDefaultButton(look.defaultButton);
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return kAnswerYes;
    if (answer == QMessageBox::No)
        return kAnswerNo;
    // The close box of a Yes/No question counts as No; of any other box as OK.
    return look.buttons.testFlag(QMessageBox::No) ? kAnswerNo : kAnswerOk;
}

QtTimer::QtTimer(std::function<void()> onTick, QObject* parent) : QObject(parent), m_onTick(std::move(onTick))
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_onTick)
            m_onTick();
    });
}

void QtTimer::setInterval(int milliseconds)
{
    m_timer.setInterval(std::max(milliseconds, 0));
}

void QtTimer::setEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

} // namespace pellucor
