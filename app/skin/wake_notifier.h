// WakeNotifier: turns a WakeEvent that any thread may signal into a Qt signal on the thread that
// made the notifier. The signalling side never calls into Qt, so worker threads stay outside the
// GUI library entirely. Several signals before the loop gets round to it give one `woken`.
#pragma once

#include "platform/wake_event.h"

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace pellucor {

class WakeNotifier : public QObject
{
    Q_OBJECT

public:
    explicit WakeNotifier(QObject* parent = nullptr);

    // What other threads signal. It stays valid for them after the notifier is gone.
    std::shared_ptr<tessivor::WakeEvent> wakeEvent() const { return m_event; }

signals:
    void woken();

private:
    std::shared_ptr<tessivor::WakeEvent> m_event;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace pellucor
