#include "mail/transfer_encoding.h"

namespace tessivor::mime {

namespace {

const char kHexDigits[] = "0123456789ABCDEF";

// A blank run after "=" longer than any line is no soft break: give up holding it.
constexpr std::size_t kMaxHeldBlanks = 998;

} // namespace

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10; // not written by encoders, accepted as RFC 2045 advises
    return -1;
}

void QpEncoder::put(const char* text, std::size_t n, std::string& out)
{
    if (m_lineLength > 72) {
        out += "=\r\n";
        m_lineLength = 0;
    }
    out.append(text, n);
    m_lineLength += n;
}

void QpEncoder::encode(const std::uint8_t* in, std::size_t count, std::string& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (m_pendingBlank >= 0) {
            const char blank = static_cast<char>(m_pendingBlank);
            put(&blank, 1, out);
            m_pendingBlank = -1;
        }
        const std::uint8_t b = in[i];
        if (b == ' ' || b == '\t') {
            m_pendingBlank = b;
        } else if ((b >= 33 && b <= 60) || (b >= 62 && b <= 126)) {
            const char c = static_cast<char>(b);
            put(&c, 1, out);
        } else {
            const char escaped[3] = {'=', kHexDigits[b >> 4], kHexDigits[b & 15]};
            put(escaped, 3, out);
        }
    }
}

void QpEncoder::finish(std::string& out)
{
    if (m_pendingBlank >= 0) {
        const char escaped[3] = {'=', kHexDigits[m_pendingBlank >> 4], kHexDigits[m_pendingBlank & 15]};
        put(escaped, 3, out);
        m_pendingBlank = -1;
    }
    m_lineLength = 0;
}

void QpDecoder::decode(const char* in, std::size_t count, std::string& out)
{
    for (std::size_t i = 0; i < count; ++i)
        byte(in[i], out);
}

void QpDecoder::byte(char c, std::string& out)
{
    switch (m_state) {
    case State::Text:
        if (c == '=') {
            m_state = State::Equals;
            m_held.assign(1, '=');
        } else {
            out += c;
        }
        return;
    case State::Equals: {
        const int v = hexValue(c);
        if (v >= 0) {
            m_hex = c;
            m_state = State::Hex;
        } else if (c == ' ' || c == '\t') {
            m_held += c;
            m_state = State::Blanks;
        } else if (c == '\r') {
            m_state = State::SoftBreakCr;
        } else if (c == '\n') {
            m_state = State::Text; // soft break with a bare LF
            m_held.clear();
        } else {
            out += m_held; // "=" that starts no escape is kept
            m_held.clear();
            m_state = State::Text;
            byte(c, out);
        }
        return;
    }
    case State::Hex: {
        const int v = hexValue(c);
        if (v >= 0) {
            out += static_cast<char>((hexValue(m_hex) << 4) | v);
            m_state = State::Text;
            m_held.clear();
        } else {
            out += '=';
            out += m_hex;
            m_held.clear();
            m_state = State::Text;
            byte(c, out);
        }
        return;
    }
    case State::Blanks:
        if ((c == ' ' || c == '\t') && m_held.size() < kMaxHeldBlanks) {
            m_held += c;
        } else if (c == '\r') {
            m_state = State::SoftBreakCr;
        } else if (c == '\n') {
            m_state = State::Text;
            m_held.clear();
        } else {
            out += m_held;
            m_held.clear();
            m_state = State::Text;
            byte(c, out);
        }
        return;
    case State::SoftBreakCr:
        m_held.clear();
        m_state = State::Text;
        if (c != '\n')
            byte(c, out); // "=" CR without LF still ends the line softly
        return;
    }
}

void QpDecoder::finish(std::string& out)
{
    switch (m_state) {
    case State::Equals:
    case State::Blanks:
        out += m_held;
        break;
    case State::Hex:
        out += '=';
        out += m_hex;
        break;
    case State::Text:
    case State::SoftBreakCr:
        break;
    }
    m_held.clear();
    m_state = State::Text;
}

} // namespace tessivor::mime
