// Field conversions shared by the camera-configuration packets and pages: dotted IPv4 text,
// the 16-bit word sum that the configuration packets carry as their check word, and the
// lenient decimal reading of numbers in the cameras' text answers.
//
// All of them look only at the bytes they are given and keep no state; any thread may call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tessivor::camproto {

// The four bytes of `address` in memory order as "%u.%u.%u.%u".
std::string formatIPv4(const std::uint8_t* address);

// Fills the 4 bytes of `out` (zeroed first) from a dotted text: 1 on success (an empty text
// gives 0.0.0.0), 0 when a number is above 255 (the bytes before it stay) or fewer than four
// numbers are given. A negative number stores its low 8 bits; numbers after the fourth are
// ignored. Text past the first NUL or past 259 characters is not looked at.
int parseIPv4(std::string_view text, std::uint8_t* out);

// Sum of the data as unsigned 16-bit little-endian words (an odd last byte added as 0-255),
// modulo 65536.
std::uint16_t wordSum(const void* data, std::size_t length);

// Decimal conversion in the manner of atoi: leading blanks skipped, an optional sign, digits up
// to the first other character (no digits: 0). Saturates instead of overflowing.
long long leadingDecimal(std::string_view text);

} // namespace tessivor::camproto
