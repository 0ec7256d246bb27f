// Rotation and mirroring (see img_rotate.h).
//
// Quarter turns are permutations of whole pixels; they walk the image in square tiles, so that
// the rows read across a tile and the row written along it stay in the cache together (a plain
// column walk touches a new cache line for every pixel). 24-bit quarter turns have a vector path
// that transposes 16 x 16 pixel blocks in registers (see rotateBlocks24). Other angles map each target pixel
// back into the source with sine and cosine in 15-bit fixed point, stepped incrementally, and sample it
// bilinearly; palette images are worked in 24 bits and 1-bit images in 8 bits, then brought back to their
// depth.
#include "imagelib/img_rotate.h"

#include "imagelib/img_bits.h"
#include "imagelib/img_colour.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"
#include "imagelib/img_resize.h"

#include <bit>
#include <cmath>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
// column r; 270 degrees: column k -> row k, row r -> column Tw - 1 - r. Here k and r count from
// the first column and row used (the centred Th columns and Tw rows of the source area).
struct Quadrant
{
    bool ninety;
    const img_desc* source;
    img_desc* target;
    std::uint32_t tw, th;
    std::uint32_t c0, r0; // first source column and row used
};

// Target row of source column k and target column of source row r.
std::uint32_t targetRowOf(const Quadrant& q, std::uint32_t k)
{
    return q.target->y0 + (q.ninety ? q.th - 1 - k : k);
}

std::uint32_t targetColumnOf(const Quadrant& q, std::uint32_t r)
{
    return q.target->x0 + (q.ninety ? r : q.tw - 1 - r);
}

