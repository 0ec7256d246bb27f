// The AVX2 form of the encoder's kernels: two blocks per DCT call (one in each 128-bit half),
// byte shuffles for gathering pixels and for the zigzag order. Same bytes as the plain form
// (see jpeg_encode_simd.h and makeQuantTable).
//
// Build note: this file alone is compiled for AVX2, and its code runs only after the processor
// has been found to have it. So it calls no inline library function (whose one shared copy the
// linker might take from here) and keeps its own helpers in an unnamed namespace.
#if defined(__x86_64__)

#include "imagelib/jpeg_encode_kernels.h"
#include "imagelib/jpeg_encode_simd.h"

#include <immintrin.h>
#include <utility>

namespace tessivor::jpeg {

namespace {

struct Avx2
{
    using V = __m256i;
    static V add16(V a, V b) { return _mm256_add_epi16(a, b); }
    static V sub16(V a, V b) { return _mm256_sub_epi16(a, b); }
    static V slli16(V a, int n) { return _mm256_slli_epi16(a, n); }
    static V srai16(V a, int n) { return _mm256_srai_epi16(a, n); }
    static V add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V srai32(V a, int n) { return _mm256_srai_epi32(a, n); }
    static V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
    static V mulhiu16(V a, V b) { return _mm256_mulhi_epu16(a, b); }
    static V xor_(V a, V b) { return _mm256_xor_si256(a, b); }
    static V or_(V a, V b) { return _mm256_or_si256(a, b); }
    static V set1_16(std::int16_t v) { return _mm256_set1_epi16(v); }
    static V set1_32(std::int32_t v) { return _mm256_set1_epi32(v); }
    static V unpacklo16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V unpackhi16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V unpacklo32(V a, V b) { return _mm256_unpacklo_epi32(a, b); }
    static V unpackhi32(V a, V b) { return _mm256_unpackhi_epi32(a, b); }
    static V unpacklo64(V a, V b) { return _mm256_unpacklo_epi64(a, b); }
    static V unpackhi64(V a, V b) { return _mm256_unpackhi_epi64(a, b); }
};

constexpr std::uint8_t kNone = 0x80; // a shuffle index that gives a zero byte

// Zigzag by shuffles: output vector k (coefficients 8k..8k+7 in zigzag order) gathers its
// 16-bit values from the quantised rows; mask [k][row] picks the ones row `row` supplies.
struct ZigzagMasks
{
    alignas(32) std::uint8_t mask[8][8][32];
    bool used[8][8];
};

constexpr ZigzagMasks makeZigzagMasks()
{
    ZigzagMasks m{};
    for (int k = 0; k < 8; ++k) {
        for (int row = 0; row < 8; ++row) {
            m.used[k][row] = false;
            for (int j = 0; j < 32; ++j) {
                const int n = kZigzagOrder[8 * k + (j % 16) / 2];
                const bool here = n / 8 == row;
                m.mask[k][row][j] = here ? static_cast<std::uint8_t>(2 * (n % 8) + j % 2) : kNone;
                m.used[k][row] = m.used[k][row] || here;
            }
        }
    }
    return m;
}

constexpr ZigzagMasks kZigzagMasks = makeZigzagMasks();

template <int K> inline __m256i zigzagVector(const __m256i* rows)
{
    __m256i out = _mm256_setzero_si256();
    [&]<int... Row>(std::integer_sequence<int, Row...>)
    {
        ((out = kZigzagMasks.used[K][Row]
                    ? _mm256_or_si256(out, _mm256_shuffle_epi8(
                                               rows[Row], _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                                              kZigzagMasks.mask[K][Row]))))
                    : out),
         ...);
    }
    (std::make_integer_sequence<int, 8>{});
    return out;
}

inline __m256i broadcastRow(const std::uint16_t* table, int v)
{
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table + 8 * v)));
}

