// The short request/reply exchanges of the datagram protocol that look after one camera: the
// login query (0x0012), the password check (0x0013), the clock (0x001E, 0x001F), the image
// settings (0x0020), reboot (0x0004), factory settings (0x0005) and the network address (0x0003).
// Each request is the 18-byte header and, for some, 16-bit little-endian words after it.
#pragma once

#include "camproto/discovery_header.h"
#include "camproto/probe_udp.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

struct AdminRequest
{
    std::string host; // dotted address, or kBroadcastAddress
    std::uint16_t port = kDiscoveryPort;
    RequestHeader header;
    std::vector<std::uint8_t> payload; // bytes after the header
    std::size_t replySize = kStatusReplySize;
    int tries = 2;
    int waitMs = 6000;
    bool matchMac = true; // the reply must name the request's MAC
    std::vector<const WakeSignal*> wakes;
};

struct AdminReply
{
    enum class Outcome
    {
        Matched, // a reply with the request's sequence (and MAC)
        Foreign, // the first reply answered another request or came from another camera
        NoReply, // every try timed out
        Failed,  // no socket, no broadcast, or the send failed
    };
    Outcome outcome = Outcome::NoReply;
    ReplyHeader header;
    std::vector<std::uint8_t> bytes; // zero-padded to replySize
};

// The first datagram decides; the exchange is not retried after a foreign reply.
AdminReply exchangeAdmin(const AdminRequest& request);

std::vector<std::uint8_t> buildAdminDatagram(const AdminRequest& request);

// Seven 16-bit words, low byte first (the clock and the image settings).
using SevenWords = std::array<std::int16_t, 7>;
std::vector<std::uint8_t> sevenWordsPayload(const SevenWords& words);
// Reply bytes 18-31 as seven words; bytes a short reply lacks read as zero.
SevenWords parseSevenWords(std::span<const std::uint8_t> reply);

// The login query's answer: status 256 carries the challenge.
struct LoginQueryAnswer
{
    enum class Kind
    {
        LoginNeeded,
        NoLogin,
        Other, // no reply, a foreign reply or another status
    };
    Kind kind = Kind::Other;
    Challenge challenge{};
};
LoginQueryAnswer readLoginQueryAnswer(const AdminReply& reply);

// The password check's request payload: the 20-byte scrambled login block.
inline constexpr std::size_t kLoginBlockSize = 20;

// The set-address payload: subnet mask and gateway.
std::vector<std::uint8_t> networkAddressPayload(const IPv4& mask, const IPv4& gateway);

} // namespace tessivor::camproto
