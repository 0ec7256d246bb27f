// Rotation and mirroring (see img_rotate.h).
//
// Quarter turns are permutations of whole pixels; they walk the image in square tiles, so that
// the rows read across a tile and the row written along it stay in the cache together (a plain
// column walk touches a new cache line for every pixel). Other angles map each target pixel back
// into the source with sine and cosine in 15-bit fixed point, stepped incrementally, and sample
// it bilinearly; palette images are worked in 24 bits and 1-bit images in 8 bits, then brought
// back to their depth.
#include "imagelib/img_rotate.h"

#include "imagelib/img_colour.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"
#include "imagelib/img_resize.h"

#include <bit>
#include <cmath>
#include <cstring>

using namespace imgrows;

namespace {

// Degrees to radians as the rotation has always computed it: 3.141592654 / 180, not the exact
// value, so that sines and cosines (and the images) come out the same.
constexpr double kRadiansPerDegree = 3.141592654 / 180;

std::uint32_t load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Writes four 3-byte pixels, each the low three bytes of a little-endian word, as 12 bytes:
// one 64-bit store of the first two and a third and one 32-bit store of the rest.
void store4x24(std::uint8_t* q, std::uint32_t p0, std::uint32_t p1, std::uint32_t p2, std::uint32_t p3)
{
    const std::uint64_t low =
        (p0 & 0xFFFFFFu) | (std::uint64_t{p1 & 0xFFFFFFu} << 24) | (std::uint64_t{p2} << 48);
    const std::uint32_t high = ((p2 >> 16) & 0xFF) | (p3 << 8);
    std::memcpy(q, &low, 8);
    std::memcpy(q + 8, &high, 4);
}

static_assert(std::endian::native == std::endian::little,
              "the packed 24-bit copy assumes little-endian words");

// Quarter turn of the working area: target rows come from source columns, target columns from
// source rows. 90 degrees: source column k -> target row Th - 1 - k, source row r -> target
// column r; 270 degrees: column k -> row k, row r -> column Tw - 1 - r.
template <std::uint32_t Bpp>
void rotateQuadrant(bool ninety, const img_desc* source, img_desc* target, std::uint32_t tw, std::uint32_t th)
{
    const std::uint32_t c0 = (source->x0 + source->x1 + 1 - th) >> 1;
    const std::uint32_t r0 = (source->y0 + source->y1 + 1 - tw) >> 1;
    constexpr std::uint32_t kTile = 32;
    const std::ptrdiff_t down = -static_cast<std::ptrdiff_t>(source->bytesPerRow); // next picture row
    for (std::uint32_t kt = 0; kt < th; kt += kTile) {
        const std::uint32_t kEnd = kt + kTile < th ? kt + kTile : th;
        for (std::uint32_t rt = 0; rt < tw; rt += kTile) {
            const std::uint32_t rEnd = rt + kTile < tw ? rt + kTile : tw;
            for (std::uint32_t k = kt; k < kEnd; ++k) {
                const std::uint32_t ty = target->y0 + (ninety ? th - 1 - k : k);
                std::uint8_t* out = rowOf(target, ty) + std::size_t{target->x0} * Bpp;
                const std::uint8_t* in = rowOf(source, r0 + rt) + std::size_t{c0 + k} * Bpp;
                // 24 bits: four pixels at a time, each read as a 32-bit word where the word
                // stays inside the source row.
                const bool words = Bpp == 3 && std::size_t{c0 + k} * 3 + 4 <= source->bytesPerRow;
                std::uint32_t r = rt;
                if (ninety) {
                    std::uint8_t* to = out + std::size_t{rt} * Bpp;
                    if (words)
                        for (; r + 4 <= rEnd; r += 4, in += 4 * down, to += 12)
                            store4x24(to, load32(in), load32(in + down), load32(in + 2 * down),
                                      load32(in + 3 * down));
                    for (; r < rEnd; ++r, in += down, to += Bpp)
                        std::memcpy(to, in, Bpp);
                } else {
                    std::uint8_t* to = out + std::size_t{tw - 1 - rt} * Bpp;
                    if (words)
                        for (; r + 4 <= rEnd; r += 4, in += 4 * down, to -= 12)
                            store4x24(to - 9, load32(in + 3 * down), load32(in + 2 * down), load32(in + down),
                                      load32(in));
                    for (; r < rEnd; ++r, in += down, to -= Bpp)
                        std::memcpy(to, in, Bpp);
                }
            }
        }
    }
}

void img_rotate_quadrant(int quadrant, const img_desc* source, img_desc* target, std::uint32_t tw,
                         std::uint32_t th, std::uint32_t bpp)
{
    if (bpp == 3)
        rotateQuadrant<3>(quadrant == 90, source, target, tw, th);
    else
        rotateQuadrant<1>(quadrant == 90, source, target, tw, th);
}

// Any other angle: every target pixel of the working size samples the source at its offset from
// the target centre turned by the angle, around the source centre.
void rotateGeneral(std::int32_t s, std::int32_t c, const img_desc* source, img_desc* target, std::uint32_t tw,
                   std::uint32_t th, std::uint32_t bpp)
{
    ImgSampleCache cache;
    img_sample_reset(&cache);
    const std::int64_t cx = source->x0 + areaWidth(source) / 2, cy = source->y0 + areaHeight(source) / 2;
    const std::int64_t hw = tw / 2, hh = th / 2;
    // u = dx c - dy s, v = dx s + dy c, in 1/32768 pixel; both step by (c, s) along a row.
    std::int64_t rowU = -hw * c + hh * s;
    std::int64_t rowV = -hw * s - hh * c;
    for (std::uint32_t i = 0; i < th; ++i, rowU -= s, rowV += c) {
        std::int64_t u = rowU, v = rowV;
        for (std::uint32_t j = 0; j < tw; ++j, u += c, v += s) {
            const std::int64_t x = cx + (u >> 15), y = cy + (v >> 15); // floor
            if (x < 0 || y < 0 || x > 0x7FFFFFFF || y > 0x7FFFFFFF)
                continue;
            img_sample_bilinear(&cache, j, i, static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                                static_cast<std::uint32_t>(u & 32767), static_cast<std::uint32_t>(v & 32767),
                                bpp, source, target);
        }
    }
}

std::int32_t checkBoth(std::int32_t flavour, img_desc* source, img_desc* target)
{
    const std::uint32_t accepted =
        flavour == 1 ? IMG_DEPTH_1 | IMG_DEPTH_8 | IMG_DEPTH_24 : IMG_DEPTH_8 | IMG_DEPTH_24;
    std::int32_t r = img_validate(source, accepted);
    if (r == IMG_OK)
        r = img_validate(target, accepted);
    if (r == IMG_OK && img_bits(source) != img_bits(target))
        r = IMG_ERR_DEPTH;
    return r;
}

} // namespace

