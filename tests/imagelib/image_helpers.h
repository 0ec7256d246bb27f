// Small helpers of the image-library tests: images that free themselves and pixel access in
// picture coordinates (row 0 at the top) over the bottom-up rows.
#pragma once

#include "imagelib/imagelib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace imgtest {

// An allocated image, freed at the end of the scope.
class Image
{
public:
    Image(std::uint32_t w, std::uint32_t h, std::uint32_t bits) { m_result = img_alloc(&m_desc, w, h, bits); }
    ~Image() { img_free(&m_desc); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    img_desc* operator&() { return &m_desc; }
    img_desc* operator->() { return &m_desc; }
    img_desc& desc() { return m_desc; }
    std::int32_t result() const { return m_result; }

private:
    img_desc m_desc;
    std::int32_t m_result;
};

inline std::uint8_t* pixelAt(const img_desc& d, std::uint32_t x, std::uint32_t y)
{
    const std::uint32_t height = static_cast<std::uint32_t>(d.header->biHeight);
    return d.pixels + static_cast<std::size_t>(height - 1 - y) * d.bytesPerRow +
           static_cast<std::size_t>(x) * d.header->biBitCount / 8;
}

// Value of pixel (x, y): 1 bit the bit, 8 bits the byte, 16 bits the sample, 24 bits B<<16|G<<8|R.
inline std::uint32_t get(const img_desc& d, std::uint32_t x, std::uint32_t y)
{
    const std::uint8_t* p = pixelAt(d, x, y);
    switch (d.header->biBitCount) {
    case 1:
        return (*p >> (7 - (x & 7))) & 1;
    case 8:
        return *p;
    case 16:
        return p[0] | (p[1] << 8);
    default:
        return (p[0] << 16) | (p[1] << 8) | p[2];
    }
}

inline void set(const img_desc& d, std::uint32_t x, std::uint32_t y, std::uint32_t v)
{
    std::uint8_t* p = pixelAt(d, x, y);
    switch (d.header->biBitCount) {
    case 1:
        if (v & 1)
            *p |= static_cast<std::uint8_t>(0x80 >> (x & 7));
        else
            *p &= static_cast<std::uint8_t>(~(0x80 >> (x & 7)));
        break;
    case 8:
        *p = static_cast<std::uint8_t>(v);
        break;
    case 16:
        p[0] = static_cast<std::uint8_t>(v);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        break;
    default:
        p[0] = static_cast<std::uint8_t>(v >> 16);
        p[1] = static_cast<std::uint8_t>(v >> 8);
        p[2] = static_cast<std::uint8_t>(v);
        break;
    }
}

// A value that differs from pixel to pixel (within the depth's range).
inline std::uint32_t pattern(std::uint32_t x, std::uint32_t y, std::uint32_t bits)
{
    const std::uint32_t v = (x * 7919u + y * 104729u + x * y * 31u) ^ 0x5A5A5A;
    switch (bits) {
    case 1:
        return (v >> 3) & 1;
    case 8:
        return v & 0xFF;
    case 16:
        return v & 0xFFFF;
    default:
        return v & 0xFFFFFF;
    }
}

inline void fillPattern(const img_desc& d)
{
    const auto w = static_cast<std::uint32_t>(d.header->biWidth),
               h = static_cast<std::uint32_t>(d.header->biHeight);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x)
            set(d, x, y, pattern(x, y, d.header->biBitCount));
}

// Runs `op` (which calls the operation under test on images made beforehand) with the Nth
// allocation failing, for N = 1, 2, ... until a run gets through without meeting the failure.
// After every run no allocation made by the operation may remain. Returns the results of the
// runs in order; the last one is the run that met no failure.
template <class Op> std::vector<std::int32_t> runUnderAllocationFailures(Op op)
{
    std::vector<std::int32_t> results;
    for (int n = 1; n < 200; ++n) {
        const std::size_t before = img_live_allocations();
        img_fail_allocation(static_cast<std::uint32_t>(n));
        results.push_back(op());
        const bool met = !img_allocation_failure_pending();
        img_fail_allocation(0);
        EXPECT_EQ(img_live_allocations(), before) << "allocation " << n << " failing leaked memory";
        if (!met)
            return results;
    }
    ADD_FAILURE() << "operation never completed";
    return results;
}

} // namespace imgtest
