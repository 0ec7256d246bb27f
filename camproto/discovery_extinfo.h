// The extended device information of opcode 0xFFFF: one broadcast request naming a camera's MAC
// and address; its 530-byte reply carries two texts and the camera's web port.
//
//   0   18  header (status at 16-17: 0 = valid)
//   149 64  text 1;  213 64 text 2
//   279 2   web port, little-endian
#pragma once

#include "camproto/discovery_header.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

using ExtendedInfoReply = std::array<std::uint8_t, kExtendedInfoReplySize>;

// Error codes of the exchange (the control's longErrCode).
enum class ExtendedInfoError : std::int32_t
{
    None = 0,
    NotValid = -1, // the camera answered with a non-zero status
    SocketFailed = 12,
    BroadcastFailed = 13,
    SendFailed = 14,
    NoReply = 15,
};

struct ExtendedInfoRequest
{
    std::uint16_t sequence = 0;
    Mac mac{};
    IPv4 ip{};
    std::string address = kBroadcastAddress;
    std::uint16_t port = kDiscoveryPort;
    int waitMs = 10000; // the whole wait for the answer
    std::vector<const WakeSignal*> wakes;
};

struct ExtendedInfoResult
{
    int result = 0; // -1 a valid reply came, else 0
    ExtendedInfoError error = ExtendedInfoError::NoReply;
    std::optional<std::uint16_t> webPort;
    // The last reply that matched the request (sequence and MAC), zero-padded; none when no
    // reply matched.
    std::optional<ExtendedInfoReply> reply;
};

ExtendedInfoResult queryExtendedInfo(const ExtendedInfoRequest& request);

HeaderBytes buildExtendedInfoRequest(std::uint16_t sequence, const Mac& mac, const IPv4& ip);
// Text 1 (index 0) or 2 (index 1): up to the first zero byte, at most 64 characters.
std::string extendedInfoText(const ExtendedInfoReply& reply, int index);
std::uint16_t extendedInfoWebPort(const ExtendedInfoReply& reply);

} // namespace tessivor::camproto
