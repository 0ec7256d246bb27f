// The accurate integer 8 x 8 DCT pair of the JPEG coder: the Loeffler-Ligtenberg-Moschytz flow
// graph with 13-bit fixed-point constants, in two one-dimensional passes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessivor::jpeg {

// Forward DCT of 8 x 8 samples (0..255, rows `stride` bytes apart) centred on 128. `out` gets
// 8 times the true DCT coefficients in natural order. Rows first, keeping 2 extra bits of
// precision, then columns.
void forwardDct(const std::uint8_t* samples, std::ptrdiff_t stride, std::int32_t out[64]);

// Inverse DCT of one block: `coef` in natural order is multiplied by `quant` (natural order),
// transformed (columns first, then rows), re-centred on 128 and clamped to 0..255 into 8 rows
// of 8 samples, `stride` bytes apart.
void inverseDct(const std::int16_t coef[64], const std::int32_t quant[64], std::uint8_t* out,
                std::ptrdiff_t stride);

} // namespace tessivor::jpeg
