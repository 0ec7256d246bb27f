// Bit and number routines on 16- and 32-bit signed integers. Bits are numbered from 0 (least
// significant); a bit number past the type's width sets, clears and tests nothing.
#pragma once

#include <cstdint>

namespace pellucor {

// The low 16 bits of `value` as a signed number.
std::int16_t LongToInt(std::int32_t value);
// The low 16 bits of value << count as a signed number; 0 for a count of 16 or more.
std::int16_t Shli(std::int16_t value, std::uint8_t count);
// The low 32 bits of value << count as a signed number; 0 for a count of 32 or more.
std::int32_t Shll(std::int32_t value, std::uint8_t count);
// `value` taken modulo 2^32 into the signed 32-bit range and rounded to the nearest integer
// (ties to even): 2^31 gives -2^31, 2^32 gives 0. Not-a-number and infinities give 0.
std::int32_t dblToLong(double value);

void BitSetInteger(std::int16_t& target, std::uint8_t bit);
void BitClearInteger(std::int16_t& target, std::uint8_t bit);
bool BitTestInteger(std::int16_t value, std::uint8_t bit);
bool BitTestLong(std::int32_t value, std::uint8_t bit);

} // namespace pellucor
