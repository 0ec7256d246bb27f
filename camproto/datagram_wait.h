// One deadline for a whole datagram wait. A wait that has to go on after a datagram that is not
// the answer (an oversized one, junk, a reply to another request) gets only the time left: no
// peer can stretch a wait past its own time-out by sending what the caller does not want. The
// time is the active clock's (platform/clock.h).
#pragma once

#include "io/datagram_socket.h"
#include "platform/clock.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tessivor::camproto {

class WaitDeadline
{
public:
    explicit WaitDeadline(int ms) : m_start(tickCount()), m_ms(ms < 0 ? 0u : static_cast<std::uint32_t>(ms))
    {
    }
    // Milliseconds left, 0 once the deadline has passed.
    int leftMs() const
    {
        const std::uint32_t passed = ticksSince(m_start);
        return passed >= m_ms ? 0 : static_cast<int>(m_ms - passed);
    }
    // The whole wait again from now: only for an answer that the caller keeps.
    void restart() { m_start = tickCount(); }

private:
    std::uint32_t m_start;
    std::uint32_t m_ms;
};

// Receives one datagram before `deadline` into `buffer` (cleared first, so that a short datagram
// reads as zero-padded). Oversized datagrams are dropped and the wait goes on with the time left.
// At most the first two `wakes` are watched.
DatagramSocket::Wait receiveBefore(DatagramSocket& socket, std::span<std::uint8_t> buffer,
                                   std::size_t* received, const WaitDeadline& deadline,
                                   const std::vector<const WakeSignal*>& wakes, sockaddr_in* from = nullptr);

} // namespace tessivor::camproto
