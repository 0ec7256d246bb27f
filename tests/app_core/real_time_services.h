// The engine's services in real time, for end-to-end tests and benchmarks: the active clock,
// the given timers, event loop, windows, message boxes and log; the profile is not written.
#pragma once

#include "app/core/engine.h"
#include "app/core/engine_ports.h"
#include "app/core/event_log.h"

#include "platform/clock.h"

namespace enginetest {

using namespace pellucor;

inline EngineServices realTimeServices(TimerFactory& timers, UiServices& ui, EngineWindows& windows,
                                       MessageBoxes& messages, EventLog& log)
{
    EngineServices sv;
    sv.clock = &tessivor::activeClock();
    sv.timers = &timers;
    sv.ui = &ui;
    sv.windows = &windows;
    sv.messages = &messages;
    sv.log = &log;
    sv.saveSetting = [] { return true; };
    return sv;
}

} // namespace enginetest
