#include "mail/transfer_encoding.h"

namespace tessivor::mime {

const char kBase64Alphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

namespace {

// Value of a Base64 character, or -1.
int base64Value(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

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

std::string base64Line(const std::uint8_t* data, std::size_t count)
{
    std::string out;
    out.reserve((count + 2) / 3 * 4);
    for (std::size_t i = 0; i < count; i += 3) {
        const std::uint32_t b0 = data[i];
        const std::uint32_t b1 = i + 1 < count ? data[i + 1] : 0;
        const std::uint32_t b2 = i + 2 < count ? data[i + 2] : 0;
        const std::uint32_t group = (b0 << 16) | (b1 << 8) | b2;
        out += kBase64Alphabet[(group >> 18) & 63];
        out += kBase64Alphabet[(group >> 12) & 63];
        out += i + 1 < count ? kBase64Alphabet[(group >> 6) & 63] : '=';
        out += i + 2 < count ? kBase64Alphabet[group & 63] : '=';
    }
    return out;
}

void Base64Decoder::decode(const char* in, std::size_t count, std::string& out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == '=') {
            finish(out); // the fill ends the group; anything after it starts a new one
            continue;
        }
        const int v = base64Value(c);
        if (v < 0)
            continue; // line breaks, blanks and anything else outside the alphabet
        m_bits = (m_bits << 6) | static_cast<std::uint32_t>(v);
        if (++m_count == 4) {
            out += static_cast<char>((m_bits >> 16) & 0xFF);
            out += static_cast<char>((m_bits >> 8) & 0xFF);
            out += static_cast<char>(m_bits & 0xFF);
            m_bits = 0;
            m_count = 0;
        }
    }
}

void Base64Decoder::finish(std::string& out)
{
    if (m_count == 2) {
        out += static_cast<char>((m_bits >> 4) & 0xFF);
    } else if (m_count == 3) {
        out += static_cast<char>((m_bits >> 10) & 0xFF);
        out += static_cast<char>((m_bits >> 2) & 0xFF);
    }
    // A single character carries fewer than 8 bits: nothing to give.
    m_bits = 0;
    m_count = 0;
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
