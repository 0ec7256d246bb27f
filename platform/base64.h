// Base64 (RFC 4648 section 4, the alphabet RFC 2045 uses too: "A"-"Z", "a"-"z", "0"-"9", "+",
// "/", "=" padding). One coder for the control's credentials and members and for the e-mail
// transfer encoding: the encoder writes no line breaks (whoever needs lines cuts the input), the
// strict decoder refuses any byte outside the alphabet, the streaming decoder skips them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessivor {

extern const char kBase64Alphabet[65];

// The value of an alphabet character, -1 for every other byte ("=" included).
int base64Value(unsigned char c);

// The code of `size` bytes: 4 characters for every 3 bytes, rounded up.
std::string base64Encode(const void* data, std::size_t size);
inline std::string base64Encode(std::string_view bytes)
{
    return base64Encode(bytes.data(), bytes.size());
}

// Decodes `code` up to its end or its first "=" (whatever follows is ignored). Missing padding is
// accepted: a last group of 2 or 3 characters gives 1 or 2 bytes, a lone character none.
// std::nullopt when a character outside the alphabet (blank, line break, byte 0x80 or above...)
// comes before the first "=".
std::optional<std::string> base64Decode(std::string_view code);

// Decoding of input in pieces of any size, as MIME parts arrive: a group may span two pieces,
// every byte outside the alphabet is skipped and "=" ends the group it stands in (anything after
// it starts a new one). Never reads or writes outside the buffers it is given.
class Base64Decoder
{
public:
    // Decodes `count` input bytes and appends the result to `out`.
    void decode(const char* in, std::size_t count, std::string& out);
    // Ends the input: a group of 2 or 3 characters without its "=" fill still gives its bytes.
    void finish(std::string& out);

private:
    std::uint32_t m_bits = 0;
    int m_count = 0; // characters in the current group
};

} // namespace tessivor
