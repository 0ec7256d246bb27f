#include "app/skin/message_pump.h"

#include "app/skin/wake_notifier.h"
#include "platform/control_window.h"

namespace pellucor {

MessagePump::MessagePump(QObject* parent) : QObject(parent), m_wake(new WakeNotifier(this))
{
    connect(m_wake, &WakeNotifier::woken, this, [this] { m_dispatched += tessivor::messageLoop::pump(); });
    tessivor::messageLoop::setWakeHook([event = m_wake->wakeEvent()] { event->signal(); });
    // Whatever was posted before the hook existed.
    if (tessivor::messageLoop::pendingCount() > 0)
        m_wake->wakeEvent()->signal();
}

MessagePump::~MessagePump()
{
    tessivor::messageLoop::setWakeHook({});
}

} // namespace pellucor
