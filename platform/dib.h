// Device-independent bitmaps in the Windows memory layout: a 40-byte header, an optional colour
// table of four-byte entries (blue, green, red, 0) and the pixel rows, each padded to a multiple
// of four bytes, stored bottom-up when the height is positive.
#pragma once

#include <cstdint>

namespace tessivor {

#pragma pack(push, 1)
struct BitmapInfoHeader
{
    std::uint32_t biSize = 40;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0; // > 0: bottom-up rows; < 0: top-down
    std::uint16_t biPlanes = 1;
    std::uint16_t biBitCount = 0;
    std::uint32_t biCompression = 0; // 0: uncompressed
    std::uint32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::uint32_t biClrUsed = 0;
    std::uint32_t biClrImportant = 0;
};

struct RgbQuad
{
    std::uint8_t rgbBlue = 0;
    std::uint8_t rgbGreen = 0;
    std::uint8_t rgbRed = 0;
    std::uint8_t rgbReserved = 0;
};
#pragma pack(pop)

static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(RgbQuad) == 4);

// Bytes per row of a DIB: width × bits rounded up to whole 32-bit words.
inline constexpr std::uint32_t dibStride(std::uint32_t width, std::uint32_t bits)
{
    return static_cast<std::uint32_t>(((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4);
}

} // namespace tessivor
