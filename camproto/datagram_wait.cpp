#include "camproto/datagram_wait.h"

#include <algorithm>

namespace tessivor::camproto {

DatagramSocket::Wait receiveBefore(DatagramSocket& socket, std::span<std::uint8_t> buffer,
                                   std::size_t* received, const WaitDeadline& deadline,
                                   const std::vector<const WakeSignal*>& wakes, sockaddr_in* from)
{
    const WakeSignal* w0 = wakes.size() > 0 ? wakes[0] : nullptr;
    const WakeSignal* w1 = wakes.size() > 1 ? wakes[1] : nullptr;
    while (true) {
        *received = 0;
        const int left = deadline.leftMs();
        if (left == 0)
            return DatagramSocket::Wait::TimedOut;
        std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
        const auto wait = socket.receive(buffer, received, left, {w0, w1}, from);
        if (wait != DatagramSocket::Wait::Oversized)
            return wait;
    }
}

} // namespace tessivor::camproto
