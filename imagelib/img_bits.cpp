// Runs of bits in 1-bit pixel rows (see img_bits.h).
#include "imagelib/img_bits.h"

#include <cstring>

std::uint8_t img_run_mask(std::uint32_t b, std::uint32_t x, std::uint32_t n)
{
    const std::uint64_t lo = std::uint64_t{b} * 8, hi = lo + 8;
    const std::uint64_t from = x > lo ? x : lo;
    const std::uint64_t to = std::uint64_t{x} + n < hi ? std::uint64_t{x} + n : hi;
    if (from >= to)
        return 0;
    const unsigned count = static_cast<unsigned>(to - from), skip = static_cast<unsigned>(from - lo);
    return static_cast<std::uint8_t>((0xFF00u >> count) & 0xFF) >> skip;
}

void img_bits_extract(const std::uint8_t* row, std::uint32_t x, std::uint32_t n, std::uint8_t* out)
{
    if (n == 0)
        return;
    const std::uint32_t outBytes = (n + 7) / 8;
    if ((x & 7) == 0) {
        std::memcpy(out, row + (x >> 3), outBytes);
        if (n & 7)
            out[outBytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (n & 7));
        return;
    }
    const std::uint32_t first = x >> 3, last = (x + n - 1) >> 3; // source bytes of the run
    const unsigned shift = x & 7;
    for (std::uint32_t k = 0; k < outBytes; ++k) {
        const std::uint32_t b = first + k;
        unsigned v = static_cast<unsigned>(row[b]) << shift;
        if (shift && b + 1 <= last)
            v |= row[b + 1] >> (8 - shift);
        out[k] = static_cast<std::uint8_t>(v);
    }
    if (n & 7)
        out[outBytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (n & 7));
}

void img_bits_insert(std::uint8_t* row, std::uint32_t x, std::uint32_t n, const std::uint8_t* in)
{
    if (n == 0)
        return;
    if ((x & 7) == 0) {
        std::uint8_t* to = row + (x >> 3);
        std::memcpy(to, in, n >> 3);
        if (n & 7) {
            const auto mask = static_cast<std::uint8_t>(0xFF00u >> (n & 7));
            to[n >> 3] = static_cast<std::uint8_t>((to[n >> 3] & ~mask) | (in[n >> 3] & mask));
        }
        return;
    }
    const std::uint32_t first = x >> 3, last = (x + n - 1) >> 3;
    const std::uint32_t inLast = (n - 1) >> 3;
    const unsigned shift = x & 7;
    for (std::uint32_t b = first; b <= last; ++b) {
        const std::uint32_t k = b - first; // input byte whose high bits land in this byte
        unsigned v = 0;
        if (shift == 0) {
            v = in[k];
        } else {
            if (k >= 1)
                v |= static_cast<unsigned>(in[k - 1]) << (8 - shift);
            if (k <= inLast)
                v |= in[k] >> shift;
        }
        const std::uint8_t m = img_run_mask(b, x, n);
        row[b] = static_cast<std::uint8_t>((row[b] & ~m) | (v & m));
    }
}

void img_bits_clear(std::uint8_t* row, std::uint32_t x, std::uint32_t n)
{
    if (n == 0)
        return;
    for (std::uint32_t b = x >> 3; b <= (x + n - 1) >> 3; ++b)
        row[b] &= static_cast<std::uint8_t>(~img_run_mask(b, x, n));
}

void img_bits_fill(std::uint8_t* row, std::uint32_t x, std::uint32_t n)
{
    if (n == 0)
        return;
    for (std::uint32_t b = x >> 3; b <= (x + n - 1) >> 3; ++b)
        row[b] |= img_run_mask(b, x, n);
}
