// Receiving helpers shared by the stream readers and the image-settings read: waits that look at
// the stop flag while they wait, and exact reads that never hand on fewer bytes than asked for.
#pragma once

#include "io/ws_client.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace tessivor::streamio {

// How long one wait for data lasts at most before the stop flag is looked at again.
inline constexpr std::uint32_t kStopCheckMs = 100;

enum class Got
{
    Data,     // bytes are waiting (or the peer has closed: the next receive tells)
    TimedOut, // nothing came within the time
    Stopped,  // m_bEndRun became 1 while waiting
};

// Waits up to `ms` milliseconds for `socket` to become readable.
Got waitForData(CWSClient& socket, std::uint32_t ms, const std::atomic<std::int32_t>& endRun);

// Receives exactly `size` bytes. Each piece waits at most `timeoutSeconds` (0 or less: the
// socket's own receive time-out). False when the time runs out, the peer closes, a receive
// fails or a stop is requested: the bytes received then are not to be used.
bool receiveExactly(CWSClient& socket, void* buffer, std::size_t size, int timeoutSeconds,
                    const std::atomic<std::int32_t>& endRun);

} // namespace tessivor::streamio
