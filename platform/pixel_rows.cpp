// Row operations on 24-bit pixels (see pixel_rows.h).
#include "platform/pixel_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tessivor {

namespace {

#if defined(__x86_64__)
bool hasSsse3()
{
    static const bool present = __builtin_cpu_supports("ssse3");
    return present;
}

// Four pixels a round: 16 bytes in, the first 12 swapped and stored as 16, so that the last 4
// bytes of each store are garbage that the next round overwrites. The loop therefore stops while
// 16 bytes still lie ahead on both sides; the plain form finishes the row.
__attribute__((target("ssse3"))) void swapSsse3(const std::uint8_t* src, std::uint8_t* dst, int pixels)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 12, 13, 14, 15);
    int x = 0;
    for (; 3 * x + 16 <= 3 * pixels; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * x), _mm_shuffle_epi8(v, order));
    }
    swapRedBluePlain(src + 3 * x, dst + 3 * x, pixels - x);
}
#endif

} // namespace

void swapRedBluePlain(const std::uint8_t* src, std::uint8_t* dst, int pixels)
{
    for (int x = 0; x < pixels; ++x, src += 3, dst += 3) {
        dst[0] = src[2];
        dst[1] = src[1];
        dst[2] = src[0];
    }
}

bool swapRedBlueVector(const std::uint8_t* src, std::uint8_t* dst, int pixels)
{
#if defined(__x86_64__)
    if (hasSsse3()) {
        swapSsse3(src, dst, pixels);
        return true;
    }
#endif
    (void)src;
    (void)dst;
    (void)pixels;
    return false;
}

void swapRedBlue(const std::uint8_t* src, std::uint8_t* dst, int pixels)
{
    if (!swapRedBlueVector(src, dst, pixels)) {
        swapRedBluePlain(src, dst, pixels);
    }
}

} // namespace tessivor