// Plain path over columns [k0, k1) and rows [r0, r1), in square tiles.
template <std::uint32_t Bpp>
void rotateQuadrantPlain(const Quadrant& q, std::uint32_t k0, std::uint32_t k1, std::uint32_t rBegin,
                         std::uint32_t rEnd0)
{
    constexpr std::uint32_t kTile = 32;
    const std::ptrdiff_t down = -static_cast<std::ptrdiff_t>(q.source->bytesPerRow); // next picture row
    for (std::uint32_t kt = k0; kt < k1; kt += kTile) {
        const std::uint32_t kEnd = kt + kTile < k1 ? kt + kTile : k1;
        for (std::uint32_t rt = rBegin; rt < rEnd0; rt += kTile) {
            const std::uint32_t rEnd = rt + kTile < rEnd0 ? rt + kTile : rEnd0;
            for (std::uint32_t k = kt; k < kEnd; ++k) {
                std::uint8_t* to =
                    rowOf(q.target, targetRowOf(q, k)) + std::size_t{targetColumnOf(q, rt)} * Bpp;
                const std::uint8_t* in = rowOf(q.source, q.r0 + rt) + std::size_t{q.c0 + k} * Bpp;
                // 24 bits: four pixels at a time, each read as a 32-bit word where the word
                // stays inside the source row.
                const bool words = Bpp == 3 && std::size_t{q.c0 + k} * 3 + 4 <= q.source->bytesPerRow;
                std::uint32_t r = rt;
                if (q.ninety) {
                    if (words)
                        for (; r + 4 <= rEnd; r += 4, in += 4 * down, to += 12)
                            store4x24(to, load32(in), load32(in + down), load32(in + 2 * down),
                                      load32(in + 3 * down));
                    for (; r < rEnd; ++r, in += down, to += Bpp)
                        std::memcpy(to, in, Bpp);
                } else {
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

#if defined(__x86_64__)
// Vector path for 24 bits: blocks of 16 source rows by 16 source columns. Each source row's 16
// pixels (48 bytes, read exactly) are widened to 16 dwords, the 16 x 16 dwords are transposed
// in four rounds of unpacks and lane shuffles, and each resulting column is narrowed back to
// 48 bytes (in reverse pixel order for 270 degrees) and written exactly into its target row.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) void
rotateBlocks24(const Quadrant& q, std::uint32_t kBlocks, std::uint32_t rBlocks)
{
    alignas(64) std::uint8_t widen[64], narrow[64] = {};
    for (int i = 0; i < 16; ++i)
        for (int b = 0; b < 4; ++b) {
            widen[4 * i + b] = static_cast<std::uint8_t>(3 * i + (b < 3 ? b : 2));
            if (b < 3)
                narrow[3 * i + b] = static_cast<std::uint8_t>(4 * (q.ninety ? i : 15 - i) + b);
        }
    const __m512i widenIndex = _mm512_load_si512(widen);
    const __m512i narrowIndex = _mm512_load_si512(narrow);
    const __mmask64 bytes48 = (__mmask64{1} << 48) - 1;
    // Byte steps to the next picture row of the source, and to the target row of the next
    // source column (up the picture at 90 degrees, down at 270; rows are stored bottom-up).
    const std::ptrdiff_t down = -static_cast<std::ptrdiff_t>(q.source->bytesPerRow);
    const std::ptrdiff_t nextTargetRow = q.ninety ? static_cast<std::ptrdiff_t>(q.target->bytesPerRow)
                                                  : -static_cast<std::ptrdiff_t>(q.target->bytesPerRow);
    // Full masks: the zero-masking forms of the operations, which need no undefined inputs.
    const __mmask64 all64 = ~__mmask64{0};
    const __mmask16 all16 = 0xFFFF;
    const __mmask8 all8 = 0xFF;
    // Blocks go in groups of 4 x 4 (64 x 64 pixels: 12 KiB read, 12 KiB written), so that the
    // cache lines a group touches are still in the first-level cache when its neighbours reuse
    // them. At 270 degrees the blocks go from right to left in the target (see the stores).
    constexpr std::uint32_t kGroup = 4;
    for (std::uint32_t ng = 0; ng < rBlocks; ng += kGroup)
        for (std::uint32_t kg = 0; kg < kBlocks; kg += kGroup)
            for (std::uint32_t n = ng; n < ng + kGroup && n < rBlocks; ++n) {
                const std::uint32_t rb = q.ninety ? n : rBlocks - 1 - n;
                const std::uint32_t r = rb * 16;
                // A block's 48 bytes per target row may be written as 64 when the 16 bytes after them
                // are the area's and are written later (by the next block or the plain path): at 90
                // degrees they are the next block's, at 270 degrees the block to the right, done next.
                const bool fullStores = q.ninety ? r + 16 + 6 <= q.tw : r >= 6;
                for (std::uint32_t kb = kg; kb < kg + kGroup && kb < kBlocks; ++kb) {
                    const std::uint32_t k = kb * 16;
                    // 64 bytes are read where they lie inside the source row, else exactly 48.
                    const bool fullLoads = std::size_t{q.c0 + k} * 3 + 64 <= q.source->bytesPerRow;
                    __m512i m[16], t[16];
                    const std::uint8_t* in = rowOf(q.source, q.r0 + r) + std::size_t{q.c0 + k} * 3;
                    for (std::uint32_t i = 0; i < 16; ++i, in += down) {
                        const __m512i row =
                            fullLoads ? _mm512_loadu_si512(in) : _mm512_maskz_loadu_epi8(bytes48, in);
                        m[i] = _mm512_maskz_permutexvar_epi8(all64, widenIndex, row);
                    }
                    for (int i = 0; i < 16; i += 2) {
                        t[i] = _mm512_maskz_unpacklo_epi32(all16, m[i], m[i + 1]);
                        t[i + 1] = _mm512_maskz_unpackhi_epi32(all16, m[i], m[i + 1]);
                    }
                    for (int i = 0; i < 16; i += 4) {
                        m[i] = _mm512_maskz_unpacklo_epi64(all8, t[i], t[i + 2]);
                        m[i + 1] = _mm512_maskz_unpackhi_epi64(all8, t[i], t[i + 2]);
                        m[i + 2] = _mm512_maskz_unpacklo_epi64(all8, t[i + 1], t[i + 3]);
                        m[i + 3] = _mm512_maskz_unpackhi_epi64(all8, t[i + 1], t[i + 3]);
                    }
                    for (int i = 0; i < 4; ++i) {
                        t[i] = _mm512_maskz_shuffle_i32x4(all16, m[i], m[i + 4], 0x88);
                        t[i + 4] = _mm512_maskz_shuffle_i32x4(all16, m[i], m[i + 4], 0xdd);
                        t[i + 8] = _mm512_maskz_shuffle_i32x4(all16, m[i + 8], m[i + 12], 0x88);
                        t[i + 12] = _mm512_maskz_shuffle_i32x4(all16, m[i + 8], m[i + 12], 0xdd);
                    }
                    for (int i = 0; i < 8; ++i) {
                        m[i] = _mm512_maskz_shuffle_i32x4(all16, t[i], t[i + 8], 0x88);     // column i
                        m[i + 8] = _mm512_maskz_shuffle_i32x4(all16, t[i], t[i + 8], 0xdd); // column i + 8
                    }
                    const std::uint32_t firstColumn =
                        q.ninety ? targetColumnOf(q, r) : targetColumnOf(q, r + 15);
                    std::uint8_t* to = rowOf(q.target, targetRowOf(q, k)) + std::size_t{firstColumn} * 3;
                    for (std::uint32_t j = 0; j < 16; ++j, to += nextTargetRow) {
                        const __m512i bytes = _mm512_maskz_permutexvar_epi8(all64, narrowIndex, m[j]);
                        if (fullStores)
                            _mm512_storeu_si512(to, bytes);
                        else
                            _mm512_mask_storeu_epi8(to, bytes48, bytes);
                    }
                }
            }
}
#endif

void img_rotate_quadrant(int quadrant, const img_desc* source, img_desc* target, std::uint32_t tw,
                         std::uint32_t th, std::uint32_t bpp)
{
    const Quadrant q{quadrant == 90,
                     source,
                     target,
                     tw,
                     th,
                     (source->x0 + source->x1 + 1 - th) >> 1,
                     (source->y0 + source->y1 + 1 - tw) >> 1};
    if (bpp == 1) {
        rotateQuadrantPlain<1>(q, 0, th, 0, tw);
        return;
    }
    std::uint32_t kBlocks = 0, rBlocks = 0;
#if defined(__x86_64__)
    if (img_vector_paths_usable()) {
        kBlocks = th / 16;
        rBlocks = tw / 16;
        rotateBlocks24(q, kBlocks, rBlocks);
    }
#endif
    // What the blocks left: the columns after the last block, and the rows after it.
    rotateQuadrantPlain<3>(q, kBlocks * 16, th, 0, tw);
    rotateQuadrantPlain<3>(q, 0, kBlocks * 16, rBlocks * 16, tw);
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
