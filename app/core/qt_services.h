// The engine's event loop and timers in the program: QTimer and the Qt event loop, and the
// control windows' messages pumped from that loop, so that control events fire on the
// user-interface thread.
#pragma once

#include "app/core/engine_ports.h"

namespace pellucor {

class QtTimerFactory : public TimerFactory
{
public:
    std::unique_ptr<Timer> create(std::int32_t intervalMs, bool enabled, std::function<void()> tick) override;
};

class QtUiServices : public UiServices
{
public:
    // Runs pending Qt events, which include the control windows' messages.
    void processEvents() override;
};

// Makes every post to a control window schedule a pump of the control messages on the thread of
// the QCoreApplication. Call once on that thread after the application object exists.
void installControlMessagePump();

} // namespace pellucor
