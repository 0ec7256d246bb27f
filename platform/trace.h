// Debugger traces: short diagnostic lines of threads, frames, recording and sockets.
// Silent unless TESSIVOR_TRACE is set: "1" or "stderr" writes to standard error, any other value
// names a file that lines are appended to. Never shown to the host.
#pragma once

namespace tessivor {

bool traceEnabled();
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace tessivor
