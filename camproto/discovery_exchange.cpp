#include "camproto/discovery_exchange.h"

#include "camproto/datagram_wait.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {

bool anyRaised(const std::vector<const WakeSignal*>& wakes)
{
    return std::any_of(wakes.begin(), wakes.end(), [](const WakeSignal* w) { return w && w->raised(); });
}

} // namespace

ExchangeResult
exchangeDatagram(const ExchangeRequest& request,
                 const std::function<Verdict(std::span<const std::uint8_t>, std::size_t)>& onDatagram)
{
    ExchangeResult result;
    sockaddr_in to{};
    const bool broadcast = request.host == kBroadcastAddress;
    if (!ipv4Address(request.host, request.port, &to)) {
        result.status = ExchangeStatus::SocketFailed;
        return result;
    }
    std::vector<std::uint8_t> buffer(request.replyCapacity);
    for (int attempt = 0; attempt < request.tries; ++attempt) {
        if (anyRaised(request.wakes)) {
            result.status = ExchangeStatus::Stopped;
            return result;
        }
        DatagramSocket s;
        if (!s.open()) {
            result.status = ExchangeStatus::SocketFailed;
            return result;
        }
        if (broadcast && !s.setBroadcast(true)) {
            result.status = ExchangeStatus::BroadcastFailed;
            return result;
        }
        if (!s.sendTo(request.datagram, to)) {
            result.status = ExchangeStatus::SendFailed;
            return result;
        }
        // One deadline for the try: a skipped datagram leaves the wait only the time left.
        const WaitDeadline deadline(request.waitMs);
        while (true) {
            std::size_t got = 0;
            const auto wait = receiveBefore(s, buffer, &got, deadline, request.wakes);
            if (wait == DatagramSocket::Wait::Woken) {
                result.status = ExchangeStatus::Stopped;
                return result;
            }
            if (wait != DatagramSocket::Wait::Received)
                break; // time-out or receive error: this try is over
            const Verdict v = onDatagram(buffer, got);
            if (v == Verdict::Skip)
                continue;
            result.status = v == Verdict::Take ? ExchangeStatus::Taken : ExchangeStatus::Refused;
            result.reply = buffer;
            result.received = got;
            return result;
        }
    }
    result.status = ExchangeStatus::NoReply;
    return result;
}

} // namespace tessivor::camproto
