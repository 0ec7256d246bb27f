// Text forms of the camera protocols' addresses and numbers: dotted IPv4 addresses, MAC
// addresses and local identities as dot-separated decimal numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessivor::camproto {

// The four bytes of `address` in memory order as "%u.%u.%u.%u".
std::string formatIPv4(const std::uint8_t* address);
// Fills the 4 bytes of `out` (zeroed first) from a dotted text: true on success (an empty text
// gives 0.0.0.0), false when a number is above 255 (the bytes before it stay) or fewer than four
// numbers are given. A negative number stores its low 8 bits; numbers after the fourth are
// ignored; empty pieces between dots do not count. Reading stops at a NUL.
bool parseIPv4(std::string_view text, std::uint8_t* out);
// The leading decimal number of `text` after white space and a sign, as strtol reads it, its
// size bounded so that it never overflows; 0 when there is none.
long long leadingDecimal(std::string_view text);

// `count` bytes as unsigned decimal numbers joined by ".".
std::string bytesToDotted(const std::uint8_t* bytes, std::size_t count);
// Splits at "." and stores each of the first `count` pieces as a decimal number (low 8 bits) into
// one byte; bytes without a piece are left as they were. An empty text sets only the first byte
// to 0.
void dottedToBytes(std::string_view text, std::uint8_t* out, std::size_t count);

} // namespace tessivor::camproto