void img_rotated_size(std::uint32_t sourceWidth, std::uint32_t sourceHeight, std::int32_t sine,
                      std::int32_t cosine, std::uint32_t* width, std::uint32_t* height)
{
    const std::uint64_t as = static_cast<std::uint64_t>(sine < 0 ? -std::int64_t{sine} : sine);
    const std::uint64_t ac = static_cast<std::uint64_t>(cosine < 0 ? -std::int64_t{cosine} : cosine);
    *width = static_cast<std::uint32_t>((sourceWidth * ac + sourceHeight * as + 32767) >> 15);
    *height = static_cast<std::uint32_t>((sourceWidth * as + sourceHeight * ac + 32767) >> 15);
}

std::int32_t img_rotate(double angle, img_desc* source, img_desc* target)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = checkBoth(1, source, target);
        if (r != IMG_OK)
            return r;
        const std::uint32_t bits = img_bits(source);
        const bool paletteSource = bits == 8 && !(source->typeFlags & IMG_TYPE_GRAY);
        if (!std::isfinite(angle))
            return IMG_ERR_RANGE;
        angle = std::fmod(angle, 360.0); // the same as stepping by whole turns, in one step
        if (angle < 0)
            angle += 360;
        const double theta = angle * kRadiansPerDegree;
        const auto s = static_cast<std::int32_t>(std::sin(theta) * 32768);
        const auto c = static_cast<std::int32_t>(std::cos(theta) * 32768);

        if (angle == 0)
            return img_copy_image(source, target);
        if (angle == 180) {
            if ((r = img_flip(source, target)) == IMG_OK)
                r = img_flip_vertical(target, target);
            return r;
        }
        const int quadrant = angle == 90 ? 90 : angle == 270 ? 270 : 0;

        std::uint32_t tw = areaWidth(target), th = areaHeight(target);
        std::uint32_t rw, rh;
        img_rotated_size(areaWidth(source), areaHeight(source), s, c, &rw, &rh);
        tw = tw < rw ? tw : rw;
        th = th < rh ? th : rh;
        if (tw == 0 || th == 0)
            return IMG_OK; // nothing of the source reaches the target

        // Working images, each freed on every path.
        ImgTempImage source8, target8, source24, target24, sourceCopy;
        img_desc* from = source;
        img_desc* to = target;
        if (bits == 1) {
            // img_rotate_temp8
            if ((r = img_alloc(source8.get(), areaWidth(source), areaHeight(source), 8)) != IMG_OK ||
                (r = img_alloc(target8.get(), tw, th, 8)) != IMG_OK ||
                (r = img_1bit_to_8(source, source8.get(), 0)) != IMG_OK ||
                (r = img_1bit_to_8(target, target8.get(), 0)) != IMG_OK)
                return r;
            from = source8.get();
            to = target8.get();
        } else if (paletteSource && quadrant == 0) {
            // img_rotate_temp24
            if ((r = img_alloc(source24.get(), areaWidth(source), areaHeight(source), 24)) != IMG_OK ||
                (r = img_alloc(target24.get(), tw, th, 24)) != IMG_OK ||
                (r = img_palette_to_rgb(source, source24.get())) != IMG_OK ||
                (r = img_palette_to_rgb(target, target24.get())) != IMG_OK)
                return r;
            from = source24.get();
            to = target24.get();
        }
        if (img_rows_overlap(from, to)) {
            if ((r = img_alloc(sourceCopy.get(), areaWidth(from), areaHeight(from), img_bits(from))) !=
                    IMG_OK ||
                (r = img_copy_image(from, sourceCopy.get())) != IMG_OK)
                return r;
            from = sourceCopy.get();
        }

        const std::uint32_t bpp = img_bits(from) / 8;
        if (quadrant)
            img_rotate_quadrant(quadrant, from, to, tw, th, bpp);
        else
            rotateGeneral(s, c, from, to, tw, th, bpp);

        img_copy_palette(source, target);
        if (bits == 1)
            return img_to_1bit(0, to, target);
        if (to != target)
            return img_reduce_colors(to, target, 3);
        return IMG_OK;
    });
}

