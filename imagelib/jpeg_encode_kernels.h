// The per-pixel and per-block work of the JPEG encoder (colour conversion, 2 x 2 chroma
// averaging, forward DCT with quantisation) in interchangeable forms: the plain C++ one, an SSE2
// one that every x86-64 processor runs, and an AVX2 one. All forms give the same bytes; the
// encoder asks encodeKernels() once per picture, which picks the fastest form the processor has
// (or the one a test forced).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tessivor::jpeg {

// A quantisation table with the forms of its divisors that the quantisers use. The divisor of a
// coefficient is 8 x the table value, because the forward DCT leaves 8 times the true
// coefficient; every form computes round-half-up of |c| / divisor with the sign of c.
struct QuantTable
{
    std::array<std::uint16_t, 64> value{};      // table value, natural order
    std::array<std::uint32_t, 64> divisor{};    // 8 x value
    std::array<std::uint32_t, 64> reciprocal{}; // plain form: floor(2^34 / divisor) + 1
    // Vector forms, 16-bit lanes, natural order: q = hi(hi(|c| + half, multiplier), scale),
    // where hi(a, b) is the high half of the 32-bit product (see makeQuantTable).
    // (Plain arrays: the vector forms' files touch no inline library code, see their build
    // notes.)
    alignas(32) std::uint16_t half[64] = {};
    alignas(32) std::uint16_t multiplier[64] = {};
    alignas(32) std::uint16_t scale[64] = {};
    bool wide = false; // some value above 255: 16-bit DQT entries
};

// The table of `base` (natural order) scaled by `scale` percent.
[[nodiscard]] QuantTable makeQuantTable(const std::array<std::uint8_t, 64>& base, int scale);

struct EncodeKernels
{
    // `count` pixels of blue, green, red to Y, Cb and Cr samples.
    void (*convertBgr)(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb,
                       std::uint8_t* cr);
    // Averages the 2 x 2 groups of rows `a` and `b` into `outW` samples; the rounding bias
    // alternates 1, 2 along the row so that it does not drift one way.
    void (*downsample)(const std::uint8_t* a, const std::uint8_t* b, int outW, std::uint8_t* out);
    // Forward DCT and quantisation of two 8 x 8 blocks of samples (rows `stride` apart) with the
    // same table; `zzA` and `zzB` get 64 coefficients each in zigzag order. `a` may equal `b`
    // (and then `zzA` may equal `zzB`).
    void (*transformPair)(const std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t stride,
                          const QuantTable& q, std::int16_t* zzA, std::int16_t* zzB);
};

enum class EncodePath
{
    Best, // the fastest form this processor runs
    Plain,
    Sse2,
    Avx2,
};

// The kernels of the form in force. Thread-safe.
const EncodeKernels& encodeKernels();

// Makes later encodes use `path` (tests and benchmarks compare the forms); false, and nothing
// changed, when the processor cannot run it. Thread-safe.
bool forceEncodePath(EncodePath path);

// The form encodeKernels() hands out now (never Best).
EncodePath encodePath();

// The forms themselves, for the dispatcher. The vector ones exist on x86-64 builds only.
extern const EncodeKernels kPlainEncodeKernels;
#if defined(__x86_64__)
extern const EncodeKernels kSse2EncodeKernels;
extern const EncodeKernels kAvx2EncodeKernels;
#endif

} // namespace tessivor::jpeg
