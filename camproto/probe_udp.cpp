#include "camproto/probe_udp.h"

#include "camproto/discovery_exchange.h"

#include <algorithm>

namespace tessivor::camproto {

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
    ExchangeRequest x;
    x.host = r.host;
    x.port = r.port;
    const HeaderBytes request = buildProbeRequest(r.sequence);
    x.datagram.assign(request.begin(), request.end());
    x.replyCapacity = kSearchReplySize;
    x.tries = r.tries;
    x.waitMs = r.waitMs;
    x.wakes = r.wakes;
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
    ExchangeRequest x;
    x.host = r.address;
    x.port = r.port;
    const HeaderBytes request = buildLoginQuery(r.sequence, r.mac, r.ip, RequestMarker::Plain);
    x.datagram.assign(request.begin(), request.end());
    x.replyCapacity = kLoginQueryReplySize;
    x.tries = r.tries;
    x.waitMs = r.waitMs;
    x.wakes = r.wakes;
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
