#include "camproto/discovery_multicast.h"

#include "camproto/datagram_wait.h"

#include <arpa/inet.h>

#include <algorithm>

namespace tessivor::camproto {

namespace {

in_addr inAddr(const IPv4& a)
{
    in_addr out{};
    std::copy(a.begin(), a.end(), reinterpret_cast<std::uint8_t*>(&out.s_addr));
    return out;
}

} // namespace

MulticastStatus exchangeMulticast(const MulticastExchangeRequest& r, MulticastOp op,
                                  const std::function<AnswerUse(std::span<const std::uint8_t>)>& onAnswer)
{
    sockaddr_in group{};
    if (!ipv4Address(r.group, r.port, &group))
        return MulticastStatus::SocketFailed;
    const in_addr local = inAddr(r.asking.address);

    DatagramSocket sender;
    if (!sender.open() || !sender.setMulticastInterface(local) || !sender.setMulticastLoop(false))
        return MulticastStatus::SocketFailed;
    DatagramSocket receiver;
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(r.port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!receiver.open() || !receiver.setReuseAddress(true) || !receiver.bind(any) ||
        !receiver.joinGroup(group.sin_addr, local) || !receiver.setMulticastLoop(false))
        return MulticastStatus::SocketFailed;

    if (!sender.sendTo(r.datagram, group))
        return MulticastStatus::SendFailed;

    std::vector<std::uint8_t> buffer(kMulticastReceiveSize);
    WaitDeadline deadline(r.waitMs);
    while (true) {
        std::size_t got = 0;
        switch (receiveBefore(receiver, buffer, &got, deadline, r.wakes)) {
        case DatagramSocket::Wait::Received:
            break;
        case DatagramSocket::Wait::Oversized: // receiveBefore drops these itself
        case DatagramSocket::Wait::TimedOut:
            return MulticastStatus::Quiet;
        case DatagramSocket::Wait::Woken:
            return MulticastStatus::Stopped;
        case DatagramSocket::Wait::Failed:
            return MulticastStatus::ReadFailed;
        }
        const std::span<const std::uint8_t> datagram(buffer.data(), got);
        const MulticastHeader h = parseMulticastHeader(datagram);
        if (h.op != static_cast<std::uint8_t>(op) || !(h.id == r.asking))
            continue;
        switch (onAnswer(datagram)) {
        case AnswerUse::Pass:
            break;
        case AnswerUse::Keep:
            deadline.restart();
            break;
        case AnswerUse::End:
            return MulticastStatus::Ended;
        }
    }
}

void searchMulticast(const MulticastSearchRequest& r)
{
    const std::size_t n = std::min(r.identities.size(), r.limit);
    for (std::size_t k = 0; k < n; ++k) {
        if (std::any_of(r.wakes.begin(), r.wakes.end(), [](const WakeSignal* w) { return w && w->raised(); }))
            return;
        const LocalId& id = r.identities[k];
        if (r.onSlot)
            r.onSlot(k, id);
        MulticastExchangeRequest x;
        x.asking = id;
        x.datagram = buildMulticastSearch(id);
        x.waitMs = r.waitMs;
        x.wakes = r.wakes;
        exchangeMulticast(x, MulticastOp::DeviceFound, [&](std::span<const std::uint8_t> d) {
            const auto found = parseDeviceFound(d);
            const bool listed =
                found && r.onFound && r.onFound(recordFromDeviceFound(*found, static_cast<std::uint16_t>(k)));
            return listed ? AnswerUse::Keep : AnswerUse::Pass;
        });
    }
}

PasswordCheckResult checkPasswordMulticast(const LocalId& asking, const Mac& camera, const IPv4& cameraIp,
                                           std::string_view user, std::string_view password,
                                           std::vector<const WakeSignal*> wakes)
{
    PasswordCheckResult out;
    MulticastExchangeRequest x;
    x.asking = asking;
    x.datagram = buildPasswordCheck(asking, camera, cameraIp, user, password);
    x.wakes = std::move(wakes);
    out.status = exchangeMulticast(x, MulticastOp::PasswordAnswer, [&](std::span<const std::uint8_t> d) {
        out.accepted = passwordAccepted(d);
        return AnswerUse::End;
    });
    return out;
}

SetAddressResult setAddressMulticast(const LocalId& asking, const Mac& camera, const IPv4& cameraIp,
                                     std::uint8_t mode, std::string_view address, std::string_view mask,
                                     std::string_view gateway, std::vector<const WakeSignal*> wakes)
{
    SetAddressResult out;
    MulticastExchangeRequest x;
    x.asking = asking;
    x.datagram = buildSetAddress(asking, camera, cameraIp, mode, address, mask, gateway);
    x.wakes = std::move(wakes);
    out.status = exchangeMulticast(x, MulticastOp::AddressChanged, [&](std::span<const std::uint8_t>) {
        out.answered = true;
        return AnswerUse::End;
    });
    return out;
}

WirelessQueryResult queryWirelessMulticast(const LocalId& asking, const Mac& camera, const IPv4& cameraIp,
                                           std::vector<const WakeSignal*> wakes)
{
    WirelessQueryResult out;
    MulticastExchangeRequest x;
    x.asking = asking;
    x.datagram = buildWirelessQuery(asking, camera, cameraIp);
    x.wakes = std::move(wakes);
    out.status = exchangeMulticast(x, MulticastOp::WirelessAnswer, [&](std::span<const std::uint8_t> d) {
        out.answer = parseWirelessAnswer(d);
        return out.answer ? AnswerUse::End : AnswerUse::Pass;
    });
    return out;
}

} // namespace tessivor::camproto
