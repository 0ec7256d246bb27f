// Dithering onto the fixed palettes and the conversions between pixel layouts (see
// img_colour.h). Colour reduction onto computed palettes is in img_reduce.cpp.
#include "imagelib/img_colour.h"

#include "imagelib/img_bits.h"
#include "imagelib/img_colour_rows.h"
#include "imagelib/img_diffusion.h"
#include "imagelib/img_frame.h"
#include "imagelib/img_memory.h"

#include <array>
#include <cstring>

using namespace imgrows;

namespace {

// Cube level of every channel value for every dither threshold t (0 to 50):
// level(v) + 1 when t < remainder(v), else level(v). One lookup per channel in the dithering loop.
struct DitherLevels
{
    std::uint8_t level[51][256];
    constexpr DitherLevels() : level()
    {
        for (int t = 0; t < 51; ++t)
            for (int v = 0; v < 256; ++v)
                level[t][v] = static_cast<std::uint8_t>(imgrows::level(v) + (t < remainder51(v) ? 1 : 0));
    }
};
constexpr DitherLevels kDitherLevels;

// Level and remainder of every channel value, for the diffusion loops.
struct CubeTables
{
    std::uint8_t level[256];
    std::uint8_t remainder[256];
    constexpr CubeTables() : level(), remainder()
    {
        for (int v = 0; v < 256; ++v) {
            level[v] = static_cast<std::uint8_t>(imgrows::level(v));
            remainder[v] = static_cast<std::uint8_t>(remainder51(v));
        }
    }
};
constexpr CubeTables kCube;

// Validates both descriptors with the given flavours and checks that each has one of the
// depths the conversion takes (bit n of the masks for n bits).
std::int32_t checkPair(img_desc* source, std::uint32_t sourceValid, std::uint32_t sourceDepths,
                       img_desc* target, std::uint32_t targetValid, std::uint32_t targetDepths)
{
    std::int32_t r = img_validate(source, sourceValid);
    if (r == IMG_OK)
        r = img_validate(target, targetValid);
    if (r != IMG_OK)
        return r;
    if (!(sourceDepths & (1u << img_bits(source))) || !(targetDepths & (1u << img_bits(target))))
        return IMG_ERR_DEPTH;
    return IMG_OK;
}

constexpr std::uint32_t k824 = IMG_DEPTH_8 | IMG_DEPTH_24;
constexpr std::uint32_t k1824 = IMG_DEPTH_1 | IMG_DEPTH_8 | IMG_DEPTH_24;
constexpr std::uint32_t k181624 = IMG_DEPTH_1 | IMG_DEPTH_8 | IMG_DEPTH_16 | IMG_DEPTH_24;

// The fixed palette a dithering leaves on its target.
void giveFixedPalette(img_desc* target, bool palette256)
{
    if (palette256)
        img_palette_256(target);
    else
        img_stock_palette(1, target);
    target->typeFlags &= ~IMG_TYPE_GRAY;
    img_push_palette(target);
}

void img_dither_row256(const std::uint8_t* bgrRow, std::uint32_t n, std::uint32_t i, std::uint8_t* out)
{
    // Pixel k uses matrix column (n - 1 - k) & 7, which repeats every 8 pixels: the level table
    // of each of the 8 positions is picked once per row.
    const std::uint8_t* m = kDitherMatrix[i & 7];
    const std::uint8_t* levels[8];
    for (std::uint32_t p = 0; p < 8; ++p)
        levels[p] = kDitherLevels.level[m[(n - 1 - p) & 7]];
    auto one = [&](std::uint32_t k, const std::uint8_t* l) {
        const std::uint8_t* px = bgrRow + 3 * std::size_t{k};
        out[k] = static_cast<std::uint8_t>(225 - (l[px[0]] + 6 * l[px[1]] + 36 * l[px[2]]));
    };
    std::uint32_t k = 0;
    for (; k + 8 <= n; k += 8)
        for (std::uint32_t p = 0; p < 8; ++p)
            one(k + p, levels[p]);
    for (; k < n; ++k)
        one(k, levels[k & 7]);
}

void img_dither_row16(const std::uint8_t* bgrRow, std::uint32_t n, std::uint32_t i, std::uint8_t* out)
{
    const std::uint8_t* m = kDitherMatrix[i & 7];
    for (std::uint32_t k = 0; k < n; ++k, bgrRow += 3) {
        const int t = m[(n - 1 - k) & 7] * 5;
        const int bits = (t < bgrRow[0]) | ((t < bgrRow[1]) << 1) | ((t < bgrRow[2]) << 2);
        out[k] = kIndex16[bits];
    }
}

// Floyd-Steinberg over one row: `cur` (n + 2 triples, guard pixel at each end) is mapped into
// `out` while its errors go to its own next pixel and to `next`, the following row.
void img_diffuse_row(std::uint8_t* cur, std::uint8_t* next, std::uint32_t n, bool palette256,
                     std::uint8_t* out)
{
    for (std::uint32_t k = 0; k < n; ++k) {
        std::uint8_t* p = cur + 3 * (k + 1);
        std::uint8_t* below = next + 3 * k; // left of the pixel below
        int levels[3];
        int bits = 0;
        for (int c = 0; c < 3; ++c) {
            const int v = p[c];
            int e;
            if (palette256) {
                const int rem = kCube.remainder[v];
                levels[c] = kCube.level[v] + (rem >= 25);
                e = rem < 25 ? rem : rem - 51;
            } else {
                if (v >= 128) {
                    bits |= 1 << c;
                    e = v - 255;
                } else {
                    e = v;
                }
            }
            diffuseError(p, below, c, e);
        }
        out[k] = palette256 ? static_cast<std::uint8_t>(225 - (levels[0] + 6 * levels[1] + 36 * levels[2]))
                            : kIndex16[bits];
    }
}

} // namespace

