// Parsers of what the camera's web server sends: the heads of the pushed picture streams
// (Protocols 1, 2 and 50) and the answers of the repeated-request stream (Protocol 4).
//
// Everything here looks only at the bytes it is given (never past them, never at a terminator
// that may not be there) and keeps no socket: the stream readers feed it what they received.
// Both are fuzzed (fuzz/stream_parsers_fuzz.cpp).
#pragma once

#include "camproto/packet_fields.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessivor {

using ByteView = std::span<const std::uint8_t>;

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Position of `text` in `data` at or after `from`, or kNotFound.
std::size_t findBytes(ByteView data, std::string_view text, std::size_t from = 0);

using camproto::leadingDecimal;

// ---- pushed picture streams ----

// The frame size limit of the pushed streams and of the native protocol, in bytes.
inline constexpr std::uint32_t kMaxPushedFrame = 100000;

// The status of the first block of a pushed stream: -1 when it holds "HTTP/1.0 200 OK\r\n",
// else the reader result: 3 ("400" anywhere in it), 5 ("401"), 4 ("403") or 0.
int classifyPushStatus(ByteView block);

// Where the JPEG data of a part begins, relative to its "Content-length:" line.
enum class FrameStart
{
    AfterImageJpeg, // behind "image/jpeg\r\n\r\n" (first part of "/VIDEO.CGI", "/mjpeg.cgi")
    AfterNextLine,  // behind the line after the length line and an empty line (first part of "/N.cgi")
    AfterEmptyLine, // behind the first "\r\n\r\n" after the length line (every later part)
};

struct PartHead
{
    enum class Status
    {
        Found,         // length and frameStart are valid
        Incomplete,    // a field has not ended within the bytes: more bytes may complete it
        NoLength,      // no "Content-length:" in the bytes
        BadLengthText, // the value is not 1 to 6 characters
        BadLength,     // the value is 0 or above kMaxPushedFrame
        NoFrameStart,  // the frame-start mark is missing
    };
    Status status = Status::NoLength;
    std::uint32_t length = 0;
    std::size_t lengthField = 0; // where "Content-length:" begins
    std::size_t frameStart = 0;  // first byte of the JPEG data
};

// Finds the first part head in `data`. A mark that may still arrive gives Incomplete when
// `complete` is false (the bytes are a block still being received) and the failure otherwise.
PartHead parsePartHead(ByteView data, FrameStart rule, bool complete);

// The pan/tilt position in a "/mjpeg.cgi" head: "Date:", then "_PT_", X as 1 to 3 characters up to
// the next "_", and Y as the 3 characters 8 after the start of "_PT_". nullopt when the head
// holds no usable position.
struct PanTilt
{
    int x = 0;
    int y = 0;
};
std::optional<PanTilt> parsePanTilt(ByteView head);

// ---- the repeated-request stream ----

// Gathers the answers of a kept-alive connection on which the same GET goes out again and again,
// each answered by a head and one JPEG body. Received bytes go into the gathering area
// (space()/commit()); next() takes the next answer head or complete frame from its front.
//
// Between a body and the next head a camera may send part delimiters; they are skipped up to
// the next status line. A head longer than kMaxHead, a status other than 200 or 503, a 200
// without a length inside the hand-off limits, or more than kMaxHead bytes of junk before a head
// make next() ask for a new connection: nothing that cannot be a whole frame is handed on.
class MjpegGatherer
{
public:
    static constexpr std::size_t kCapacity = 200000;
    static constexpr std::size_t kMaxHead = 1024;
    static constexpr std::uint32_t kMinFrame = 101;    // smallest body handed on
    static constexpr std::uint32_t kMaxFrame = 149999; // largest body handed on

    struct Answer
    {
        int status = 0;                      // 200 or 503
        std::uint32_t length = 0;            // body length (200 only)
        std::optional<long long> time;       // "Time:" seconds since 1970
        std::optional<long long> usec;       // "Usec:"
        std::optional<std::string> userData; // "Userdata:"
    };

    enum class Kind
    {
        NeedMore,  // nothing complete in the area
        Head,      // an answer head was taken (answer())
        Frame,     // a complete body (frame()) is at the front; valid until the next call
        Reconnect, // the stream is unusable (reason())
    };

    MjpegGatherer();

    // Free room for the next receive (never empty while next() has not asked for a new
    // connection), and how many bytes of it were filled.
    std::span<std::uint8_t> space();
    void commit(std::size_t received);

    Kind next();
    const Answer& answer() const { return m_answer; }
    ByteView frame() const { return m_frame; }
    const char* reason() const { return m_reason; }

    // Bytes gathered and not yet taken.
    std::size_t pending() const { return m_end - m_start; }
    // Forgets everything (a new connection).
    void reset();

private:
    Kind reconnect(const char* why);

    std::vector<std::uint8_t> m_area;
    std::size_t m_start = 0;
    std::size_t m_end = 0;
    std::size_t m_consumeOnNext = 0; // bytes of the frame handed out last, dropped at the next call
    std::uint32_t m_bodyLeft = 0;    // body bytes still expected; 0 while a head is expected
    std::size_t m_junk = 0;          // bytes skipped since the last head
    Answer m_answer;
    ByteView m_frame;
    const char* m_reason = "";
};

} // namespace tessivor
