#include "camproto/discovery_extinfo.h"

#include "camproto/discovery_exchange.h"

#include <algorithm>

namespace tessivor::camproto {

namespace {
constexpr std::size_t kText1 = 149;
constexpr std::size_t kText2 = 213;
constexpr std::size_t kTextSize = 64;
constexpr std::size_t kWebPort = 279;
} // namespace

HeaderBytes buildExtendedInfoRequest(std::uint16_t sequence, const Mac& mac, const IPv4& ip)
{
    RequestHeader h;
    h.sequence = sequence;
    h.opcode = Opcode::ExtendedInfo;
    h.mac = mac;
    h.ip = ip;
    return buildRequestHeader(h);
}

std::string extendedInfoText(const ExtendedInfoReply& reply, int index)
{
    const std::size_t at = index == 0 ? kText1 : kText2;
    const auto begin = reply.begin() + static_cast<std::ptrdiff_t>(at);
    const auto end = std::find(begin, begin + kTextSize, std::uint8_t{0});
    return std::string(begin, end);
}

std::uint16_t extendedInfoWebPort(const ExtendedInfoReply& reply)
{
    return static_cast<std::uint16_t>(reply[kWebPort] | (reply[kWebPort + 1] << 8));
}

ExtendedInfoResult queryExtendedInfo(const ExtendedInfoRequest& r)
{
    ExtendedInfoResult out;
    ExchangeRequest x;
    x.host = r.address;
    x.port = r.port;
    const HeaderBytes request = buildExtendedInfoRequest(r.sequence, r.mac, r.ip);
    x.datagram.assign(request.begin(), request.end());
    x.replyCapacity = kExtendedInfoReplySize;
    x.tries = 1;
    x.waitMs = r.waitMs;
    x.wakes = r.wakes;
    const ExchangeResult e = exchangeDatagram(x, [&](std::span<const std::uint8_t> d, std::size_t) {
        const ReplyHeader h = parseReplyHeader(d);
        if (h.sequence != r.sequence || h.mac != r.mac)
            return Verdict::Skip; // not an answer to this request: never kept
        ExtendedInfoReply kept{};
        std::copy_n(d.begin(), kept.size(), kept.begin());
        out.reply = kept;
        if (h.status != kStatusOk) {
            out.error = ExtendedInfoError::NotValid;
            return Verdict::Skip;
        }
        return Verdict::Take;
    });
    switch (e.status) {
    case ExchangeStatus::Taken:
        out.result = -1;
        out.error = ExtendedInfoError::None;
        out.webPort = extendedInfoWebPort(*out.reply);
        break;
    case ExchangeStatus::SocketFailed:
        out.error = ExtendedInfoError::SocketFailed;
        break;
    case ExchangeStatus::BroadcastFailed:
        out.error = ExtendedInfoError::BroadcastFailed;
        break;
    case ExchangeStatus::SendFailed:
        out.error = ExtendedInfoError::SendFailed;
        break;
    default:
        out.error = ExtendedInfoError::NoReply;
        break;
    }
    return out;
}

} // namespace tessivor::camproto