// ---- dithering ----

std::int32_t img_dither_ordered(img_desc* source, img_desc* target, std::int32_t palette256)
{
    std::int32_t r = checkPair(source, k824, k824, target, k824, IMG_DEPTH_8);
    if (r != IMG_OK)
        return r;
    if (!target->palette)
        return IMG_ERR_ARGUMENT;
    std::uint32_t rows, columns;
    img_common_size(source, target, &rows, &columns);
    ImgWork<std::uint8_t> line = img_work_array<std::uint8_t>(std::size_t{columns} * 3);
    if (!line)
        return IMG_ERR_NO_MEMORY;
    const ExpandTable table(source);
    for (std::uint32_t i = 0; i < rows; ++i) {
        loadTriples(source, i, columns, &table, line.get());
        if (palette256)
            img_dither_row256(line.get(), columns, i, areaRow(target, i));
        else
            img_dither_row16(line.get(), columns, i, areaRow(target, i));
    }
    giveFixedPalette(target, palette256 != 0);
    return IMG_OK;
}

std::int32_t img_dither_diffuse(img_desc* source, img_desc* target, std::int32_t palette256)
{
    std::int32_t r = checkPair(source, k824, k824, target, k824, IMG_DEPTH_8);
    if (r != IMG_OK)
        return r;
    if (!target->palette)
        return IMG_ERR_ARGUMENT;
    std::uint32_t rows, columns;
    img_common_size(source, target, &rows, &columns);
    const std::size_t bufferBytes = (std::size_t{columns} + 2) * 3;
    ImgWork<std::uint8_t> a = img_work_array<std::uint8_t>(bufferBytes);
    ImgWork<std::uint8_t> b = img_work_array<std::uint8_t>(bufferBytes);
    if (!a || !b)
        return IMG_ERR_NO_MEMORY;
    const ExpandTable table(source);
    std::uint8_t* cur = a.get();
    std::uint8_t* next = b.get();
    auto load = [&](std::uint32_t i, std::uint8_t* buffer) {
        std::memset(buffer, 0, bufferBytes);
        loadTriples(source, i, columns, &table, buffer + 3);
    };
    // Row i is mapped while row i + 1 is already loaded, so that its errors reach the next row
    // before that is mapped; the last row is loaded once more to take the last errors.
    load(0, cur);
    for (std::uint32_t i = 0; i < rows; ++i) {
        load(i + 1 < rows ? i + 1 : rows - 1, next);
        img_diffuse_row(cur, next, columns, palette256 != 0, areaRow(target, i));
        std::swap(cur, next);
    }
    giveFixedPalette(target, palette256 != 0);
    return IMG_OK;
}

