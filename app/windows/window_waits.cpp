#include "app/windows/window_waits.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

namespace pellucor {

WindowWaits::WindowWaits(QWidget* window, std::function<void(int)> pause)
    : m_window(window), m_pause(std::move(pause))
{
}

WindowWaits::~WindowWaits()
{
    hourglass(false);
}

void WindowWaits::hourglass(bool on)
{
    if (on == m_hourglass)
        return;
    m_hourglass = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WindowWaits::wait(int ms)
{
    ++m_depth;
    m_window->setEnabled(false);
    if (m_pause) {
        m_pause(ms);
    } else {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    m_window->setEnabled(true);
    if (--m_depth == 0 && m_deleteWhenIdle)
        m_window->deleteLater();
}

void WindowWaits::deleteWindowWhenIdle()
{
    if (m_depth > 0)
        m_deleteWhenIdle = true; // the outermost wait hands the window over once it returns
    else
        m_window->deleteLater();
}

} // namespace pellucor
