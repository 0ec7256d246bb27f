// The camera's seven image settings (resolution, compression, frame rate, brightness, contrast,
// hue, light frequency) as the configuration protocols carry them:
//
//   datagram  one request to port 62976: an 18-byte discovery header (0xFD 0xFD, the sequence
//             number big-endian, opcode 0x0021, the camera's MAC and IPv4 address); the answer
//             repeats the sequence and the MAC and carries the values from byte 18 on as 16-bit
//             little-endian integers (32 bytes at least). Two attempts of 6 seconds.
//   page      the body line of "/IOCONTROL.CGI?CGIQUaere=Image":
//             "Video_Mode=..&Compress=..&Frame_Rate=..&Bright_cntl=..&Contrast_cntl=..&
//             Hue_cntl=..&Light_Freq=..\r\n".
//
// An answer that is shorter than its form, or a value that does not fit 16 bits, never yields
// that value. Nothing here keeps state; the exchange uses only the socket it is given.
#pragma once

#include "io/ws_client.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tessivor::camproto {

inline constexpr std::size_t kImageSettingCount = 7;
using ImageSettingValues = std::array<std::int16_t, kImageSettingCount>;

// ---- the datagram ----

inline constexpr int kImageSettingsPort = 62976;
inline constexpr std::size_t kImageSettingsRequestSize = 18;
inline constexpr std::size_t kImageSettingsReplySize = 32;
using ImageSettingsDatagram = std::array<std::uint8_t, kImageSettingsRequestSize>;

struct ImageSettingsRequest
{
    std::string host; // where the datagram goes
    std::uint16_t sequence = 0;
    std::array<std::uint8_t, 6> mac{};
    std::array<std::uint8_t, 4> ip{};
};

struct ImageSettingsResult
{
    enum class Status
    {
        Read,         // values holds the camera's seven settings
        NoAnswer,     // every attempt ended without an answer of the reply's size
        SocketFailed, // no UDP socket towards the host
        SendFailed,   // the request did not go out whole
        Foreign,      // an answer to another request, or from another camera
    };
    Status status = Status::NoAnswer;
    ImageSettingValues values{}; // meaningful only for Read
};

ImageSettingsDatagram buildImageSettingsRequest(const ImageSettingsRequest& request);

enum class ReplyCheck
{
    Values,   // the reply answers the request and holds the seven values
    TooShort, // fewer than kImageSettingsReplySize bytes
    Foreign,  // another sequence number or another camera's MAC
};
// Checks `reply` against the request it should answer and, for Values, fills `values`
// (untouched otherwise).
ReplyCheck parseImageSettingsReply(std::span<const std::uint8_t> reply, const ImageSettingsDatagram& request,
                                   ImageSettingValues* values);

// The whole exchange over `socket` (closed again when it returns, whatever the outcome).
ImageSettingsResult readImageSettingsDatagram(CWSClient& socket, const ImageSettingsRequest& request);

// ---- the I/O-control page ----

inline constexpr std::string_view kImageSettingsPagePath = "/IOCONTROL.CGI?CGIQUaere=Image";

struct ImageSettingsPage
{
    // True when all seven values were read; otherwise `read` tells which ones were (fields are
    // read in order and the first bad one ends the reading).
    bool complete = false;
    std::array<bool, kImageSettingCount> read{};
    ImageSettingValues values{};
};
// Reads the value line of the page's body (the bytes after the head).
ImageSettingsPage parseImageSettingsPage(std::string_view body);

} // namespace tessivor::camproto
