#include "control/stream_io.h"

#include "platform/clock.h"

#include <algorithm>
#include <climits>

namespace tessivor::streamio {

Got waitForData(CWSClient& socket, std::uint32_t ms, const std::atomic<std::int32_t>& endRun)
{
    const std::uint32_t start = tickCount();
    while (true) {
        if (endRun.load() == 1)
            return Got::Stopped;
        const std::uint32_t elapsed = ticksSince(start);
        if (elapsed >= ms && ms > 0)
            return Got::TimedOut;
        const std::uint32_t slice = ms == 0 ? 0 : std::min(ms - elapsed, kStopCheckMs);
        if (socket.WaitForReceive(0, static_cast<int>(slice * 1000)) == 0)
            return Got::Data;
        if (ms == 0)
            return Got::TimedOut;
        if (socket.GetSocket() < 0) {
            // Closed under us (Stop closes the stream sockets): nothing will come.
            return endRun.load() == 1 ? Got::Stopped : Got::TimedOut;
        }
    }
}

bool receiveExactly(CWSClient& socket, void* buffer, std::size_t size, int timeoutSeconds,
                    const std::atomic<std::int32_t>& endRun)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        if (timeoutSeconds > 0) {
            if (waitForData(socket, static_cast<std::uint32_t>(timeoutSeconds) * 1000u, endRun) != Got::Data)
                return false;
        } else if (endRun.load() == 1) {
            return false;
        }
        const int piece = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
        const int n = socket.ReceiveDirect(p, piece, 0);
        if (n <= 0)
            return false; // 0: the peer closed; -1: an error or no connection
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace tessivor::streamio
