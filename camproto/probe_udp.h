// The datagram steps of the probe: the unicast opcode 0x0001 probe, which asks the camera itself
// for its device record, and the locality check, a broadcast login query (opcode 0x0012) that
// only a camera on the local segment can hear.
#pragma once

#include "camproto/device_record.h"
#include "camproto/login_transform.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessivor {
class WakeSignal;
}

namespace tessivor::camproto {

// The login challenge the locality check's answer carries.
using Challenge = std::array<std::uint8_t, static_cast<std::size_t>(kChallengeSize)>;

struct UdpProbeRequest
{
    std::uint16_t sequence = 0;
    std::string host; // the camera's dotted address
    std::uint16_t port = kDiscoveryPort;
    int tries = 3;
    int waitMs = 6000;
    std::vector<const WakeSignal*> wakes;
};

struct UdpProbeResult
{
    int result = 0; // -1 the camera answered
    std::optional<DeviceRecord> record;
};

UdpProbeResult probeUdp(const UdpProbeRequest& request);
HeaderBytes buildProbeRequest(std::uint16_t sequence);

struct LocalityCheckRequest
{
    std::uint16_t sequence = 0;
    Mac mac{};
    IPv4 ip{};
    std::string address = kBroadcastAddress;
    std::uint16_t port = kDiscoveryPort;
    int tries = 2;
    int waitMs = 5000;
    std::vector<const WakeSignal*> wakes;
};

struct LocalityCheckResult
{
    int result = 0;                     // -1 the camera answered on the local segment
    std::optional<Challenge> challenge; // status 256: the camera wants a login
};

// The first datagram decides: its sequence and MAC must be the request's, and its status 0 (no
// login) or 256 (login, with the challenge).
LocalityCheckResult checkLocality(const LocalityCheckRequest& request);
HeaderBytes buildLoginQuery(std::uint16_t sequence, const Mac& mac, const IPv4& ip, RequestMarker marker);

} // namespace tessivor::camproto
