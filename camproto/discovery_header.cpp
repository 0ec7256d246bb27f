#include "camproto/discovery_header.h"

#include <algorithm>

namespace tessivor::camproto {

HeaderBytes buildRequestHeader(const RequestHeader& h)
{
    HeaderBytes b{};
    b[0] = 0xFD;
    b[1] = 0xFD;
    b[2] = static_cast<std::uint8_t>(h.sequence >> 8);
    b[3] = static_cast<std::uint8_t>(h.sequence & 0xFF);
    const auto op = static_cast<std::uint16_t>(h.opcode);
    b[4] = static_cast<std::uint8_t>(op >> 8);
    b[5] = static_cast<std::uint8_t>(op & 0xFF);
    std::copy(h.mac.begin(), h.mac.end(), b.begin() + 6);
    std::copy(h.ip.begin(), h.ip.end(), b.begin() + 12);
    const auto marker = static_cast<std::uint16_t>(h.marker);
    b[16] = static_cast<std::uint8_t>(marker >> 8);
    b[17] = static_cast<std::uint8_t>(marker & 0xFF);
    return b;
}

ReplyHeader parseReplyHeader(std::span<const std::uint8_t> datagram)
{
    HeaderBytes d{};
    std::copy_n(datagram.begin(), std::min(datagram.size(), d.size()), d.begin());
    ReplyHeader h;
    h.sequence = static_cast<std::uint16_t>((d[2] << 8) | d[3]);
    h.opcode = static_cast<std::uint16_t>((d[4] << 8) | d[5]);
    std::copy(d.begin() + 6, d.begin() + 12, h.mac.begin());
    std::copy(d.begin() + 12, d.begin() + 16, h.ip.begin());
    h.status = static_cast<std::uint16_t>(d[16] | (d[17] << 8));
    return h;
}

std::uint16_t nextSequence(std::atomic<std::uint16_t>& counter)
{
    return static_cast<std::uint16_t>(counter.fetch_add(1) + 1);
}

} // namespace tessivor::camproto
