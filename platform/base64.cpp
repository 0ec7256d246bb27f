// The Base64 coder (see base64.h).
#include "platform/base64.h"

#include <cstdint>

namespace tessivor {

const char kBase64Alphabet[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

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

std::string base64Encode(const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const std::uint32_t v = (std::uint32_t(p[i]) << 16) | (std::uint32_t(p[i + 1]) << 8) | p[i + 2];
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += kBase64Alphabet[(v >> 6) & 63];
        out += kBase64Alphabet[v & 63];
    }
    const std::size_t rest = size - i;
    if (rest > 0) {
        std::uint32_t v = std::uint32_t(p[i]) << 16;
        if (rest == 2)
            v |= std::uint32_t(p[i + 1]) << 8;
        out += kBase64Alphabet[(v >> 18) & 63];
        out += kBase64Alphabet[(v >> 12) & 63];
        out += rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> base64Decode(std::string_view code)
{
    const auto pad = code.find('=');
    if (pad != std::string_view::npos)
        code = code.substr(0, pad);
    for (const char c : code)
        if (base64Value(static_cast<unsigned char>(c)) < 0)
            return std::nullopt;
    std::string out;
    out.reserve(code.size() / 4 * 3 + 2);
    Base64Decoder decoder;
    decoder.decode(code.data(), code.size(), out);
    decoder.finish(out);
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
    // A short last group of n characters carries n - 1 bytes from the top of its bits; a single
    // character carries fewer than 8 bits and gives nothing.
    if (m_count == 2) {
        out += static_cast<char>((m_bits >> 4) & 0xFF);
    } else if (m_count == 3) {
        out += static_cast<char>((m_bits >> 10) & 0xFF);
        out += static_cast<char>((m_bits >> 2) & 0xFF);
    }
    m_bits = 0;
    m_count = 0;
}

} // namespace tessivor
