#include "camproto/probe_udp.h"

#include "camproto/discovery_exchange.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {

// One request header to `host`, answered by datagrams of up to `capacity` bytes.
ExchangeRequest headerExchange(const std::string& host, std::uint16_t port, const HeaderBytes& header,
                               std::size_t capacity, int tries, int waitMs,
                               const std::vector<const WakeSignal*>& wakes)
{
    ExchangeRequest x;
    x.host = host;
    x.port = port;
    x.datagram.assign(header.begin(), header.end());
    x.replyCapacity = capacity;
    x.tries = tries;
    x.waitMs = waitMs;
    x.wakes = wakes;
    return x;
}

} // namespace

HeaderBytes buildProbeRequest(std::uint16_t sequence)
{
    RequestHeader h;
    h.sequence = sequence;
    h.opcode = Opcode::Search;
    h.marker = RequestMarker::Unicast;
    return buildRequestHeader(h);
}

HeaderBytes buildLoginQuery(std::uint16_t sequence, const Mac& mac, const IPv4& ip, RequestMarker marker)
{
    RequestHeader h;
    h.sequence = sequence;
    h.opcode = Opcode::LoginQuery;
    h.mac = mac;
    h.ip = ip;
    h.marker = marker;
    return buildRequestHeader(h);
}

UdpProbeResult probeUdp(const UdpProbeRequest& r)
{
    UdpProbeResult out;
    const ExchangeRequest x = headerExchange(r.host, r.port, buildProbeRequest(r.sequence), kSearchReplySize,
                                             r.tries, r.waitMs, r.wakes);
    const ExchangeResult e = exchangeDatagram(x, [&](std::span<const std::uint8_t> d, std::size_t) {
        const ReplyHeader h = parseReplyHeader(d);
        return h.sequence == r.sequence && h.status == kStatusDeviceRecord ? Verdict::Take : Verdict::Skip;
    });
    if (e.status == ExchangeStatus::Taken) {
        out.result = -1;
        out.record = DeviceRecord::fromDatagram(std::span(e.reply).first(e.received));
    }
    return out;
}

LocalityCheckResult checkLocality(const LocalityCheckRequest& r)
{
    LocalityCheckResult out;
    const ExchangeRequest x =
        headerExchange(r.address, r.port, buildLoginQuery(r.sequence, r.mac, r.ip, RequestMarker::Plain),
                       kLoginQueryReplySize, r.tries, r.waitMs, r.wakes);
    const ExchangeResult e = exchangeDatagram(x, [&](std::span<const std::uint8_t> d, std::size_t) {
        const ReplyHeader h = parseReplyHeader(d);
        const bool ours = h.sequence == r.sequence && h.mac == r.mac;
        return ours && (h.status == kStatusOk || h.status == kStatusLoginNeeded) ? Verdict::Take
                                                                                 : Verdict::Refuse;
    });
    if (e.status != ExchangeStatus::Taken)
        return out;
    out.result = -1;
    if (parseReplyHeader(e.reply).status == kStatusLoginNeeded) {
        Challenge c{};
        std::copy_n(e.reply.begin() + kHeaderSize, c.size(), c.begin());
        out.challenge = c;
    }
    return out;
}

} // namespace tessivor::camproto
