#include "camproto/discovery_exchange.h"

#include "camproto/wait_scale.h"
#include "io/datagram_socket.h"

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
    const WakeSignal* w0 = request.wakes.size() > 0 ? request.wakes[0] : nullptr;
    const WakeSignal* w1 = request.wakes.size() > 1 ? request.wakes[1] : nullptr;
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
        while (true) {
            // The buffer is cleared before each receive, so a short datagram reads as zero-padded.
            std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
            std::size_t got = 0;
            const auto wait = s.receive(buffer, &got, scaledWaitMs(request.waitMs), {w0, w1});
            if (wait == DatagramSocket::Wait::Oversized)
                continue;
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