// ---- palette expansion ----

std::int32_t img_palette_to_rgb(img_desc* source, img_desc* target)
{
    std::int32_t r = checkPair(source, k824, IMG_DEPTH_8, target, k824, IMG_DEPTH_24);
    if (r != IMG_OK)
        return r;
    if (!source->palette)
        return IMG_ERR_ARGUMENT;
    const ExpandTable table(source);
    forEachCommonRow(source, target, [&](const std::uint8_t* from, std::uint8_t* to, std::uint32_t columns) {
        for (std::uint32_t k = 0; k < columns; ++k, to += 3)
            std::memcpy(to, table.bgr[from[k]], 3);
    });
    return IMG_OK;
}

// ---- 1 bit ----

std::int32_t img_to_1bit(std::int32_t mode, img_desc* source, img_desc* target)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = checkPair(source, k824, IMG_DEPTH_8, target, k1824, IMG_DEPTH_1);
        if (r != IMG_OK)
            return r;
        ImgTempImage grey;
        img_desc* from = source;
        if (!(source->typeFlags & IMG_TYPE_GRAY) && !img_is_gray(source)) {
            if ((r = img_alloc(grey.get(), areaWidth(source), areaHeight(source), 8)) != IMG_OK ||
                (r = img_to_gray(source, grey.get())) != IMG_OK)
                return r;
            from = grey.get();
        }
        std::uint32_t rows, columns;
        img_common_size(from, target, &rows, &columns);
        ImgWork<std::uint8_t> bitRow = img_work_array<std::uint8_t>((columns + 7) / 8);
        if (!bitRow)
            return IMG_ERR_NO_MEMORY;
        auto put = [&](std::uint32_t i) {
            img_bits_insert(rowOf(target, target->y0 + i), target->x0, columns, bitRow.get());
        };
        if (mode == 0) {
            ImgStuckiRows stucki;
            if ((r = stucki.init(columns)) != IMG_OK)
                return r;
            // The bits of row i come out when row i + 2 (or nothing, past the end) is fed.
            for (std::uint32_t fed = 0; fed < rows + 2; ++fed)
                if (stucki.feed(fed < rows ? areaRow(from, fed) : nullptr, bitRow.get()))
                    put(fed - 2);
        } else {
            for (std::uint32_t i = 0; i < rows; ++i) {
                std::memset(bitRow.get(), 0, (columns + 7) / 8);
                const std::uint8_t* p = areaRow(from, i);
                for (std::uint32_t k = 0; k < columns; ++k) {
                    const bool bit = mode == 1 ? kDitherMatrix[i & 7][k & 7] * 5 < p[k] : p[k] >= 128;
                    if (bit)
                        bitRow[k >> 3] |= static_cast<std::uint8_t>(0x80 >> (k & 7));
                }
                put(i);
            }
        }
        img_set_gray_palette(target);
        return IMG_OK;
    });
}

