// Local identities and MAC addresses as dot-separated decimal numbers, one number a byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessivor::camproto {

// `count` bytes as unsigned decimal numbers joined by ".".
std::string bytesToDotted(const std::uint8_t* bytes, std::size_t count);
// Splits at "." and stores each of the first `count` pieces as a decimal number (low 8 bits) into
// one byte; bytes without a piece are left as they were. An empty text sets only the first byte
// to 0.
void dottedToBytes(std::string_view text, std::uint8_t* out, std::size_t count);

} // namespace tessivor::camproto
