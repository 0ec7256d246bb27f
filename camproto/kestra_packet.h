// The fixed-packet command protocol of the Kestra camera family on the camera's command port.
//
// Every packet is 128 bytes in each direction, all unused bytes zero, numbers 32-bit
// little-endian:
//
//   0   10  company word "Brevantine" (no terminator); a reply without it is refused
//   16  4   request: command number;  reply: 81 when the camera did the command
//   20  4   request: payload (see the builders);  reply: data length n
//   24  104 request: payload;  reply: n data bytes
//
// The site survey (command 95) is answered with one 2000-byte block instead: the company word,
// the entry count at 16, and 59-byte entries from 20.
//
// The hard part is that every length in a reply is the camera's word: the parsers take a data
// length, an entry count or a status field only as far as the bytes that actually arrived hold
// it, so a short or lying reply can never make them read past what was received. Nothing here
// keeps state; any thread may call it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor::camproto {

inline constexpr std::size_t kKestraPacketSize = 128;
inline constexpr std::string_view kKestraCompanyWord = "Brevantine";
inline constexpr std::uint32_t kKestraReplyDone = 81;
inline constexpr std::size_t kKestraDataOffset = 24;
inline constexpr std::size_t kKestraDataMax = kKestraPacketSize - kKestraDataOffset; // 104

// Command numbers the control uses by name.
inline constexpr std::uint32_t kKestraCmdStatus = 83;     // 'S'
inline constexpr std::uint32_t kKestraCmdSiteSurvey = 95; // '_'
inline constexpr std::uint32_t kKestraCmdUserCheck = 45;
inline constexpr std::uint32_t kKestraCmdUserChange = 46;
inline constexpr std::uint32_t kKestraCmdLengthWrite = 16; // write with the length form
inline constexpr std::uint32_t kKestraCmdPlainWrite = 18;

using KestraPacket = std::array<std::uint8_t, kKestraPacketSize>;

// ---- requests ----

// Plain read: nothing after the command number.
KestraPacket buildKestraRead(std::uint32_t command);
// Read with a parameter: at most 64 bytes of it from byte 20.
KestraPacket buildKestraReadParam(std::uint32_t command, std::span<const std::uint8_t> param);
// Read with two parameters: the first (at most 64 bytes) from 20, the second (at most 44) from 84.
KestraPacket buildKestraReadAuth(std::uint32_t command, std::span<const std::uint8_t> first,
                                 std::span<const std::uint8_t> second);
// Write with the length form: `length` at 20, sixteen bytes of `value` (zero-padded) from 24.
KestraPacket buildKestraWriteLength(std::uint32_t command, std::uint32_t length,
                                    std::span<const std::uint8_t> value);
// Write without the length form: the value from 20, at most 64 bytes.
KestraPacket buildKestraWritePlain(std::uint32_t command, std::span<const std::uint8_t> value);

// ---- replies ----

enum class KestraReplyStatus
{
    Done,      // company word and 81
    Short,     // fewer than 128 bytes arrived
    NotKestra, // no company word
    NotDone,   // the camera answered something other than 81
};

struct KestraReply
{
    KestraReplyStatus status = KestraReplyStatus::Short;
    std::uint32_t answer = 0;       // bytes 16-19 (when they arrived)
    std::vector<std::uint8_t> data; // Done only: the data, at most 104 bytes
};

// A received command reply. Only a whole 128-byte packet can be Done; its data length is cut to
// the 104 bytes the packet holds.
KestraReply parseKestraReply(std::span<const std::uint8_t> received);

// The data of the answer to the status command, as kept by the control (at most 160 bytes; a
// packet carries at most 104). Fields lying past the stored length read as zero.
struct KestraStatusBlock
{
    static constexpr std::size_t kCapacity = 160;
    static constexpr std::size_t kName = 0;
    static constexpr std::size_t kNameSize = 16;
    static constexpr std::size_t kMac = 32;
    static constexpr std::size_t kIp = 38;
    static constexpr std::size_t kPanTilt = 80;
    static constexpr std::size_t kWireless = 81;

    std::array<std::uint8_t, kCapacity> bytes{};
    std::size_t length = 0;

    static KestraStatusBlock fromData(std::span<const std::uint8_t> data);
    // The name text: up to its first zero byte, never past 16 bytes or the stored length.
    std::string name() const;
    // Present only when the data reached that far.
    std::optional<std::array<std::uint8_t, 6>> mac() const;
    std::optional<std::array<std::uint8_t, 4>> ip() const;
    std::uint8_t panTilt() const;
    std::uint8_t wireless() const;

private:
    std::uint8_t at(std::size_t offset) const { return offset < length ? bytes[offset] : 0; }
};

// ---- site survey ----

inline constexpr std::size_t kSiteSurveyAnswerSize = 2000;
inline constexpr std::size_t kSiteSurveyCountOffset = 16;
inline constexpr std::size_t kSiteSurveyEntriesOffset = 20;
inline constexpr std::size_t kSiteSurveyEntrySize = 59;
inline constexpr std::size_t kSiteSurveyMaxEntries = 32;

// One access point of a camera's site survey. The texts are kept as their raw fields; readers
// end them at the first zero byte.
struct SiteSurveyEntry
{
    std::uint32_t magic = 0;
    std::array<char, 18> bssid{};
    std::array<char, 33> ssid{};
    std::uint8_t channel = 0;
    std::uint8_t encryption = 0;
    std::uint8_t signal = 0;
    std::uint8_t bssMode = 0;
};

// The entries of a received survey answer: nullopt when it does not begin with the company
// word (or is too short to carry a count). Otherwise the claimed count, at most 32, of which
// only the entries that arrived whole are returned.
std::optional<std::vector<SiteSurveyEntry>> parseSiteSurvey(std::span<const std::uint8_t> received);

} // namespace tessivor::camproto