std::int32_t img_1bit_to_8(img_desc* source, img_desc* target, std::int32_t smooth)
{
    std::int32_t r = checkPair(source, k1824, IMG_DEPTH_1, target, k824, IMG_DEPTH_8);
    if (r != IMG_OK)
        return r;
    std::uint32_t rows, columns;
    img_common_size(source, target, &rows, &columns);
    if (smooth && columns < 3)
        return IMG_ERR_ARGUMENT;
    ImgWork<std::uint8_t> bits = img_work_array<std::uint8_t>(columns / 8 + 4);
    if (!bits)
        return IMG_ERR_NO_MEMORY;
    // (previous, current, next) set, previous the most significant bit.
    static const std::uint8_t smoothed[8] = {0, 42, 170, 212, 42, 85, 212, 255};
    for (std::uint32_t i = 0; i < rows; ++i) {
        img_bits_extract(rowOf(source, source->y0 + i), source->x0, columns, bits.get());
        auto bit = [&](std::uint32_t k) { return (bits[k >> 3] >> (7 - (k & 7))) & 1; };
        std::uint8_t* to = areaRow(target, i);
        for (std::uint32_t k = 0; k < columns; ++k) {
            if (smooth && k > 0 && k + 1 < columns)
                to[k] = smoothed[(bit(k - 1) << 2) | (bit(k) << 1) | bit(k + 1)];
            else
                to[k] = bit(k) ? 255 : 0;
        }
    }
    img_set_gray_palette(target);
    return IMG_OK;
}

// ---- 16-bit grey ----

std::int32_t img_16_to_8(img_desc* source, img_desc* target)
{
    std::int32_t r = checkPair(source, k181624, IMG_DEPTH_16, target, k181624, IMG_DEPTH_8);
    if (r != IMG_OK)
        return r;
    forEachCommonRow(source, target, [](const std::uint8_t* from, std::uint8_t* to, std::uint32_t columns) {
        for (std::uint32_t k = 0; k < columns; ++k)
            to[k] = from[2 * k + 1];
    });
    return IMG_OK;
}

std::int32_t img_8_to_16(img_desc* source, img_desc* target)
{
    std::int32_t r = checkPair(source, k181624, IMG_DEPTH_8, target, k181624, IMG_DEPTH_16);
    if (r != IMG_OK)
        return r;
    forEachCommonRow(source, target, [](const std::uint8_t* from, std::uint8_t* to, std::uint32_t columns) {
        for (std::uint32_t k = 0; k < columns; ++k) {
            // v * 257: the same byte high and low.
            to[2 * k] = from[k];
            to[2 * k + 1] = from[k];
        }
    });
    return IMG_OK;
}

// ---- grey and lookup tables ----

namespace {

std::uint8_t greyOf(int blue, int green, int red)
{
    return static_cast<std::uint8_t>((green * 59 + red * 30 + blue * 11) / 100);
}

// Maps the common part of two images of equal depth (8 or 24) through the tables.
void mapDirect(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
               const img_desc* source, img_desc* target)
{
    const bool rgb = img_bits(source) == 24;
    forEachCommonRow(source, target, [&](const std::uint8_t* from, std::uint8_t* to, std::uint32_t columns) {
        if (rgb) {
            for (std::uint32_t k = 0; k < columns; ++k, from += 3, to += 3) {
                to[0] = blue[from[0]];
                to[1] = green[from[1]];
                to[2] = red[from[2]];
            }
        } else {
            for (std::uint32_t k = 0; k < columns; ++k)
                to[k] = red[from[k]];
        }
    });
}

// A palette image: expanded whole into 24 bits, mapped over its copy of the area, and reduced
// into the target with 256 computed colours.
std::int32_t img_apply_via_rgb(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                               img_desc* source, img_desc* target)
{
    ImgTempImage rgb;
    std::int32_t r = img_alloc_mem(rgb.get(), img_width(source), img_height(source), 24);
    if (r != IMG_OK)
        return r;
    img_desc whole;
    img_copy_desc(source, &whole);
    img_set_area(&whole, 0, 0, img_width(source) - 1, img_height(source) - 1);
    if ((r = img_palette_to_rgb(&whole, rgb.get())) != IMG_OK)
        return r;
    img_desc area;
    img_copy_desc(rgb.get(), &area);
    img_set_area(&area, source->x0, source->y0, source->x1, source->y1);
    mapDirect(red, green, blue, &area, &area);
    return img_reduce_to_palette(256, rgb.get(), target, 2);
}

} // namespace

