// Stucki error diffusion row by row (see img_diffusion.h).
#include "imagelib/img_diffusion.h"

#include "imagelib/img_colour_rows.h"
#include "imagelib/img_frame.h"

#include <cstring>

std::int32_t ImgStuckiRows::init(std::uint32_t columns)
{
    const std::size_t width = std::size_t{columns} + 4;
    m_values = img_work_array<std::int16_t>(3 * width);
    if (!m_values)
        return IMG_ERR_NO_MEMORY;
    m_line[0] = m_values.get();
    m_line[1] = m_values.get() + width;
    m_line[2] = m_values.get() + 2 * width;
    m_columns = columns;
    m_fed = 0;
    return IMG_OK;
}

bool ImgStuckiRows::feed(const std::uint8_t* row, std::uint8_t* bits)
{
    const std::size_t width = std::size_t{m_columns} + 4;
    std::int16_t* into = m_line[m_fed < 2 ? m_fed : 2];
    for (std::size_t k = 0; k < width; ++k)
        into[k] = 0;
    if (row)
        for (std::uint32_t k = 0; k < m_columns; ++k)
            into[k + 2] = row[k];
    if (m_fed++ < 2)
        return false;

    const auto spread = [](std::int16_t& cell, int e, int shift) {
        cell = static_cast<std::int16_t>(imgrows::clampByte(cell + (e << shift) / 42));
    };
    std::memset(bits, 0, (m_columns + 7) / 8);
    static constexpr int kShifts[5] = {1, 2, 3, 2, 1};
    for (std::uint32_t k = 0; k < m_columns; ++k) {
        std::int16_t* c = m_line[0] + k + 2;
        const int v = *c;
        const bool bit = v >= 128;
        const int e = bit ? v - 255 : v;
        spread(c[1], e, 3);
        spread(c[2], e, 2);
        std::int16_t* n1 = m_line[1] + k + 2;
        std::int16_t* n2 = m_line[2] + k + 2;
        for (int d = -2; d <= 2; ++d) {
            spread(n1[d], e, kShifts[d + 2]);
            spread(n2[d], e, kShifts[d + 2] - 1);
        }
        if (bit)
            bits[k >> 3] |= static_cast<std::uint8_t>(0x80 >> (k & 7));
    }
    std::int16_t* t = m_line[0];
    m_line[0] = m_line[1];
    m_line[1] = m_line[2];
    m_line[2] = t;
    return true;
}
