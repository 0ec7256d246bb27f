// The plain forms of the encoder's kernels, the quantisation tables they share with the vector
// forms, and the one place where the form is chosen (see jpeg_encode_kernels.h).
#include "imagelib/jpeg_encode_kernels.h"

#include "imagelib/jpeg_dct.h"
#include "imagelib/jpeg_tables.h"

#include <atomic>
#include <bit>

namespace tessivor::jpeg {

namespace {

constexpr int kReciprocalShift = 34;

// Forward DCT and quantisation of one 8 x 8 block; `zz` gets the result in zigzag order.
void transformBlock(const std::uint8_t* samples, std::ptrdiff_t stride, const QuantTable& q, std::int16_t* zz)
{
    std::int32_t d[64];
    forwardDct(samples, stride, d);
    for (int k = 0; k < 64; ++k) {
        const int n = kZigzag[k];
        const std::int32_t c = d[n];
        const auto r = static_cast<std::uint32_t>(c < 0 ? -c : c) + (q.divisor[n] >> 1);
        const auto quotient =
            static_cast<std::int32_t>((static_cast<std::uint64_t>(r) * q.reciprocal[n]) >> kReciprocalShift);
        zz[k] = static_cast<std::int16_t>(c < 0 ? -quotient : quotient);
    }
}

void plainTransformPair(const std::uint8_t* a, const std::uint8_t* b, std::ptrdiff_t stride,
                        const QuantTable& q, std::int16_t* zzA, std::int16_t* zzB)
{
    transformBlock(a, stride, q, zzA);
    if (b != a || zzB != zzA) {
        transformBlock(b, stride, q, zzB);
    }
}

// Fixed point with 16 fraction bits: Y = 0.299 R + 0.587 G + 0.114 B, Cb and Cr centred on 128
// (the offset carries 0.5 - 2^-16 so that the shift rounds without ever reaching 256).
void plainConvertBgr(const std::uint8_t* bgr, int count, std::uint8_t* y, std::uint8_t* cb, std::uint8_t* cr)
{
    for (int x = 0; x < count; ++x) {
        const std::int32_t b = bgr[3 * x];
        const std::int32_t g = bgr[3 * x + 1];
        const std::int32_t r = bgr[3 * x + 2];
        y[x] = static_cast<std::uint8_t>((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
        cb[x] = static_cast<std::uint8_t>((32768 * b - 11059 * r - 21709 * g + 8421375) >> 16);
        cr[x] = static_cast<std::uint8_t>((32768 * r - 27439 * g - 5329 * b + 8421375) >> 16);
    }
}

void plainDownsample(const std::uint8_t* a, const std::uint8_t* b, int outW, std::uint8_t* out)
{
    int bias = 1;
    for (int x = 0; x < outW; ++x) {
        out[x] = static_cast<std::uint8_t>((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + bias) >> 2);
        bias ^= 3;
    }
}

bool pathPresent(EncodePath path)
{
    switch (path) {
    case EncodePath::Best:
    case EncodePath::Plain:
        return true;
#if defined(__x86_64__)
    case EncodePath::Sse2:
        return true; // part of x86-64 itself
    case EncodePath::Avx2: {
        static const bool present = __builtin_cpu_supports("avx2");
        return present;
    }
#else
    case EncodePath::Sse2:
    case EncodePath::Avx2:
        return false;
#endif
    }
    return false;
}

std::atomic<EncodePath> g_forcedPath{EncodePath::Best};

} // namespace

const EncodeKernels kPlainEncodeKernels = {plainConvertBgr, plainDownsample, plainTransformPair};

// Plain form: quotients by multiplication. For a dividend r and divisor d with r * d < 2^34,
// r * reciprocal / 2^34 exceeds r / d by less than r / 2^34 < 1 / d, which never reaches the
// next integer, so the shift gives floor(r / d) exactly. Here |c| <= 8192 (8 times the largest
// DCT coefficient of 8-bit samples) and d <= 8 * 6050 (quality 1), so r = |c| + d / 2 keeps
// r * d below 1.6e9; and d >= 8 keeps the reciprocal below 2^32, so the product of two 32-bit numbers is
// enough.
//
// Vector forms, 16-bit lanes: with s = ceil(log2 d) - 1, so that 2^s < d <= 2^(s+1), the
// multiplier m = ceil(2^(16+s) / d) is below 2^16, and r * m / 2^(16+s) exceeds r / d by less
// than r / 2^(16+s), which stays below 1 / d while r * d < 2^(16+s), i.e. for every r < 2^15.
// The two high halves take floor(r * m / 2^16) and then divide by 2^s (scale = 2^(16-s); s is 2
// to 14 here). r = |c| + d / 2 < 8200 + 2^14 is below 2^15 whenever d < 2^15. Larger divisors
// quantise every coefficient to 0 (|c| < d / 2), which a zero multiplier gives.
QuantTable makeQuantTable(const std::array<std::uint8_t, 64>& base, int scale)
{
    QuantTable t;
    for (int i = 0; i < 64; ++i) {
        const int v = scaledQuantValue(base[i], scale);
        t.value[i] = static_cast<std::uint16_t>(v);
        t.wide = t.wide || v > 255;
        const std::uint32_t d = static_cast<std::uint32_t>(v) * 8;
        t.divisor[i] = d;
        t.reciprocal[i] = static_cast<std::uint32_t>(((std::uint64_t{1} << kReciprocalShift) / d) + 1);
        if (d < (1u << 15)) {
            const int s = std::bit_width(d - 1) - 1;
            t.half[i] = static_cast<std::uint16_t>(d >> 1);
            t.multiplier[i] = static_cast<std::uint16_t>(((std::uint64_t{1} << (16 + s)) + d - 1) / d);
            t.scale[i] = static_cast<std::uint16_t>(1u << (16 - s));
        } else {
            t.half[i] = 0;
            t.multiplier[i] = 0;
            t.scale[i] = 1;
        }
    }
    return t;
}

const EncodeKernels& encodeKernels()
{
    switch (encodePath()) {
#if defined(__x86_64__)
    case EncodePath::Avx2:
        return kAvx2EncodeKernels;
    case EncodePath::Sse2:
        return kSse2EncodeKernels;
#endif
    default:
        return kPlainEncodeKernels;
    }
}

bool forceEncodePath(EncodePath path)
{
    if (!pathPresent(path)) {
        return false;
    }
    g_forcedPath.store(path);
    return true;
}

EncodePath encodePath()
{
    const EncodePath forced = g_forcedPath.load();
    if (forced != EncodePath::Best) {
        return forced;
    }
    if (pathPresent(EncodePath::Avx2)) {
        return EncodePath::Avx2;
    }
    return pathPresent(EncodePath::Sse2) ? EncodePath::Sse2 : EncodePath::Plain;
}

} // namespace tessivor::jpeg
