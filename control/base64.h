// Base64 (RFC 4648 section 4: "A"-"Z", "a"-"z", "0"-"9", "+", "/", "=" padding, no line breaks).
// The plain coder, free of any control state. The control's own members that also keep the last
// credential code (CImage::Base64Encode, CImage::Base64EncodeBuffer) stand on it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tessivor {

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

} // namespace tessivor
