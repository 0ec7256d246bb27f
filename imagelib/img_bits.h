// Runs of bits in 1-bit pixel rows: a run of n bits from bit position x of a row, most
// significant bit first. Shared by resize, rotation, colour conversion and the TIFF coder.
#pragma once

#include <cstdint>

// Copies the run into `out` (at least (n + 7) / 8 bytes), aligned; bits after the run cleared.
void img_bits_extract(const std::uint8_t* row, std::uint32_t x, std::uint32_t n, std::uint8_t* out);
// Writes an aligned run back at position x, keeping the row's bits outside the run.
void img_bits_insert(std::uint8_t* row, std::uint32_t x, std::uint32_t n, const std::uint8_t* in);
// Clears / sets the run, keeping the bits outside it.
void img_bits_clear(std::uint8_t* row, std::uint32_t x, std::uint32_t n);
void img_bits_fill(std::uint8_t* row, std::uint32_t x, std::uint32_t n);

// Mask of the bits of byte `b` (absolute byte index of a row) that lie in [x, x + n).
std::uint8_t img_run_mask(std::uint32_t b, std::uint32_t x, std::uint32_t n);
