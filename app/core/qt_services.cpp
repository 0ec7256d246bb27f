#include "app/core/qt_services.h"

#include "platform/control_window.h"

#include <QCoreApplication>
#include <QTimer>

namespace pellucor {

namespace {

class QtTimer final : public Timer
{
public:
    QtTimer(std::int32_t intervalMs, bool enabled, std::function<void()> tick)
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [tick = std::move(tick)] { tick(); });
        if (enabled)
            m_timer.start();
    }
    void setInterval(std::int32_t ms) override { m_timer.setInterval(ms); }
    std::int32_t interval() const override { return m_timer.interval(); }
    void setEnabled(bool on) override
    {
        // Enabling a stopped timer starts a fresh period, as the engine expects of a restart.
        if (on && !m_timer.isActive())
            m_timer.start();
        else if (!on)
            m_timer.stop();
    }
    bool enabled() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

std::unique_ptr<Timer> QtTimerFactory::create(std::int32_t intervalMs, bool enabled,
                                              std::function<void()> tick)
{
    return std::make_unique<QtTimer>(intervalMs, enabled, std::move(tick));
}

void QtUiServices::processEvents()
{
    QCoreApplication::processEvents();
    tessivor::messageLoop::pump();
}

void installControlMessagePump()
{
    QCoreApplication* app = QCoreApplication::instance();
    tessivor::messageLoop::setWakeHook([app] {
        // Posted from any thread; the pump runs on the application's thread.
        QMetaObject::invokeMethod(
            app, [] { tessivor::messageLoop::pump(); }, Qt::QueuedConnection);
    });
}

} // namespace pellucor
