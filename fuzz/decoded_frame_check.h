// The check both frame fuzz targets make of the control's libjpeg glue: a frame that decodes must
// describe the rows it delivered (a known depth, a size that matches its padded rows, a buffer
// that holds them); anything else aborts, which libFuzzer reports.
#pragma once

#include "control/cimage.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace tessivor {

inline void decodeAndCheckFrame(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* pixels)
{
    DecodedDibHeader header{};
    if (CImage::DecodeJpegToDib(data, static_cast<std::uint32_t>(size), &header, pixels) != 0)
        return;
    const BitmapInfoHeader& h = header.header;
    if (h.biWidth < 1 || h.biHeight < 1 || (h.biBitCount != 8 && h.biBitCount != 24 && h.biBitCount != 32) ||
        pixels->size() < h.biSizeImage || h.biSizeImage != dibStride(h.biWidth, h.biBitCount) * h.biHeight)
        std::abort();
}

} // namespace tessivor
