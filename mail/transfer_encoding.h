// The quoted-printable coders (RFC 2045 section 6.7) of the MIME codec; its Base64 (section 6.8)
// is the shared coder of platform/base64.h. Each is a small state machine that takes input in
// pieces of any size, so a part is never read into memory whole.
//
// The decoder takes whatever arrives: an "=" that starts no valid escape is kept as it stands.
// Neither coder ever reads or writes outside the buffers it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessivor::mime {

// The value of a hexadecimal digit (either case), or -1.
int hexValue(char c);

// Quoted-printable encoding as the MIME codec writes it: bytes 33-60, 62-126, blank and tab as
// they are, everything else (CR and LF included) as "=XX"; a line that already holds more than
// 72 characters is ended with a soft break "=\r\n" before the next byte. A blank or tab that ends
// the data is escaped too, so that no transport can strip it.
class QpEncoder
{
public:
    void encode(const std::uint8_t* in, std::size_t count, std::string& out);
    void finish(std::string& out);

private:
    void put(const char* text, std::size_t n, std::string& out);
    std::size_t m_lineLength = 0;
    int m_pendingBlank = -1; // a blank or tab held back until it is known not to end the data
};

class QpDecoder
{
public:
    void decode(const char* in, std::size_t count, std::string& out);
    // Ends the input: an unfinished escape is kept as it stands.
    void finish(std::string& out);

private:
    void byte(char c, std::string& out);
    enum class State
    {
        Text,
        Equals,      // after "="
        Hex,         // after "=" and one hex digit
        Blanks,      // after "=" and blanks: a soft break when the line ends here
        SoftBreakCr, // after "=" (blanks) CR: an LF completes the soft break
    };
    State m_state = State::Text;
    char m_hex = 0;
    std::string m_held; // "=" and the blanks after it, while undecided (bounded)
};

} // namespace tessivor::mime