std::int32_t img_to_gray(img_desc* source, img_desc* target)
{
    std::int32_t r = checkPair(source, k824, k824, target, k824, IMG_DEPTH_8);
    if (r != IMG_OK)
        return r;
    if (img_bits(source) == 8) {
        const ExpandTable table(source);
        std::uint8_t grey[256];
        for (int i = 0; i < 256; ++i)
            grey[i] = greyOf(table.bgr[i][0], table.bgr[i][1], table.bgr[i][2]);
        mapDirect(grey, grey, grey, source, target);
    } else {
        forEachCommonRow(source, target,
                         [](const std::uint8_t* from, std::uint8_t* to, std::uint32_t columns) {
                             for (std::uint32_t k = 0; k < columns; ++k, from += 3)
                                 to[k] = greyOf(from[0], from[1], from[2]);
                         });
    }
    target->typeFlags &= ~IMG_TYPE_GRAY;
    img_set_gray_palette(target);
    return IMG_OK;
}

std::int32_t img_apply_lut(const std::uint8_t* red, const std::uint8_t* green, const std::uint8_t* blue,
                           img_desc* source, img_desc* target)
{
    return img_entry([&]() -> std::int32_t {
        std::int32_t r = checkPair(source, k824, k824, target, k824, k824);
        if (r != IMG_OK)
            return r;
        if (!red || !green || !blue)
            return IMG_ERR_ARGUMENT;
        if (img_bits(source) == 8 && !(source->typeFlags & IMG_TYPE_GRAY))
            return img_apply_via_rgb(red, green, blue, source, target);
        if (img_bits(source) != img_bits(target))
            return IMG_ERR_DEPTH;
        mapDirect(red, green, blue, source, target);
        return IMG_OK;
    });
}

std::int32_t img_print_tone(img_desc* source, img_desc* target)
{
    // Tone curve of printing: lifts the mid-tones and compresses the highlights.
    static const std::uint8_t tone[256] = {
        0,   0,   0,   0,   0,   1,   1,   1,   2,   2,   2,   2,   4,   5,   6,   7,   8,   12,  16,  20,
        24,  26,  28,  30,  32,  34,  36,  38,  40,  44,  48,  52,  55,  57,  60,  63,  65,  68,  70,  73,
        76,  78,  81,  84,  86,  89,  91,  93,  95,  97,  99,  101, 103, 105, 107, 109, 111, 113, 115, 117,
        119, 121, 123, 125, 127, 130, 132, 134, 136, 138, 140, 142, 144, 146, 148, 150, 152, 154, 156, 158,
        160, 162, 163, 164, 165, 166, 167, 168, 169, 170, 172, 174, 176, 178, 180, 182, 184, 186, 187, 188,
        189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205, 206, 207, 208,
        209, 210, 211, 212, 213, 215, 216, 217, 218, 218, 219, 219, 220, 220, 221, 221, 222, 222, 223, 223,
        223, 224, 224, 224, 225, 225, 225, 226, 226, 226, 227, 227, 227, 228, 228, 228, 229, 229, 229, 230,
        230, 230, 231, 231, 231, 231, 232, 232, 232, 233, 233, 233, 234, 234, 234, 234, 235, 235, 235, 236,
        236, 236, 236, 237, 237, 237, 238, 238, 238, 238, 239, 239, 239, 240, 240, 240, 240, 241, 241, 241,
        241, 242, 242, 242, 242, 243, 243, 243, 243, 244, 244, 244, 244, 245, 245, 245, 245, 246, 246, 246,
        246, 247, 247, 247, 247, 248, 248, 248, 248, 249, 249, 249, 249, 250, 250, 250, 250, 250, 251, 251,
        251, 251, 252, 252, 252, 252, 253, 253, 253, 253, 253, 254, 254, 254, 254, 255,
    };
    return img_apply_lut(tone, tone, tone, source, target);
}