void transformPair(const std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t stride, const QuantTable& q,
                   std::int16_t* zzA, std::int16_t* zzB)
{
    const __m256i centre = _mm256_set1_epi16(128);
    __m256i r[8];
    for (int y = 0; y < 8; ++y) {
        const __m128i lo = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + y * stride));
        const __m128i hi = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + y * stride));
        r[y] = _mm256_sub_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi64(lo, hi)), centre);
    }
    forwardDctRows<Avx2>(r);
    for (int v = 0; v < 8; ++v) {
        r[v] = quantise<Avx2>(r[v], broadcastRow(q.half, v), broadcastRow(q.multiplier, v),
                              broadcastRow(q.scale, v));
    }
    auto store = [&](int k, __m256i v) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(zzB + 8 * k), _mm256_extracti128_si256(v, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(zzA + 8 * k), _mm256_castsi256_si128(v));
    };
    store(0, zigzagVector<0>(r));
    store(1, zigzagVector<1>(r));
    store(2, zigzagVector<2>(r));
    store(3, zigzagVector<3>(r));
    store(4, zigzagVector<4>(r));
    store(5, zigzagVector<5>(r));
    store(6, zigzagVector<6>(r));
    store(7, zigzagVector<7>(r));
}

// Shuffle masks that spread 4 pixels (12 bytes of one 128-bit half) over 32-bit lanes as the
// (blue, red) pair, blue, green and red alone.
struct PixelMasks
{
    alignas(32) std::uint8_t br[32], b[32], g[32], r[32];
};

constexpr PixelMasks makePixelMasks()
{
    PixelMasks m{};
    for (int j = 0; j < 32; ++j) {
        const int pixel = (j % 16) / 4;
        const int byte = j % 4;
        auto pick = [&](int channel) { return static_cast<std::uint8_t>(3 * pixel + channel); };
        m.br[j] = byte == 0 ? pick(0) : (byte == 2 ? pick(2) : kNone);
        m.b[j] = byte == 0 ? pick(0) : kNone;
        m.g[j] = byte == 0 ? pick(1) : kNone;
        m.r[j] = byte == 0 ? pick(2) : kNone;
    }
    return m;
}

constexpr PixelMasks kPixelMasks = makePixelMasks();

inline __m256i mask(const std::uint8_t* m)
{
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(m));
}

// Y, Cb and Cr of 8 pixels at `p` (reads 28 bytes): pixels 0-3 in the low half, 4-7 in the high.
inline Ycc32<Avx2> convertEight(const std::uint8_t* p)
{
    const __m256i px =
        _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12)), 1);
    return yccFromPixels<Avx2>(
        _mm256_shuffle_epi8(px, mask(kPixelMasks.br)), _mm256_shuffle_epi8(px, mask(kPixelMasks.b)),
        _mm256_shuffle_epi8(px, mask(kPixelMasks.g)), _mm256_shuffle_epi8(px, mask(kPixelMasks.r)));
}

// 16 samples from two sets of 8 in 32-bit lanes (each ordered low half, high half).
inline __m128i packSixteen(__m256i first, __m256i second)
{
    const __m256i words = _mm256_permute4x64_epi64(_mm256_packs_epi32(first, second), 0xD8);
    return _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1));
}

void convertBgr(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr)
{
    int x = 0;
    // 16 pixels a round; the last load reads 4 bytes past its 12, so two more pixels must
    // follow the round.
    for (; x + 18 <= count; x += 16) {
        const Ycc32<Avx2> a = convertEight(bgr + 3 * x);
        const Ycc32<Avx2> b = convertEight(bgr + 3 * x + 24);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), packSixteen(a.y, b.y));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x), packSixteen(a.cb, b.cb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x), packSixteen(a.cr, b.cr));
    }
    kPlainEncodeKernels.convertBgr(bgr + 3 * x, count - x, y + x, cb + x, cr + x);
}

void downsample(const std::uint8_t* a, const std::uint8_t* b, int outW, std::uint8_t* out)
{
    const __m256i ones = _mm256_set1_epi8(1);
    const __m256i bias = _mm256_set1_epi32(0x00020001); // 1, 2, 1, 2, ... from an even start
    int x = 0;
    for (; x + 32 <= outW; x += 32) {
        auto sixteen = [&](int offset) {
            const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + 2 * x + offset));
            const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + 2 * x + offset));
            const __m256i sums =
                _mm256_add_epi16(_mm256_maddubs_epi16(va, ones), _mm256_maddubs_epi16(vb, ones));
            return _mm256_srli_epi16(_mm256_add_epi16(sums, bias), 2);
        };
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(sixteen(0), sixteen(32)), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), packed);
    }
    kPlainEncodeKernels.downsample(a + 2 * x, b + 2 * x, outW - x, out + x);
}

} // namespace

const EncodeKernels kAvx2EncodeKernels = {convertBgr, downsample, transformPair};

} // namespace tessivor::jpeg

#endif