std::int32_t img_rotate_90(std::int32_t counterClockwise, img_desc* source, img_desc* target)
{
    return img_rotate(counterClockwise ? 90.0 : -90.0, source, target);
}

// ---- mirroring ----

void img_flip_row(std::uint8_t* target, const std::uint8_t* source, std::uint32_t count, std::uint32_t bpp)
{
    if (bpp == 0) {
        std::memset(target, 0, (count + 7) / 8);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t from = count - 1 - i;
            if ((source[from >> 3] >> (7 - (from & 7))) & 1)
                target[i >> 3] |= static_cast<std::uint8_t>(0x80 >> (i & 7));
        }
        return;
    }
    if (target != source)
        std::memmove(target, source, std::size_t{count} * bpp);
    for (std::uint32_t i = 0; i < count / 2; ++i) {
        std::uint8_t* a = target + std::size_t{i} * bpp;
        std::uint8_t* b = target + std::size_t{count - 1 - i} * bpp;
        for (std::uint32_t k = 0; k < bpp; ++k) {
            const std::uint8_t t = a[k];
            a[k] = b[k];
            b[k] = t;
        }
    }
}

std::int32_t img_rows_apply(std::int32_t flavour, img_desc* source, img_desc* target, ImgRowOp op)
{
    std::int32_t r = checkBoth(flavour, source, target);
    if (r != IMG_OK)
        return r;
    std::uint32_t rows, columns;
    img_common_size(source, target, &rows, &columns);
    const std::uint32_t bits = img_bits(source);
    if (bits == 1) {
        ImgWork<std::uint8_t> in = img_work_array<std::uint8_t>(columns / 8 + 4);
        ImgWork<std::uint8_t> out = img_work_array<std::uint8_t>(columns / 8 + 4);
        if (!in || !out)
            return IMG_ERR_NO_MEMORY;
        for (std::uint32_t i = 0; i < rows; ++i) {
            img_bits_extract(rowOf(source, source->y0 + i), source->x0, columns, in.get());
            op(out.get(), in.get(), columns, 0);
            img_bits_insert(rowOf(target, target->y0 + i), target->x0, columns, out.get());
        }
        return IMG_OK;
    }
    for (std::uint32_t i = 0; i < rows; ++i)
        op(areaRow(target, i), areaRow(source, i), columns, bits / 8);
    return IMG_OK;
}

std::int32_t img_flip(img_desc* source, img_desc* target)
{
    return img_rows_apply(1, source, target, img_flip_row);
}

std::int32_t img_flip_vertical(img_desc* source, img_desc* target)
{
    std::int32_t r = checkBoth(1, source, target);
    if (r != IMG_OK)
        return r;
    std::uint32_t rows, columns;
    img_common_size(source, target, &rows, &columns);
    const std::uint32_t bits = img_bits(source);
    const std::size_t rowBytes = bits == 1 ? columns / 8 + 4 : std::size_t{columns} * bits / 8;
    ImgWork<std::uint8_t> held = img_work_array<std::uint8_t>(rowBytes);
    ImgWork<std::uint8_t> moving = img_work_array<std::uint8_t>(bits == 1 ? rowBytes : 1);
    if (!held || !moving)
        return IMG_ERR_NO_MEMORY;
    // Target row i takes source row (rows - 1 - i) and the other way round. The row that is
    // overwritten first is held in a buffer, so one image can be turned over in place.
    for (std::uint32_t i = 0; i < (rows + 1) / 2; ++i) {
        const std::uint32_t j = rows - 1 - i;
        if (bits == 1) {
            img_bits_extract(rowOf(source, source->y0 + j), source->x0, columns, held.get());
            img_bits_extract(rowOf(source, source->y0 + i), source->x0, columns, moving.get());
            img_bits_insert(rowOf(target, target->y0 + j), target->x0, columns, moving.get());
            img_bits_insert(rowOf(target, target->y0 + i), target->x0, columns, held.get());
        } else {
            std::memcpy(held.get(), areaRow(source, j), rowBytes);
            std::memmove(areaRow(target, j), areaRow(source, i), rowBytes);
            std::memcpy(areaRow(target, i), held.get(), rowBytes);
        }
    }
    return IMG_OK;
}
