#include "media/motion_cells.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace tessivor {

namespace {

// The vector level asked for (MotionVectors), capped by what the machine has when used.
std::atomic<int> g_level{static_cast<int>(MotionVectors::Best)};

int machineLevel()
{
#if defined(__SSE2__)
    static const int level = __builtin_cpu_supports("avx2") ? static_cast<int>(MotionVectors::Avx2)
                                                            : static_cast<int>(MotionVectors::Sse2);
    return level;
#else
    return static_cast<int>(MotionVectors::Plain);
#endif
}

void bandRowPlain(const std::uint8_t* p, std::uint8_t* r, int firstX, int step, int cells, int cell,
                  int threshold, const std::uint8_t* compare, int* counts)
{
    const int bytes = cell * 3;
    for (int i = 0; i < cells; ++i, r += bytes) {
        const std::uint8_t* ps = p + (firstX + i * step) * 3;
        if (compare[i])
            for (int b = 0; b < bytes; b += 3)
                if (std::abs(ps[b] - r[b]) > threshold || std::abs(ps[b + 1] - r[b + 1]) > threshold ||
                    std::abs(ps[b + 2] - r[b + 2]) > threshold)
                    ++counts[i];
        std::memcpy(r, ps, static_cast<std::size_t>(bytes));
    }
}

#if defined(__SSE2__)

// Non-zero in byte i where byte i of `p` and `r` differ by more than the threshold (in every
// byte of `t`).
inline __m128i overBytes(__m128i p, __m128i r, __m128i t)
{
    return _mm_subs_epu8(_mm_or_si128(_mm_subs_epu8(p, r), _mm_subs_epu8(r, p)), t);
}

// Bit i set where byte i of `over` is not zero.
inline unsigned overMaskOf(__m128i over)
{
    return ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(over, _mm_setzero_si128()))) & 0xFFFFu;
}

inline unsigned overMask(__m128i p, __m128i r, __m128i t)
{
    return overMaskOf(overBytes(p, r, t));
}

// Pixels with any of their byte bits set, for 12 bits (bytes 3k..3k+2 = pixel k, k = 0..3): a
// table, because the baseline x86-64 instruction set has no population count.
struct PixelCountTable
{
    std::uint8_t count[4096];
    PixelCountTable()
    {
        for (unsigned m = 0; m < 4096; ++m) {
            int n = 0;
            for (int k = 0; k < 4; ++k)
                n += ((m >> (3 * k)) & 7u) != 0;
            count[m] = static_cast<std::uint8_t>(n);
        }
    }
};
const PixelCountTable kPixelCount;

// Pixels over the threshold in a byte mask of up to 8 pixels (24 bits).
inline int pixelsOver(std::uint32_t byteMask)
{
    return kPixelCount.count[byteMask & 0xFFFu] + kPixelCount.count[(byteMask >> 12) & 0xFFFu];
}

inline __m128i load8(const std::uint8_t* p)
{
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}
inline __m128i load4(const std::uint8_t* p)
{
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}
inline __m128i load6(const std::uint8_t* p)
{
    std::int64_t v = 0;
    std::memcpy(&v, p, 6);
    return _mm_cvtsi64_si128(v);
}

// 24-byte cells with AVX2: one 32-byte compare per segment. A 32-byte load reaches 8 bytes
// past the segment, into the gap before the next cell of the picture row and into the next
// packed segment, so the band's last cell is left to the SSE2 path.
__attribute__((target("avx2"))) int bandRow8Avx2(const std::uint8_t* p, std::uint8_t* r, int firstX, int step,
                                                 int cells, int threshold, const std::uint8_t* compare,
                                                 int* counts)
{
    const __m256i t = _mm256_set1_epi8(static_cast<char>(threshold));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 1 < cells; ++i, r += 24) {
        const std::uint8_t* ps = p + (firstX + i * step) * 3;
        const __m256i pv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ps));
        if (compare[i]) {
            const __m256i rv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r));
            const __m256i over =
                _mm256_subs_epu8(_mm256_or_si256(_mm256_subs_epu8(pv, rv), _mm256_subs_epu8(rv, pv)), t);
            const std::uint32_t mask =
                ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(over, zero))) & 0xFFFFFFu;
            if (mask != 0) // the usual case of a still scene: no byte over the threshold
                counts[i] += pixelsOver(mask);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r), _mm256_castsi256_si128(pv));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(r + 16), _mm256_extracti128_si256(pv, 1));
    }
    return i;
}

