// The vector forward DCT and quantiser shared by the encoder's SSE2 and AVX2 kernels, written
// once over an operations class `O` whose vector type `O::V` holds 8 16-bit lanes per 128 bits.
// Every operation used works inside each 128-bit half, so the AVX2 form runs two blocks at once,
// one per half, through the same code.
//
// Why the result is the plain form's to the bit: the plain DCT computes every sum and product
// exactly in 32 bits, and only its rounding shifts lose anything. Here the sums that need no
// multiplication are formed in 16 bits, where they fit (row pass: samples -128..127, so sums of
// up to 8 of them; column pass: row results within -4096..4064, the DC column's eight of them
// summed to -32768..32512), and every output that goes through a multiplication is one
// multiply-add of 16-bit pairs into 32 bits (pmaddwd) whose pairs and weights are the plain
// form's products regrouped (the odd part's shared z5 term expanded into the four weights of
// each output). The same integers reach the same rounding shifts.
//
// Included by the vector kernels' files only; everything has internal linkage so that each file
// keeps the copy built for its own instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessivor::jpeg {
namespace {

// Natural index of the k-th coefficient in zigzag order (T.81 Figure A.6).
constexpr std::uint8_t kZigzagOrder[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Weights of the flow graph in 13-bit fixed point (the plain form's FIX_ constants), combined
// as the multiply-adds use them.
namespace fdct {
constexpr int kConstBits = 13;
constexpr int kPass1Bits = 2;
// Even part: out2 = tmp13 * (c541 + c765) + tmp12 * c541; out6 = tmp13 * c541 + tmp12 * (c541 - c1847).
constexpr std::int16_t kEven2[2] = {4433 + 6270, 4433};
constexpr std::int16_t kEven6[2] = {4433, 4433 - 15137};
// Odd part: each output as weights of (tmp4, tmp5) and (tmp6, tmp7).
constexpr std::int16_t kOdd7[4] = {2446 - 7373 - 16069 + 9633, 9633, 9633 - 16069, 9633 - 7373};
constexpr std::int16_t kOdd5[4] = {9633, 16819 - 20995 - 3196 + 9633, 9633 - 20995, 9633 - 3196};
constexpr std::int16_t kOdd3[4] = {9633 - 16069, 9633 - 20995, 25172 - 20995 - 16069 + 9633, 9633};
constexpr std::int16_t kOdd1[4] = {9633 - 7373, 9633 - 3196, 9633, 12299 - 7373 - 3196 + 9633};
} // namespace fdct

template <class O> inline typename O::V weightPair(std::int16_t a, std::int16_t b)
{
    return O::set1_32(static_cast<std::int32_t>(
        static_cast<std::uint16_t>(a) | (static_cast<std::uint32_t>(static_cast<std::uint16_t>(b)) << 16)));
}

// Transposes the 8 x 8 16-bit matrix whose rows are r[0..7] (in each 128-bit half).
template <class O> inline void transpose(typename O::V r[8])
{
    using V = typename O::V;
    const V t0 = O::unpacklo16(r[0], r[1]), t1 = O::unpackhi16(r[0], r[1]);
    const V t2 = O::unpacklo16(r[2], r[3]), t3 = O::unpackhi16(r[2], r[3]);
    const V t4 = O::unpacklo16(r[4], r[5]), t5 = O::unpackhi16(r[4], r[5]);
    const V t6 = O::unpacklo16(r[6], r[7]), t7 = O::unpackhi16(r[6], r[7]);
    const V u0 = O::unpacklo32(t0, t2), u1 = O::unpackhi32(t0, t2);
    const V u2 = O::unpacklo32(t1, t3), u3 = O::unpackhi32(t1, t3);
    const V u4 = O::unpacklo32(t4, t6), u5 = O::unpackhi32(t4, t6);
    const V u6 = O::unpacklo32(t5, t7), u7 = O::unpackhi32(t5, t7);
    r[0] = O::unpacklo64(u0, u4);
    r[1] = O::unpackhi64(u0, u4);
    r[2] = O::unpacklo64(u1, u5);
    r[3] = O::unpackhi64(u1, u5);
    r[4] = O::unpacklo64(u2, u6);
    r[5] = O::unpackhi64(u2, u6);
    r[6] = O::unpacklo64(u3, u7);
    r[7] = O::unpackhi64(u3, u7);
}

// (sum + 2^(shift-1)) >> shift of 32-bit lanes, packed back to 16 bits (the results fit).
template <class O> inline typename O::V descalePack(typename O::V lo, typename O::V hi, int shift)
{
    const typename O::V round = O::set1_32(1 << (shift - 1));
    return O::packs32(O::srai32(O::add32(lo, round), shift), O::srai32(O::add32(hi, round), shift));
}

// One one-dimensional pass over x[0..7]: lane i of x[k] is element k of sequence i. `Final`
// selects the column pass.
template <class O, bool Final> inline void dctPass(typename O::V x[8])
{
    using V = typename O::V;
    using namespace fdct;
    constexpr int kMulShift = Final ? kConstBits + kPass1Bits : kConstBits - kPass1Bits;

    const V tmp0 = O::add16(x[0], x[7]), tmp7 = O::sub16(x[0], x[7]);
    const V tmp1 = O::add16(x[1], x[6]), tmp6 = O::sub16(x[1], x[6]);
    const V tmp2 = O::add16(x[2], x[5]), tmp5 = O::sub16(x[2], x[5]);
    const V tmp3 = O::add16(x[3], x[4]), tmp4 = O::sub16(x[3], x[4]);

    const V tmp10 = O::add16(tmp0, tmp3), tmp13 = O::sub16(tmp0, tmp3);
    const V tmp11 = O::add16(tmp1, tmp2), tmp12 = O::sub16(tmp1, tmp2);
    if constexpr (Final) {
        const V round = O::set1_16(1 << (kPass1Bits - 1));
        x[0] = O::srai16(O::add16(O::add16(tmp10, tmp11), round), kPass1Bits);
        x[4] = O::srai16(O::add16(O::sub16(tmp10, tmp11), round), kPass1Bits);
    } else {
        x[0] = O::slli16(O::add16(tmp10, tmp11), kPass1Bits);
        x[4] = O::slli16(O::sub16(tmp10, tmp11), kPass1Bits);
    }
    const V e_lo = O::unpacklo16(tmp13, tmp12), e_hi = O::unpackhi16(tmp13, tmp12);
    const V w2 = weightPair<O>(kEven2[0], kEven2[1]);
    const V w6 = weightPair<O>(kEven6[0], kEven6[1]);
    x[2] = descalePack<O>(O::madd(e_lo, w2), O::madd(e_hi, w2), kMulShift);
    x[6] = descalePack<O>(O::madd(e_lo, w6), O::madd(e_hi, w6), kMulShift);

    const V a_lo = O::unpacklo16(tmp4, tmp5), a_hi = O::unpackhi16(tmp4, tmp5);
    const V b_lo = O::unpacklo16(tmp6, tmp7), b_hi = O::unpackhi16(tmp6, tmp7);
    auto odd = [&](const std::int16_t(&w)[4]) {
        const V wa = weightPair<O>(w[0], w[1]);
        const V wb = weightPair<O>(w[2], w[3]);
        return descalePack<O>(O::add32(O::madd(a_lo, wa), O::madd(b_lo, wb)),
                              O::add32(O::madd(a_hi, wa), O::madd(b_hi, wb)), kMulShift);
    };
    x[7] = odd(kOdd7);
    x[5] = odd(kOdd5);
    x[3] = odd(kOdd3);
    x[1] = odd(kOdd1);
}

// Rows r[0..7] of samples already centred on 0 in, rows of 8 times the DCT coefficients out
// (natural order, row v = vertical frequency v).
template <class O> inline void forwardDctRows(typename O::V r[8])
{
    transpose<O>(r);
    dctPass<O, false>(r); // r[u] now holds horizontal frequency u of every row
    transpose<O>(r);
    dctPass<O, true>(r);
}

// Quantises 16-bit coefficients: hi(hi(|c| + half, multiplier), scale) with the sign of c
// (see makeQuantTable for why this is the exact rounded quotient).
template <class O>
inline typename O::V quantise(typename O::V c, typename O::V half, typename O::V multiplier,
                              typename O::V scale)
{
    const typename O::V sign = O::srai16(c, 15);
    const typename O::V magnitude = O::sub16(O::xor_(c, sign), sign);
    const typename O::V q = O::mulhiu16(O::mulhiu16(O::add16(magnitude, half), multiplier), scale);
    return O::sub16(O::xor_(q, sign), sign);
}

// Y, Cb and Cr of pixels in 32-bit lanes from their blue and red as 16-bit pairs (`br`) and
// their blue, green and red alone (`b`, `g`, `r`), before packing. The weights are the plain
// form's; those of 2^15 and above are split so that each multiply-add weight fits 16 bits:
// 38470 G = 2^16 G - 27066 G (the 2^16 G added after the shift), 32768 B = 32767 B + B, and the
// rounding 32768 of Y = 128 x 256 through a (green, 128) pair.
template <class O> struct Ycc32
{
    typename O::V y, cb, cr;
};

template <class O>
inline Ycc32<O> yccFromPixels(typename O::V br, typename O::V b, typename O::V g, typename O::V r)
{
    using V = typename O::V;
    const V g128 = O::or_(g, O::set1_32(128 << 16));
    const V offset = O::set1_32(8421375); // 128.5 x 2^16 - 1
    Ycc32<O> out;
    out.y = O::add32(
        O::srai32(
            O::add32(O::madd(br, weightPair<O>(7471, 19595)), O::madd(g128, weightPair<O>(-27066, 256))), 16),
        g);
    out.cb = O::srai32(
        O::add32(O::add32(O::madd(br, weightPair<O>(32767, -11059)), O::madd(g, weightPair<O>(-21709, 0))),
                 O::add32(b, offset)),
        16);
    out.cr = O::srai32(
        O::add32(O::add32(O::madd(br, weightPair<O>(-5329, 32767)), O::madd(g, weightPair<O>(-27439, 0))),
                 O::add32(r, offset)),
        16);
    return out;
}

} // namespace
} // namespace tessivor::jpeg
