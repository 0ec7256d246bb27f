// Both directions use the same butterfly: an even part of three rotations on the sums and an
// odd part that shares one multiplication (z5) between its four outputs, twelve multiplications
// per one-dimensional pass. The constants are the cosines of the flow graph times 2^13; every
// product and sum stays an exact integer, so only the rounding shifts after each pass decide the
// result, and any arrangement of the same sums gives the same bits.
//
// Forward: rows keep PASS1_BITS extra bits (the DC and 4th outputs, whose sums need no
// multiplication, are shifted left instead); columns remove them again, leaving 8 times the true
// coefficients, which is what the quantiser's divisors (8 times the table values) expect.
// Inverse: columns first with the dequantised inputs; their results keep PASS1_BITS extra bits,
// and the row pass removes those, the 2^13 of the constants and the factor 8.
#include "imagelib/jpeg_dct.h"

#include <algorithm>

namespace tessivor::jpeg {

namespace {

constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;

constexpr std::int32_t FIX_0_298631336 = 2446;
constexpr std::int32_t FIX_0_390180644 = 3196;
constexpr std::int32_t FIX_0_541196100 = 4433;
constexpr std::int32_t FIX_0_765366865 = 6270;
constexpr std::int32_t FIX_0_899976223 = 7373;
constexpr std::int32_t FIX_1_175875602 = 9633;
constexpr std::int32_t FIX_1_501321110 = 12299;
constexpr std::int32_t FIX_1_847759065 = 15137;
constexpr std::int32_t FIX_1_961570560 = 16069;
constexpr std::int32_t FIX_2_053119869 = 16819;
constexpr std::int32_t FIX_2_562915447 = 20995;
constexpr std::int32_t FIX_3_072711026 = 25172;

template <class T> constexpr T descale(T x, int n)
{
    return (x + (T(1) << (n - 1))) >> n;
}

// One forward pass over 8 values `step` apart. `Final` selects the column pass.
template <bool Final> inline void forward1d(std::int32_t* d, int step)
{
    const std::int32_t tmp0 = d[0] + d[7 * step];
    const std::int32_t tmp7 = d[0] - d[7 * step];
    const std::int32_t tmp1 = d[step] + d[6 * step];
    const std::int32_t tmp6 = d[step] - d[6 * step];
    const std::int32_t tmp2 = d[2 * step] + d[5 * step];
    const std::int32_t tmp5 = d[2 * step] - d[5 * step];
    const std::int32_t tmp3 = d[3 * step] + d[4 * step];
    const std::int32_t tmp4 = d[3 * step] - d[4 * step];

    // Outputs that went through a multiplication carry the constants' 2^13 as well.
    constexpr int kMulShift = Final ? kConstBits + kPass1Bits : kConstBits - kPass1Bits;

    // Even part.
    const std::int32_t tmp10 = tmp0 + tmp3;
    const std::int32_t tmp13 = tmp0 - tmp3;
    const std::int32_t tmp11 = tmp1 + tmp2;
    const std::int32_t tmp12 = tmp1 - tmp2;
    if constexpr (Final) {
        d[0] = descale(tmp10 + tmp11, kPass1Bits);
        d[4 * step] = descale(tmp10 - tmp11, kPass1Bits);
    } else {
        d[0] = (tmp10 + tmp11) * (1 << kPass1Bits);
        d[4 * step] = (tmp10 - tmp11) * (1 << kPass1Bits);
    }
    const std::int32_t z1 = (tmp12 + tmp13) * FIX_0_541196100;
    d[2 * step] = descale(z1 + tmp13 * FIX_0_765366865, kMulShift);
    d[6 * step] = descale(z1 - tmp12 * FIX_1_847759065, kMulShift);

    // Odd part.
    std::int32_t oz1 = tmp4 + tmp7;
    std::int32_t oz2 = tmp5 + tmp6;
    std::int32_t oz3 = tmp4 + tmp6;
    std::int32_t oz4 = tmp5 + tmp7;
    const std::int32_t z5 = (oz3 + oz4) * FIX_1_175875602;
    const std::int32_t t4 = tmp4 * FIX_0_298631336;
    const std::int32_t t5 = tmp5 * FIX_2_053119869;
    const std::int32_t t6 = tmp6 * FIX_3_072711026;
    const std::int32_t t7 = tmp7 * FIX_1_501321110;
    oz1 *= -FIX_0_899976223;
    oz2 *= -FIX_2_562915447;
    oz3 = oz3 * -FIX_1_961570560 + z5;
    oz4 = oz4 * -FIX_0_390180644 + z5;
    d[7 * step] = descale(t4 + oz1 + oz3, kMulShift);
    d[5 * step] = descale(t5 + oz2 + oz4, kMulShift);
    d[3 * step] = descale(t6 + oz2 + oz3, kMulShift);
    d[step] = descale(t7 + oz1 + oz4, kMulShift);
}

// One inverse pass: in[0..7] (already dequantised, `step` apart) to out[0..7] (`ostep` apart)
// before the final shift by `shift`.
inline void inverse1d(const std::int64_t* in, int step, std::int64_t* out, int ostep, int shift)
{
    // Even part.
    std::int64_t z2 = in[2 * step];
    std::int64_t z3 = in[6 * step];
    std::int64_t z1 = (z2 + z3) * FIX_0_541196100;
    const std::int64_t tmp2 = z1 - z3 * FIX_1_847759065;
    const std::int64_t tmp3 = z1 + z2 * FIX_0_765366865;
    z2 = in[0];
    z3 = in[4 * step];
    const std::int64_t tmp0 = (z2 + z3) * (1 << kConstBits);
    const std::int64_t tmp1 = (z2 - z3) * (1 << kConstBits);
    const std::int64_t tmp10 = tmp0 + tmp3;
    const std::int64_t tmp13 = tmp0 - tmp3;
    const std::int64_t tmp11 = tmp1 + tmp2;
    const std::int64_t tmp12 = tmp1 - tmp2;

    // Odd part.
    std::int64_t o0 = in[7 * step];
    std::int64_t o1 = in[5 * step];
    std::int64_t o2 = in[3 * step];
    std::int64_t o3 = in[step];
    std::int64_t oz1 = o0 + o3;
    std::int64_t oz2 = o1 + o2;
    std::int64_t oz3 = o0 + o2;
    std::int64_t oz4 = o1 + o3;
    const std::int64_t z5 = (oz3 + oz4) * FIX_1_175875602;
    o0 *= FIX_0_298631336;
    o1 *= FIX_2_053119869;
    o2 *= FIX_3_072711026;
    o3 *= FIX_1_501321110;
    oz1 *= -FIX_0_899976223;
    oz2 *= -FIX_2_562915447;
    oz3 = oz3 * -FIX_1_961570560 + z5;
    oz4 = oz4 * -FIX_0_390180644 + z5;
    o0 += oz1 + oz3;
    o1 += oz2 + oz4;
    o2 += oz2 + oz3;
    o3 += oz1 + oz4;

    out[0] = descale(tmp10 + o3, shift);
    out[7 * ostep] = descale(tmp10 - o3, shift);
    out[ostep] = descale(tmp11 + o2, shift);
    out[6 * ostep] = descale(tmp11 - o2, shift);
    out[2 * ostep] = descale(tmp12 + o1, shift);
    out[5 * ostep] = descale(tmp12 - o1, shift);
    out[3 * ostep] = descale(tmp13 + o0, shift);
    out[4 * ostep] = descale(tmp13 - o0, shift);
}

} // namespace

void forwardDct(const std::uint8_t* samples, std::ptrdiff_t stride, std::int32_t out[64])
{
    for (int y = 0; y < 8; ++y) {
        const std::uint8_t* s = samples + y * stride;
        std::int32_t* d = out + y * 8;
        for (int x = 0; x < 8; ++x) {
            d[x] = static_cast<std::int32_t>(s[x]) - 128;
        }
        forward1d<false>(d, 1);
    }
    for (int x = 0; x < 8; ++x) {
        forward1d<true>(out + x, 8);
    }
}

void inverseDct(const std::int16_t coef[64], const std::int32_t quant[64], std::uint8_t* out,
                std::ptrdiff_t stride)
{
    std::int64_t in[64];
    std::int64_t ws[64];
    for (int i = 0; i < 64; ++i) {
        in[i] = static_cast<std::int64_t>(coef[i]) * quant[i];
    }
    // Columns. A column without AC terms transforms to its DC term times 2^kPass1Bits, which is
    // also what the full pass gives; the shortcut only saves work.
    for (int x = 0; x < 8; ++x) {
        const std::int64_t* c = in + x;
        if (c[8] == 0 && c[16] == 0 && c[24] == 0 && c[32] == 0 && c[40] == 0 && c[48] == 0 && c[56] == 0) {
            const std::int64_t dc = c[0] * (1 << kPass1Bits);
            for (int y = 0; y < 8; ++y) {
                ws[y * 8 + x] = dc;
            }
            continue;
        }
        inverse1d(c, 8, ws + x, 8, kConstBits - kPass1Bits);
    }
    // Rows: remove the constants' scale, the pass-1 bits and the factor 8 of the 2-D transform.
    constexpr int kRowShift = kConstBits + kPass1Bits + 3;
    std::int64_t row[8];
    for (int y = 0; y < 8; ++y) {
        inverse1d(ws + y * 8, 1, row, 1, kRowShift);
        std::uint8_t* o = out + y * stride;
        for (int x = 0; x < 8; ++x) {
            o[x] = static_cast<std::uint8_t>(std::clamp<std::int64_t>(row[x] + 128, 0, 255));
        }
    }
}

} // namespace tessivor::jpeg
