// The multicast protocol of the Kestra family on group 224.0.0.1, port 13579: packet layouts,
// builders and parsers. Every datagram begins with an 11-byte header: the operation, then the
// LocalId (MAC and one IPv4 address) of the local adapter address that asks; a reply repeats the
// LocalId. Numbers are little-endian; address texts are dotted, zero-terminated in their field.
// Bytes that a shorter datagram does not hold read as zero.
#pragma once

#include "camproto/device_record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor::camproto {

inline constexpr char kMulticastGroup[] = "224.0.0.1";
inline constexpr std::uint16_t kMulticastPort = 13579;
inline constexpr std::size_t kMulticastHeaderSize = 11;
inline constexpr std::size_t kMulticastReceiveSize = 3200;

enum class MulticastOp : std::uint8_t
{
    Search = 1,
    PasswordCheck = 3,
    PasswordAnswer = 4,
    SetAddress = 5,
    AddressChanged = 6,
    DeviceFound = 7,
    WirelessQuery = 8,
    WirelessAnswer = 9,
};

// The asking side: an adapter's MAC and one of its IPv4 addresses.
struct LocalId
{
    Mac mac{};
    IPv4 address{};
    bool operator==(const LocalId&) const = default;
};

// Every request starts with this header.
std::vector<std::uint8_t> buildMulticastHeader(MulticastOp op, const LocalId& id);
// The operation and LocalId of a received datagram (zero-padded when shorter than the header).
struct MulticastHeader
{
    std::uint8_t op = 0;
    LocalId id;
};
MulticastHeader parseMulticastHeader(std::span<const std::uint8_t> datagram);

// op 1: the 11-byte search.
std::vector<std::uint8_t> buildMulticastSearch(const LocalId& id);

// op 3: user name, the bytes 55 AA and the password (plain, no terminator), with their length.
std::vector<std::uint8_t> buildPasswordCheck(const LocalId& id, const Mac& camera, const IPv4& cameraIp,
                                             std::string_view user, std::string_view password);
// op 4: byte 28 is 1 when accepted.
bool passwordAccepted(std::span<const std::uint8_t> datagram);

// op 5: mask and gateway texts in 16-byte fields (cut to 15 characters), then the address text.
std::vector<std::uint8_t> buildSetAddress(const LocalId& id, const Mac& camera, const IPv4& cameraIp,
                                          std::uint8_t mode, std::string_view address, std::string_view mask,
                                          std::string_view gateway);

// op 8: the 21-byte wireless query.
std::vector<std::uint8_t> buildWirelessQuery(const LocalId& id, const Mac& camera, const IPv4& cameraIp);

// op 7, device found.
struct DeviceFound
{
    Mac mac{};
    IPv4 address{};
    std::uint16_t webPort = 0;
    std::string maskText;    // at most 16 bytes
    std::string gatewayText; // at most 16 bytes
    std::uint8_t wireless = 0;
    std::string name; // the name bytes that arrived, at most the name length
};
// The fields of an answer 7; the name is cut to the bytes received. nullopt when the datagram
// is not an answer 7.
std::optional<DeviceFound> parseDeviceFound(std::span<const std::uint8_t> datagram);
// The device record made from an answer 7 received by local id number `k`.
DeviceRecord recordFromDeviceFound(const DeviceFound& found, std::uint16_t k);

// op 9, the wireless link of a camera.
struct WirelessLink
{
    std::array<char, 33> ssid{}; // zero-terminated within the field
    std::uint8_t status = 0;
    std::uint8_t connectStatus = 0;
    std::uint8_t countryCode = 0;
    std::uint8_t channel = 0;
    std::uint8_t signalStrength = 0;
    std::uint8_t security = 0;
    std::uint32_t receivedPackets = 0;
    std::uint32_t transmittedPackets = 0;

    std::string ssidText() const;
};
struct WirelessAnswer
{
    IPv4 cameraAddress{};
    WirelessLink link;
};
std::optional<WirelessAnswer> parseWirelessAnswer(std::span<const std::uint8_t> datagram);

} // namespace tessivor::camproto
