// The web pages through which cameras describe themselves to the probe, and the device records
// made from their answers.
//
//   "/getInfo.asp"          the Kestra family: a block whose bytes 3-34 are the device name
//   "/DevInfo.CGI"          a raw HTTP/1.0 answer whose body is a device record from byte 18 on
//   "/cgi-bin/devinfo.cgi"  the same body, read through the HTTP engine
#pragma once

#include "camproto/device_record.h"

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace tessivor::camproto {

inline constexpr std::size_t kDevExtInfoSize = 512;

// The synthetic record of a camera that answered "/getInfo.asp": name from body bytes 3-34, model
// "QVT-410", the address (text order) at 12, 30 and 170, MAC 0, mask 255.255.255.0, gateway
// 192.168.1.1, flags 0xC7C8, server status 2.
DeviceRecord recordFromGetInfo(std::span<const std::uint8_t> body, const IPv4& address);

// The checks of a "/DevInfo.CGI" answer: at least 256 bytes, "HTTP/1.0 200 OK\r\n" in them, a
// "Content-Length:" of 1 to 1000 and the blank line. The body is what follows the blank line, cut
// to the length and to the bytes that came. nullopt when a check fails.
std::optional<std::span<const std::uint8_t>> devInfoCgiBody(std::span<const std::uint8_t> answer);

inline constexpr std::size_t kDevInfoLeast = 256;
inline constexpr int kDevInfoMaxLength = 1000;

} // namespace tessivor::camproto
