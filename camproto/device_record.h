// DeviceRecord: the 244-byte description of a camera, as the search reply carries it and as the
// probe and the multicast search build it from other answers.
//
//   0   18  reply header (MAC at 6, IPv4 at 12, status at 16)
//   18  4   hardware version, four characters shown last byte first; records made from multicast
//           answers hold the web port here instead (32-bit little-endian)
//   22  4   ROM version: 25 major, 24 minor, 23 letter
//   26  4   firmware version, the same layout (29, 28, 27)
//   30  4   IPv4 copy
//   38  32  model text ("N/A" when the camera reports none)
//   70  32  device name
//   102 64  location
//   166 2   server status, signed, little-endian
//   168 2   property flags, little-endian
//   170 4   IPv4 address;  174 4 subnet mask;  178 4 default gateway
//   222 6   MAC copy (the HTTP device-information answers carry the MAC here)
#pragma once

#include "camproto/discovery_header.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tessivor::camproto {

struct DeviceRecord
{
    static constexpr std::size_t kSize = 244;
    static constexpr std::size_t kMac = 6;
    static constexpr std::size_t kIp = 12;
    static constexpr std::size_t kHardwareVersion = 18;
    static constexpr std::size_t kWebPort = 18;
    static constexpr std::size_t kRomVersion = 22;
    static constexpr std::size_t kFirmwareVersion = 26;
    static constexpr std::size_t kIpCopy = 30;
    static constexpr std::size_t kModel = 38;
    static constexpr std::size_t kModelSize = 32;
    static constexpr std::size_t kName = 70;
    static constexpr std::size_t kNameSize = 32;
    static constexpr std::size_t kLocation = 102;
    static constexpr std::size_t kLocationSize = 64;
    static constexpr std::size_t kServerStatus = 166;
    static constexpr std::size_t kFlags = 168;
    static constexpr std::size_t kAddress = 170;
    static constexpr std::size_t kMask = 174;
    static constexpr std::size_t kGateway = 178;
    static constexpr std::size_t kMacCopy = 222;
    // The device-information pages fill the record from here to its end.
    static constexpr std::size_t kBodyStart = 18;
    static constexpr std::size_t kBodySize = kSize - kBodyStart;

    // Property flags.
    static constexpr std::uint16_t kFlagsKestraMask = 0x0700; // all three set: the Kestra family
    static constexpr std::uint16_t kFlagVideoCgi = 0x0800;

    std::array<std::uint8_t, kSize> bytes{};

    // A record from a received datagram: its first bytes (at most the record's size), the rest 0.
    static DeviceRecord fromDatagram(std::span<const std::uint8_t> datagram);

    Mac mac() const;
    IPv4 address() const;
    std::uint16_t flags() const;
    std::int16_t serverStatus() const;
    // 32-bit little-endian at 18 (the web port of multicast-made records).
    std::uint32_t webPort() const;

    // Texts end at their first zero byte and never run past their field.
    std::string model() const;
    std::string name() const;
    std::string location() const;
    std::string ipText() const;      // 170-173
    std::string maskText() const;    // 174-177
    std::string gatewayText() const; // 178-181
    std::string macText() const;     // 6-11, six decimal numbers
    std::string firmwareVersionText() const;
    std::string romVersionText() const;
    std::string hardwareVersionText() const;

    // Writes a text into a field, cut to the field less its terminator, the rest zero.
    void setText(std::size_t offset, std::size_t fieldSize, std::string_view text);
    void setWord(std::size_t offset, std::uint16_t value);
    void setBytes(std::size_t offset, std::span<const std::uint8_t> data);
    // Copies body bytes (at most kBodySize) from byte 18 on, the rest of that span zero, then the
    // MAC copy at 222 to 6. The bytes before 18 stay.
    void fillFromBody(std::span<const std::uint8_t> body);
};

// "%d.%.02d%c" of major, minor, letter: the version form of the firmware and ROM fields. A zero
// letter ends the text there.
std::string versionText(std::uint8_t major, std::uint8_t minor, std::uint8_t letter);

} // namespace tessivor::camproto
