// Stucki error diffusion to 1 bit, fed one 8-bit row at a time. It spreads each pixel's error
// over the two rows below, so the bits of a row come out when the row two rows later is fed;
// after the last row, two more feeds (of the last row again, or of nothing) bring out the rest.
// Used by the conversion to 1 bit and by halftone printing. Internal to the library.
#pragma once

#include "imagelib/img_memory.h"

#include <cstdint>

class ImgStuckiRows
{
public:
    // Room for rows of `columns` pixels; -14 without memory.
    std::int32_t init(std::uint32_t columns);
    // Feeds the next row (`row` null: a row of zeros). From the third feed on, the bits of the row
    // fed two calls earlier go to `bits` ((columns + 7) / 8 bytes, cleared first; a set bit for a
    // value of 128 or more after diffusion) and the result is true.
    bool feed(const std::uint8_t* row, std::uint8_t* bits);

private:
    ImgWork<std::int16_t> m_values; // three rows with two guard pixels at each end
    std::int16_t* m_line[3] = {};
    std::uint32_t m_columns = 0;
    std::uint32_t m_fed = 0;
};
