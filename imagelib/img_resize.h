// Resampling of one image area into another of a different size, and the copies between areas
// that resize, rotation and conversion share.
//
// img_resize is nearest-neighbour with Bresenham stepping, separately per axis: a ResizeMask per
// axis says which source positions are taken (see img_resize_mask), so that the per-pixel work
// is table lookups and copies, without multiplication or division. img_resize_smooth resamples
// with fixed-point bilinear interpolation (enlarging) or box averaging (shrinking both ways).
//
// All operations take no lock and run on the caller's thread; the bilinear sample cache belongs
// to one call.
#pragma once

#include "imagelib/img_desc.h"
#include "imagelib/img_memory.h"

#include <cstdint>
#include <memory>

// Resamples the source area into the target area (nearest neighbour). Depths 1, 8, 24, equal in
// both (-26); the checks of img_validate_1_8_24; -14 when the masks cannot be allocated. Source
// and target may be areas of one image, even overlapping. The target gets the source's palette.
std::int32_t img_resize(img_desc* source, img_desc* target);
// Mode 0: img_resize. Otherwise bilinear (or box averaging when shrinking both ways), in 15-bit
// fixed point; palette images (8 bits, not grey) are resampled in 24 bits and reduced back onto
// the target's palette. 1-bit images always go through img_resize.
std::int32_t img_resize_smooth(img_desc* source, img_desc* target, std::int32_t mode);

// img_copy_pixels, then img_copy_palette when that succeeded.
std::int32_t img_copy_image(img_desc* source, img_desc* target);
// Copies the common part of the two areas (img_common_size) from each area's top-left corner.
// Depths 1, 8, 24, equal in both (-26); -14 when the bit-row buffer of a 1-bit copy cannot be
// had. Copying between overlapping areas of one image never reads a row it has overwritten.
std::int32_t img_copy_pixels(img_desc* source, img_desc* target);
// When both have palettes and at most 8 bits: copies as many entries as the target's header
// holds and the source has, sets the target's colour count to that number and copies the grey
// flag. Otherwise nothing.
void img_copy_palette(const img_desc* source, img_desc* target);

// 1 when the two areas may share memory: equal bytes per row, meeting column ranges and meeting
// row address ranges; else 0.
std::int32_t img_rows_overlap(const img_desc* a, const img_desc* b);

// One axis of a nearest-neighbour resize from S source positions to T target positions.
// T >= S (dense): one bit per target position, a set bit takes the next source position and a
// clear bit repeats the last one. T < S (sparse): one bit per source position, a set bit keeps
// it and a clear bit drops it. Exactly min(T, S) bits are set; bit 0 always. Bits are stored
// most significant first.
struct ResizeMask
{
    ImgWork<std::uint8_t> bits;
    std::uint32_t bitCount = 0;
    bool dense = false;

    bool test(std::uint32_t i) const { return (bits[i >> 3] >> (7 - (i & 7))) & 1; }
};
// Builds the mask for T target and S source positions (both at least 1); -14 without memory.
std::int32_t img_resize_mask(ResizeMask* mask, std::uint32_t t, std::uint32_t s);
// The source position (relative to the area) of each of the mask's target positions: T entries.
void img_scale_columns(const ResizeMask& mask, std::uint32_t* columns);
// The nearest-neighbour row builder of 8-bit rows: target pixel k takes source pixel columns[k].
void img_scale_row8(const std::uint8_t* from, std::uint8_t* to, const std::uint32_t* columns,
                    std::uint32_t count);

// ---- nearest-neighbour rows one at a time ----

struct ImgRowBuilder; // the row builder of img_resize (img_resize.cpp)

// The rows img_resize writes into a target area of `width` x `height` pixels, built one at a
// time into the caller's memory: for a caller that passes every row on as soon as it is built
// (drawing), so that no target image is written and read back. 8 and 24 bits.
class ImgScaledRows
{
public:
    ImgScaledRows();
    ~ImgScaledRows();
    ImgScaledRows(const ImgScaledRows&) = delete;
    ImgScaledRows& operator=(const ImgScaledRows&) = delete;

    // Plans the rows of the source's area at `width` x `height`. IMG_OK; the checks of
    // img_validate_1_8_24; -26 for a 1-bit source; -1 for a zero size; -14 without memory. The
    // source must stay as it is while rows are built.
    std::int32_t open(img_desc* source, std::uint32_t width, std::uint32_t height);
    std::uint32_t width() const { return m_width; }
    std::uint32_t height() const { return m_height; }
    std::uint32_t bytesPerPixel() const { return m_bytesPerPixel; }
    // Writes target row `y` (0 = the top row, below height()): width() x bytesPerPixel() bytes at
    // `to`, the bytes img_resize would store in that row, and nothing beyond them.
    void row(std::uint32_t y, std::uint8_t* to) const;

private:
    const img_desc* m_source = nullptr;
    std::uint32_t m_width = 0, m_height = 0, m_bytesPerPixel = 0;
    ImgWork<std::uint32_t> m_columns;    // source byte offset of every target pixel
    ImgWork<std::uint32_t> m_sourceRows; // source area row of every target row
    std::unique_ptr<ImgRowBuilder> m_builder;
};

// ---- pixels ----

// Byte offset of picture point (x, y) from the pixels: x * bits / 8 + (height - y - 1) * stride.
std::size_t img_pixel_offset(const img_desc* desc, std::uint32_t x, std::uint32_t y);
// 8 bits: the low byte; 24 bits: (value >> 16), (value >> 8), value in storage order; 1 bit:
// bit (value & 1).
void img_put_pixel(img_desc* desc, std::uint32_t x, std::uint32_t y, std::uint32_t value);

// The last 2 x 2 neighbourhood fetched by the bilinear sampler of one resample or rotation.
struct ImgSampleCache
{
    std::int32_t x = -1, y = -1;
    std::uint8_t bytes[12] = {}; // p00, p10, p01, p11, 3 bytes each (1 used for 8 bits)
};
void img_sample_reset(ImgSampleCache* cache);
// The pixel at (x, y) of the source, its right neighbour, the one below and the one below
// right, each 1 or 3 bytes; neighbours beyond the area's last column or row repeat the edge.
const std::uint8_t* img_fetch_2x2(ImgSampleCache* cache, const img_desc* source, std::int32_t x,
                                  std::int32_t y, std::uint32_t bytesPerPixel);
// Writes at target (target x0 + j, target y0 + i) the bilinear sample of the source at (x, y)
// with 15-bit fractions fx, fy; a point outside the source area leaves the target pixel as it
// is. `bytesPerPixel` is 1 (8 bits) or 3 (24 bits).
void img_sample_bilinear(ImgSampleCache* cache, std::uint32_t j, std::uint32_t i, std::int32_t x,
                         std::int32_t y, std::uint32_t fx, std::uint32_t fy, std::uint32_t bytesPerPixel,
                         const img_desc* source, img_desc* target);
