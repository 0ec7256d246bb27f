// MessagePump: drives the control windows of the UI thread from the Qt event loop.
//
// While a pump exists, every post to a control window wakes the Qt loop (through a wake event,
// so the posting worker never calls into Qt) and the loop dispatches the pending messages on the
// thread that made the pump. Control events therefore arrive as queued calls on the UI thread.
// One pump per program; make it on the UI thread after the application object.
#pragma once

#include <QObject>

namespace pellucor {

class WakeNotifier;

class MessagePump : public QObject
{
    Q_OBJECT

public:
    explicit MessagePump(QObject* parent = nullptr);
    ~MessagePump() override;

    // Messages dispatched since the pump was made.
    std::size_t dispatched() const { return m_dispatched; }

private:
    WakeNotifier* m_wake;
    std::size_t m_dispatched = 0;
};

} // namespace pellucor
