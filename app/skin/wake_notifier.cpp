#include "app/skin/wake_notifier.h"

#include <QSocketNotifier>

#include <cstdio>

namespace pellucor {

WakeNotifier::WakeNotifier(QObject* parent)
    : QObject(parent), m_event(std::make_shared<tessivor::WakeEvent>())
{
    if (!m_event->valid()) {
        std::fprintf(stderr,
                     "pellucor: cannot make a wake-up descriptor; pictures and events will not arrive\n");
        return;
    }
    m_notifier = new QSocketNotifier(m_event->fd(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        m_event->clear();
        emit woken();
    });
}

} // namespace pellucor
