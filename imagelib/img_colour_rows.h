// Row helpers shared by the colour conversions (internal to the library).
#pragma once

#include "imagelib/img_desc.h"

#include <cstdint>
#include <cstring>

namespace imgrows {

inline std::uint32_t areaWidth(const img_desc* d)
{
    return d->x1 - d->x0 + 1;
}

inline std::uint32_t areaHeight(const img_desc* d)
{
    return d->y1 - d->y0 + 1;
}

// Start of the stored row of picture row y of a validated image (its height is positive).
inline std::uint8_t* rowOf(const img_desc* d, std::uint32_t y)
{
    const auto height = static_cast<std::uint32_t>(d->header->biHeight);
    return d->pixels + static_cast<std::size_t>(height - 1 - y) * d->bytesPerRow;
}

// First pixel of area row i.
inline std::uint8_t* areaRow(const img_desc* d, std::uint32_t i)
{
    return rowOf(d, d->y0 + i) + static_cast<std::size_t>(d->x0) * img_bits(d) / 8;
}

// Calls rowFn(from, to, columns) for each row of the common part of the two areas
// (img_common_size): `from` the first pixel of the source's area row, `to` the target's.
template <typename RowFn> void forEachCommonRow(const img_desc* source, img_desc* target, RowFn rowFn)
{
    std::uint32_t rows, columns;
    img_common_size(source, target, &rows, &columns);
    for (std::uint32_t i = 0; i < rows; ++i)
        rowFn(static_cast<const std::uint8_t*>(areaRow(source, i)), areaRow(target, i), columns);
}

// Blue, green, red of each of the 256 indices of an 8-bit image. Indices beyond the palette's
// room (its header's colour count) read as black, so that no index reaches past the palette.
struct ExpandTable
{
    std::uint8_t bgr[256][3] = {};

    explicit ExpandTable(const img_desc* d)
    {
        const std::uint32_t room = d->palette ? img_color_count(d->header) : 0;
        for (std::uint32_t i = 0; i < 256 && i < room; ++i) {
            bgr[i][0] = d->palette[i].rgbBlue;
            bgr[i][1] = d->palette[i].rgbGreen;
            bgr[i][2] = d->palette[i].rgbRed;
        }
    }
};

// Expands n indices at the start of `row` in place into n blue-green-red triples (the buffer
// holds 3 n bytes).
inline void img_expand_indices(std::uint8_t* row, std::uint32_t n, const ExpandTable& table)
{
    for (std::uint32_t k = n; k-- > 0;) {
        const std::uint8_t* c = table.bgr[row[k]];
        row[3 * k + 2] = c[2];
        row[3 * k + 1] = c[1];
        row[3 * k] = c[0];
    }
}

// Copies n pixels of an 8-bit (through `table`) or 24-bit area row as triples into `out`.
inline void loadTriples(const img_desc* d, std::uint32_t i, std::uint32_t n, const ExpandTable* table,
                        std::uint8_t* out)
{
    const std::uint8_t* from = areaRow(d, i);
    if (img_bits(d) == 24) {
        std::memcpy(out, from, std::size_t{n} * 3);
    } else {
        std::memcpy(out, from, n);
        img_expand_indices(out, n, *table);
    }
}

// Clamps v to 0 ... 255 (the range -256 ... 511 of the library's clamp table, and beyond).
inline std::uint8_t clampByte(int v)
{
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Floyd-Steinberg over rows of triples: the error `e` of channel c of the pixel at `p` goes 7/16
// to the next pixel and 3/16, 5/16, 1/16 to the three below, of which `below` is the leftmost.
inline void diffuseError(std::uint8_t* p, std::uint8_t* below, int c, int e)
{
    p[3 + c] = clampByte(p[3 + c] + ((7 * e) >> 4));
    below[c] = clampByte(below[c] + ((3 * e) >> 4));
    below[3 + c] = clampByte(below[3 + c] + ((5 * e) >> 4));
    below[6 + c] = clampByte(below[6 + c] + (e >> 4));
}

// Cube levels of a channel value: level(v) = v / 51 (0 to 5) and remainder(v) = v mod 51.
inline constexpr int level(int v)
{
    return v / 51;
}
inline constexpr int remainder51(int v)
{
    return v % 51;
}

// 8 x 8 ordered-dither matrix, values 0 to 50, row by row.
inline constexpr std::uint8_t kDitherMatrix[8][8] = {
    {0, 38, 9, 47, 2, 40, 11, 50},    {25, 12, 35, 22, 27, 15, 37, 24}, {6, 44, 3, 41, 8, 47, 5, 43},
    {31, 19, 28, 15, 34, 21, 31, 18}, {1, 39, 11, 49, 0, 39, 10, 48},   {27, 14, 36, 23, 26, 13, 35, 23},
    {7, 46, 4, 43, 7, 45, 3, 42},     {33, 20, 30, 17, 32, 19, 29, 16},
};

// Index of the 16-colour palette by the bits blue (1), green (2), red (4): black, blue, green,
// cyan, red, magenta, yellow, white.
inline constexpr std::uint8_t kIndex16[8] = {0, 12, 10, 14, 9, 13, 11, 15};

} // namespace imgrows
