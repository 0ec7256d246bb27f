#include "app/windows/window_waits.h"

#include <QApplication>
#include <QElapsedTimer>
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

void WindowWaits::enter()
{
    if (m_depth++ == 0)
        m_window->setEnabled(false);
}

void WindowWaits::leave()
{
    if (--m_depth > 0)
        return; // an outer wait still runs: the inputs stay off
    m_window->setEnabled(true);
    if (m_deleteWhenIdle)
        m_window->deleteLater();
}

void WindowWaits::wait(int ms)
{
    enter();
    if (m_pause) {
        m_pause(ms);
    } else {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    leave();
}

bool WindowWaits::waitFor(const std::function<bool()>& done, int limitMs)
{
    // The result comes as an event on this thread; asking for it every few milliseconds costs
    // nothing beside the camera's own round trip.
    constexpr int kAskEveryMs = 20;
    enter();
    QElapsedTimer elapsed;
    elapsed.start();
    bool held = done();
    while (!held && elapsed.elapsed() < limitMs) {
        QEventLoop loop;
        QTimer::singleShot(kAskEveryMs, &loop, &QEventLoop::quit);
        loop.exec();
        held = done();
    }
    leave();
    return held;
}

void WindowWaits::deleteWindowWhenIdle()
{
    if (m_depth > 0)
        m_deleteWhenIdle = true; // the outermost wait hands the window over once it returns
    else
        m_window->deleteLater();
}

} // namespace pellucor
