// The SSE2 form of the encoder's kernels: the baseline of every x86-64 processor, so it needs no
// check before use. One block per DCT call; colour conversion gathers four pixels into 32-bit
// lanes by byte shifts, since SSE2 has no byte shuffle. Same bytes as the plain form (see
// jpeg_encode_simd.h and makeQuantTable).
#if defined(__x86_64__)

#include "imagelib/jpeg_encode_kernels.h"
#include "imagelib/jpeg_encode_simd.h"

#include <emmintrin.h>

namespace tessivor::jpeg {

namespace {

struct Sse2
{
    using V = __m128i;
    static V add16(V a, V b) { return _mm_add_epi16(a, b); }
    static V sub16(V a, V b) { return _mm_sub_epi16(a, b); }
    static V slli16(V a, int n) { return _mm_slli_epi16(a, n); }
    static V srai16(V a, int n) { return _mm_srai_epi16(a, n); }
    static V add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V srai32(V a, int n) { return _mm_srai_epi32(a, n); }
    static V madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V packs32(V a, V b) { return _mm_packs_epi32(a, b); }
    static V mulhiu16(V a, V b) { return _mm_mulhi_epu16(a, b); }
    static V xor_(V a, V b) { return _mm_xor_si128(a, b); }
    static V or_(V a, V b) { return _mm_or_si128(a, b); }
    static V set1_16(std::int16_t v) { return _mm_set1_epi16(v); }
    static V set1_32(std::int32_t v) { return _mm_set1_epi32(v); }
    static V unpacklo16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V unpackhi16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V unpacklo32(V a, V b) { return _mm_unpacklo_epi32(a, b); }
    static V unpackhi32(V a, V b) { return _mm_unpackhi_epi32(a, b); }
    static V unpacklo64(V a, V b) { return _mm_unpacklo_epi64(a, b); }
    static V unpackhi64(V a, V b) { return _mm_unpackhi_epi64(a, b); }
};

void transformBlock(const std::uint8_t* samples, std::ptrdiff_t stride, const QuantTable& q, std::int16_t* zz)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i centre = _mm_set1_epi16(128);
    __m128i r[8];
    for (int y = 0; y < 8; ++y) {
        const __m128i row = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(samples + y * stride));
        r[y] = _mm_sub_epi16(_mm_unpacklo_epi8(row, zero), centre);
    }
    forwardDctRows<Sse2>(r);
    alignas(16) std::int16_t natural[64];
    for (int v = 0; v < 8; ++v) {
        const auto* half = reinterpret_cast<const __m128i*>(q.half + 8 * v);
        const auto* multiplier = reinterpret_cast<const __m128i*>(q.multiplier + 8 * v);
        const auto* scale = reinterpret_cast<const __m128i*>(q.scale + 8 * v);
        _mm_store_si128(
            reinterpret_cast<__m128i*>(natural + 8 * v),
            quantise<Sse2>(r[v], _mm_load_si128(half), _mm_load_si128(multiplier), _mm_load_si128(scale)));
    }
    for (int k = 0; k < 64; ++k) {
        zz[k] = natural[kZigzagOrder[k]];
    }
}

void transformPair(const std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t stride, const QuantTable& q,
                   std::int16_t* zzA, std::int16_t* zzB)
{
    transformBlock(a, stride, q, zzA);
    if (b != a || zzB != zzA) {
        transformBlock(b, stride, q, zzB);
    }
}

// Four pixels from 16 readable bytes at `p` (12 used): one pixel per 32-bit lane as blue,
// green, red and a byte of the next pixel.
inline __m128i gatherFour(const std::uint8_t* p)
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i p01 = _mm_unpacklo_epi32(x, _mm_srli_si128(x, 3));
    const __m128i p23 = _mm_unpacklo_epi32(_mm_srli_si128(x, 6), _mm_srli_si128(x, 9));
    return _mm_unpacklo_epi64(p01, p23);
}

inline Ycc32<Sse2> convertFour(__m128i px)
{
    const __m128i byte = _mm_set1_epi32(0xFF);
    const __m128i br = _mm_and_si128(px, _mm_set1_epi32(0x00FF00FF));
    const __m128i g = _mm_and_si128(_mm_srli_epi32(px, 8), byte);
    const __m128i b = _mm_and_si128(px, byte);
    const __m128i r = _mm_and_si128(_mm_srli_epi32(px, 16), byte);
    return yccFromPixels<Sse2>(br, b, g, r);
}

void convertBgr(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr)
{
    int x = 0;
    // 16 pixels a round; the last gather reads 4 bytes past its 12, so two more pixels must
    // follow the round.
    for (; x + 18 <= count; x += 16) {
        const std::uint8_t* p = bgr + 3 * x;
        const Ycc32<Sse2> a = convertFour(gatherFour(p));
        const Ycc32<Sse2> b = convertFour(gatherFour(p + 12));
        const Ycc32<Sse2> c = convertFour(gatherFour(p + 24));
        const Ycc32<Sse2> d = convertFour(gatherFour(p + 36));
        auto store = [&](std::uint8_t* out, __m128i v0, __m128i v1, __m128i v2, __m128i v3) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                             _mm_packus_epi16(_mm_packs_epi32(v0, v1), _mm_packs_epi32(v2, v3)));
        };
        store(y, a.y, b.y, c.y, d.y);
        store(cb, a.cb, b.cb, c.cb, d.cb);
        store(cr, a.cr, b.cr, c.cr, d.cr);
    }
    kPlainEncodeKernels.convertBgr(bgr + 3 * x, count - x, y + x, cb + x, cr + x);
}

// Sums of horizontal byte pairs as 16-bit lanes.
inline __m128i pairSums(__m128i v)
{
    const __m128i low = _mm_set1_epi16(0xFF);
    return _mm_add_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8));
}

void downsample(const std::uint8_t* a, const std::uint8_t* b, int outW, std::uint8_t* out)
{
    const __m128i bias = _mm_set1_epi32(0x00020001); // 1, 2, 1, 2, ... from an even start
    int x = 0;
    for (; x + 16 <= outW; x += 16) {
        auto half = [&](int offset) {
            const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + 2 * x + offset));
            const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 2 * x + offset));
            return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(pairSums(va), pairSums(vb)), bias), 2);
        };
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(half(0), half(16)));
    }
    kPlainEncodeKernels.downsample(a + 2 * x, b + 2 * x, outW - x, out + x);
}

} // namespace

const EncodeKernels kSse2EncodeKernels = {convertBgr, downsample, transformPair};

} // namespace tessivor::jpeg

#endif