template <int Cell>
void bandRowSimd(const std::uint8_t* p, std::uint8_t* r, int firstX, int step, int cells, int threshold,
                 const std::uint8_t* compare, int* counts)
{
    const __m128i t = _mm_set1_epi8(static_cast<char>(threshold));
    for (int i = 0; i < cells; ++i, r += Cell * 3) {
        const std::uint8_t* ps = p + (firstX + i * step) * 3;
        if constexpr (Cell == 8) { // 24 bytes: 16 + 8
            const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ps));
            const __m128i p1 = load8(ps + 16);
            if (compare[i]) {
                const __m128i over0 = overBytes(p0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r)), t);
                const __m128i over1 = overBytes(p1, load8(r + 16), t); // upper 8 bytes 0
                // The usual case of a still scene, tested first: no byte over the threshold.
                if (overMaskOf(_mm_or_si128(over0, over1)) != 0)
                    counts[i] += pixelsOver(overMaskOf(over0) | ((overMaskOf(over1) & 0xFFu) << 16));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(r), p0);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(r + 16), p1);
        } else if constexpr (Cell == 4) { // 12 bytes: 8 + 4
            if (compare[i]) {
                const __m128i over0 = overBytes(load8(ps), load8(r), t);         // bytes 0..7
                const __m128i over1 = overBytes(load4(ps + 8), load4(r + 8), t); // bytes 8..11
                if (overMaskOf(_mm_or_si128(over0, over1)) != 0)
                    counts[i] += pixelsOver((overMaskOf(over0) & 0xFFu) | ((overMaskOf(over1) & 0xFu) << 8));
            }
            std::memcpy(r, ps, 12);
        } else { // 2 pixels, 6 bytes
            if (compare[i]) {
                const std::uint32_t mask = overMask(load6(ps), load6(r), t) & 0x3Fu;
                if (mask != 0)
                    counts[i] += pixelsOver(mask);
            }
            std::memcpy(r, ps, 6);
        }
    }
}

#endif

} // namespace

std::uint8_t* motionBandRow(const std::uint8_t* pictureRow, std::uint8_t* reference, int firstX, int step,
                            int cells, int cell, int threshold, const std::uint8_t* compare, int* counts)
{
    if (threshold < 0) {
        // Every pixel counts, whatever the bytes.
        for (int i = 0; i < cells; ++i)
            if (compare[i])
                counts[i] += cell;
        threshold = 255; // nothing more to count; the segments are still copied below
    }
#if defined(__SSE2__)
    const int level = std::min(g_level.load(std::memory_order_relaxed), machineLevel());
    if (level >= static_cast<int>(MotionVectors::Sse2)) {
        switch (cell) {
        case 8: {
            int done = 0;
            if (level >= static_cast<int>(MotionVectors::Avx2))
                done = bandRow8Avx2(pictureRow, reference, firstX, step, cells, threshold, compare, counts);
            bandRowSimd<8>(pictureRow, reference + done * 24, firstX + done * step, step, cells - done,
                           threshold, compare + done, counts + done);
            return reference + cells * 24;
        }
        case 4:
            bandRowSimd<4>(pictureRow, reference, firstX, step, cells, threshold, compare, counts);
            return reference + cells * 12;
        case 2:
            bandRowSimd<2>(pictureRow, reference, firstX, step, cells, threshold, compare, counts);
            return reference + cells * 6;
        default:
            break;
        }
    }
#endif
    bandRowPlain(pictureRow, reference, firstX, step, cells, cell, threshold, compare, counts);
    return reference + cells * cell * 3;
}

void motionUseVectors(MotionVectors level)
{
    g_level.store(static_cast<int>(level));
}

MotionVectors motionMachineVectors()
{
    return static_cast<MotionVectors>(machineLevel());
}

} // namespace tessivor
