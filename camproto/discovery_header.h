// The datagram protocol of the native camera family on UDP port 62976: the 18-byte header that
// begins every request and reply, the operation codes, and the reply lengths.
//
//   0   2  magic FD FD
//   2   2  sequence number, big-endian (a reply repeats its request's)
//   4   2  opcode, big-endian
//   6   6  MAC of the camera addressed (FF x 6 in search and probe requests)
//   12  4  IPv4 address, text order
//   16  2  requests: marker 77 77 or 00 00; replies: status, 16-bit little-endian
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace tessivor::camproto {

inline constexpr std::uint16_t kDiscoveryPort = 62976;
inline constexpr char kBroadcastAddress[] = "255.255.255.255";
inline constexpr std::size_t kHeaderSize = 18;

enum class Opcode : std::uint16_t
{
    Search = 0x0001, // also the unicast probe
    SetNetworkAddress = 0x0003,
    Reboot = 0x0004,
    FactoryReset = 0x0005,
    RequestDownload = 0x0006,
    ConfigRead = 0x000B,
    ConfigWrite = 0x000C,
    LoginQuery = 0x0012, // also the locality check of the probe
    PasswordCheck = 0x0013,
    SetClock = 0x001E,
    ReadClock = 0x001F,
    SetImageSettings = 0x0020,
    ReadImageSettings = 0x0021,
    ExtendedInfo = 0xFFFF,
};

// Reply lengths by operation.
inline constexpr std::size_t kSearchReplySize = 244;
inline constexpr std::size_t kLoginQueryReplySize = 98;
inline constexpr std::size_t kExtendedInfoReplySize = 530;
inline constexpr std::size_t kStatusReplySize = 18;
inline constexpr std::size_t kSevenWordReplySize = 32;
inline constexpr std::size_t kConfigPieceSize = 1044;

// Reply status words.
inline constexpr std::uint16_t kStatusDeviceRecord = 2;
inline constexpr std::uint16_t kStatusOk = 0;
inline constexpr std::uint16_t kStatusLoginNeeded = 256;

using Mac = std::array<std::uint8_t, 6>;
using IPv4 = std::array<std::uint8_t, 4>;
inline constexpr Mac kAnyMac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Bytes 16-17 of a request.
enum class RequestMarker : std::uint16_t
{
    Plain = 0x0000,
    Unicast = 0x7777, // the unicast probe, password check and (by firmware) login query
};

struct RequestHeader
{
    std::uint16_t sequence = 0;
    Opcode opcode = Opcode::Search;
    Mac mac = kAnyMac;
    IPv4 ip{};
    RequestMarker marker = RequestMarker::Plain;
};

using HeaderBytes = std::array<std::uint8_t, kHeaderSize>;
HeaderBytes buildRequestHeader(const RequestHeader& header);

struct ReplyHeader
{
    std::uint16_t sequence = 0;
    std::uint16_t opcode = 0;
    Mac mac{};
    IPv4 ip{};
    std::uint16_t status = 0;
};

// The header of a received datagram. Bytes that a shorter datagram does not hold read as zero
// (as in the zeroed receive buffer of every exchange); the magic is not checked.
ReplyHeader parseReplyHeader(std::span<const std::uint8_t> datagram);

// The next sequence number: the counter grows by one (wrapping at 65536) and its new value is used.
std::uint16_t nextSequence(std::atomic<std::uint16_t>& counter);

} // namespace tessivor::camproto
