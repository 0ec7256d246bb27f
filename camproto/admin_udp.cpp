#include "camproto/admin_udp.h"

#include "camproto/discovery_exchange.h"

#include <algorithm>

namespace tessivor::camproto {

std::vector<std::uint8_t> buildAdminDatagram(const AdminRequest& r)
{
    const HeaderBytes h = buildRequestHeader(r.header);
    std::vector<std::uint8_t> out(h.size() + r.payload.size());
    std::copy(h.begin(), h.end(), out.begin());
    std::copy(r.payload.begin(), r.payload.end(), out.begin() + static_cast<std::ptrdiff_t>(h.size()));
    return out;
}

AdminReply exchangeAdmin(const AdminRequest& r)
{
    AdminReply out;
    ExchangeRequest x;
    x.host = r.host;
    x.port = r.port;
    x.datagram = buildAdminDatagram(r);
    x.replyCapacity = r.replySize;
    x.tries = r.tries;
    x.waitMs = r.waitMs;
    x.wakes = r.wakes;
    const ExchangeResult e = exchangeDatagram(x, [&](std::span<const std::uint8_t> d, std::size_t) {
        const ReplyHeader h = parseReplyHeader(d);
        const bool ours = h.sequence == r.header.sequence && (!r.matchMac || h.mac == r.header.mac);
        return ours ? Verdict::Take : Verdict::Refuse;
    });
    switch (e.status) {
    case ExchangeStatus::Taken:
        out.outcome = AdminReply::Outcome::Matched;
        break;
    case ExchangeStatus::Refused:
        out.outcome = AdminReply::Outcome::Foreign;
        break;
    case ExchangeStatus::NoReply:
    case ExchangeStatus::Stopped:
        out.outcome = AdminReply::Outcome::NoReply;
        break;
    default:
        out.outcome = AdminReply::Outcome::Failed;
        break;
    }
    if (!e.reply.empty()) {
        out.header = parseReplyHeader(e.reply);
        out.bytes = e.reply;
    }
    return out;
}

std::vector<std::uint8_t> sevenWordsPayload(const SevenWords& words)
{
    std::vector<std::uint8_t> out;
    for (std::int16_t w : words) {
        const auto v = static_cast<std::uint16_t>(w);
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

SevenWords parseSevenWords(std::span<const std::uint8_t> reply)
{
    SevenWords out{};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t at = kHeaderSize + 2 * i;
        const std::uint8_t lo = at < reply.size() ? reply[at] : 0;
        const std::uint8_t hi = at + 1 < reply.size() ? reply[at + 1] : 0;
        out[i] = static_cast<std::int16_t>(lo | (hi << 8));
    }
    return out;
}

LoginQueryAnswer readLoginQueryAnswer(const AdminReply& reply)
{
    LoginQueryAnswer out;
    if (reply.outcome != AdminReply::Outcome::Matched)
        return out;
    if (reply.header.status == kStatusOk) {
        out.kind = LoginQueryAnswer::Kind::NoLogin;
    } else if (reply.header.status == kStatusLoginNeeded && reply.bytes.size() >= kLoginQueryReplySize) {
        out.kind = LoginQueryAnswer::Kind::LoginNeeded;
        std::copy_n(reply.bytes.begin() + kHeaderSize, out.challenge.size(), out.challenge.begin());
    }
    return out;
}

std::vector<std::uint8_t> networkAddressPayload(const IPv4& mask, const IPv4& gateway)
{
    std::vector<std::uint8_t> out(mask.size() + gateway.size());
    std::copy(mask.begin(), mask.end(), out.begin());
    std::copy(gateway.begin(), gateway.end(), out.begin() + static_cast<std::ptrdiff_t>(mask.size()));
    return out;
}

} // namespace tessivor::camproto
